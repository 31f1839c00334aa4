// Files for tests: whole-file reads and writes, a temporary folder removed with its contents, and a
// file size limit for one scope.
#pragma once

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace quorvane::fakes {

inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

class TempFolder {
public:
    explicit TempFolder(const std::string& prefix) {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot create a temporary folder from " + pattern);
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The names of the entries, sorted.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(path_))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path path_;
};

// Lowers the file size limit for one scope, with SIGXFSZ ignored so that a write beyond it fails
// instead of ending the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        signalSet_ = ::sigaction(SIGXFSZ, &ignore, &previous_) == 0;
        if (signalSet_ && ::getrlimit(RLIMIT_FSIZE, &saved_) == 0) {
            struct rlimit small = saved_;
            small.rlim_cur = bytes;
            limitSet_ = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
        }
    }
    ~FileSizeLimit() {
        if (limitSet_)
            ::setrlimit(RLIMIT_FSIZE, &saved_);
        if (signalSet_)
            ::sigaction(SIGXFSZ, &previous_, nullptr);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool ok() const { return signalSet_ && limitSet_; }

private:
    struct sigaction previous_ {};
    struct rlimit saved_ {};
    bool signalSet_ = false;
    bool limitSet_ = false;
};

} // namespace quorvane::fakes
