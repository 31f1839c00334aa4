#include "util/FileRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

} // namespace quorvane
