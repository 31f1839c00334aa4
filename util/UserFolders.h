// UserFolders: where a desktop program keeps a user's settings, cache and logs (the XDG base folders).
#pragma once

#include <string>

namespace quorvane {

enum class UserFolderKind { Config, Cache, State, Data };

// $XDG_CONFIG_HOME/quorvane, $XDG_CACHE_HOME/quorvane, $XDG_STATE_HOME/quorvane or $XDG_DATA_HOME/quorvane; a
// variable that is unset, empty or relative gives ~/.config, ~/.cache, ~/.local/state or ~/.local/share.
// Without a home, a folder under the temporary folder. Nothing is created here.
std::string UserFolder(UserFolderKind kind);

// UserFolder, created (readable by the user only) when missing; empty when it cannot be made.
std::string MakeUserFolder(UserFolderKind kind);

} // namespace quorvane
