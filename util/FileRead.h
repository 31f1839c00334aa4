// Reading a whole file with a bound on its size, and the file descriptor holder it uses.
#pragma once

#include <cstddef>
#include <string>

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

} // namespace quorvane
