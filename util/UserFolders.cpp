#include "util/UserFolders.h"

#include <cstdlib>
#include <filesystem>

namespace quorvane {

std::string UserFolder(UserFolderKind kind) {
    namespace fs = std::filesystem;
    struct Base {
        const char* variable;
        const char* underHome;
    };
    static constexpr Base bases[] = {{"XDG_CONFIG_HOME", ".config"},
                                     {"XDG_CACHE_HOME", ".cache"},
                                     {"XDG_STATE_HOME", ".local/state"},
                                     {"XDG_DATA_HOME", ".local/share"}};
    const Base& base = bases[static_cast<int>(kind)];
    fs::path folder;
    if (const char* xdg = std::getenv(base.variable); xdg && *xdg == '/')
        folder = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        folder = fs::path(home) / base.underHome;
    else
        folder = fs::temp_directory_path() / base.underHome;
    return (folder / "quorvane").string();
}

std::string MakeUserFolder(UserFolderKind kind) {
    namespace fs = std::filesystem;
    const fs::path folder = UserFolder(kind);
    std::error_code ec;
    if (fs::create_directories(folder, ec))
        fs::permissions(folder, fs::perms::owner_all, ec);
    return fs::is_directory(folder, ec) ? folder.string() : std::string();
}

} // namespace quorvane
