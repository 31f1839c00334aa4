// quorvanectl settings: inspecting and normalising settings files.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quorvane {

// args are the words after "settings": "show FILE" or "normalize IN OUT". Returns the exit status.
int RunSettings(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// The same with argv[0] = "settings", printing to standard output and error.
int RunSettings(int argc, char** argv);

} // namespace quorvane
