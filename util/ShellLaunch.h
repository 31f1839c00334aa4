// How ShellOpen starts a target on a POSIX desktop. Internal to the core; exposed for its tests.
#pragma once

#include <string>
#include <vector>

namespace quorvane {

// The command line that opens target: an executable regular file runs itself with the parameters
// split at blanks; another existing file or a web address ("scheme:...") goes to xdg-open; anything
// else (an empty or missing path) gives an empty command.
std::vector<std::string> ShellCommand(const std::string& target, const std::string& parameters);

// Runs argv in a new session as a grandchild, so that it is never this process's child: nothing
// waits for it and it leaves no zombie. A program name without a slash is looked up in PATH here;
// a program that is not found or does not start is dropped silently.
void StartDetached(const std::vector<std::string>& argv);

} // namespace quorvane
