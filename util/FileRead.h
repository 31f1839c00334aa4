// Reading a whole file with a bound on its size, replacing one whole, and the file descriptor holder.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvane {

// Owns a POSIX file descriptor; a negative one is none.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    // Closes now so that the caller sees the error close may report.
    int close();

private:
    int fd_;
};

struct FileBytes {
    std::string bytes;
    int error = 0; // 0, or the errno value: ENOENT missing, EISDIR not a plain file, EFBIG over the bound
};

// The whole content of the plain file at path, at most maxBytes of it. Blocks for the reads; never throws
// but for memory exhaustion.
FileBytes ReadFileBounded(const std::string& path, std::size_t maxBytes);

// Writes content to a new file beside path (mode 0600), flushes it to disk and renames it over path, so
// that a reader sees the old file or the new one, never a part. A symbolic link stays; its target is
// replaced. An existing file that the user may not write is not replaced. Returns 0, or the errno value
// of the step that failed; on failure the old file is as it was and no temporary file is left.
int ReplaceFileBytes(const std::string& path, std::string_view content);

} // namespace quorvane
