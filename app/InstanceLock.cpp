#include "app/InstanceLock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {

namespace {

// A folder that is ours alone: owned by us, writable by no one else.
bool IsPrivateFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// base/quorvane, with base made as needed; every new folder is 0700.
std::string CacheFolder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    std::string base;
    if (cache && *cache == '/')
        base = cache;
    else if (home && *home == '/')
        base = std::string(home) + "/.cache";
    else
        return {};
    for (std::size_t slash = base.find('/', 1); slash != std::string::npos; slash = base.find('/', slash + 1))
        ::mkdir(base.substr(0, slash).c_str(), 0700);
    ::mkdir(base.c_str(), 0700);
    const std::string folder = base + "/quorvane";
    ::mkdir(folder.c_str(), 0700);
    return IsPrivateFolder(folder) ? folder : std::string();
}

} // namespace

std::string InstanceLock::DefaultPath() {
    const std::string name = std::string("/") + InstanceName + ".lock";
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && IsPrivateFolder(runtime))
        return runtime + name;
    const std::string cache = CacheFolder();
    return cache.empty() ? std::string() : cache + name;
}

InstanceLock::InstanceLock(const std::string& path) {
    if (path.empty())
        return; // no folder of ours to lock in: better to run unguarded than not at all
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0)
        return; // no lock file to be had: better to run unguarded than not at all
    int rc;
    do {
        rc = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        heldElsewhere_ = errno == EWOULDBLOCK;
        ::close(fd_);
        fd_ = -1;
    }
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0)
        ::close(fd_);
}

} // namespace quorvane
