#include "util/FileRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace quorvane {

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0)
        ::close(fd_);
}

int FileDescriptor::close() {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc;
}

FileBytes ReadFileBounded(const std::string& path, std::size_t maxBytes) {
    FileBytes result;
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
        result.error = errno;
        return result;
    }
    if (!S_ISREG(st.st_mode)) {
        result.error = EISDIR;
        return result;
    }
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            result.error = n < 0 ? errno : 0;
            return result;
        }
        if (result.bytes.size() + static_cast<std::size_t>(n) > maxBytes) {
            result.error = EFBIG;
            return result;
        }
        result.bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

namespace {

// A symbolic link stays in place; the file it points to is replaced.
std::filesystem::path ResolveTarget(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) {
        auto resolved = std::filesystem::weakly_canonical(path, ec);
        if (!ec)
            return resolved;
    }
    return path;
}

int WriteAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t n = ::write(fd, content.data(), content.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        content.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

void SyncFolder(const std::filesystem::path& folder) {
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        ::fsync(fd.get()); // the rename is done; a folder that cannot be synced is no reason to fail
}

} // namespace

int ReplaceFileBytes(const std::string& path, std::string_view content) {
    const std::filesystem::path target = ResolveTarget(path);
    if (::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0)
        return errno;
    std::filesystem::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    std::string hidden(1, '.');
    hidden.append(target.filename().string()).append(".XXXXXX");
    std::string temp = (folder / hidden).string();

    FileDescriptor fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0)
        return errno;
    const int error = [&] {
        if (::fchmod(fd.get(), S_IRUSR | S_IWUSR) != 0)
            return errno;
        if (const int e = WriteAll(fd.get(), content); e != 0)
            return e;
        if (::fsync(fd.get()) != 0 || fd.close() != 0)
            return errno;
        if (::rename(temp.c_str(), target.c_str()) != 0)
            return errno;
        return 0;
    }();
    if (error != 0) {
        ::unlink(temp.c_str());
        return error;
    }
    SyncFolder(folder);
    return 0;
}

} // namespace quorvane
