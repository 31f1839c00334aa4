// Where the running program's own executable is.
#pragma once

#include <string>

namespace quorvane {

// The absolute path of the running executable, links resolved; empty when the system does not say.
std::string ProgramPath();

} // namespace quorvane
