// quorvanectl test-mail: the settings dialog's test mail from the command line.
#pragma once

#include <ostream>

namespace quorvane {

// argv[0] is the command name. Prints each step and the result on out, reasons on err; 0 when sent,
// 1 when not, 2 on bad options (the exit codes of tools/Command.h).
int RunTestMail(int argc, char** argv, std::ostream& out, std::ostream& err);

} // namespace quorvane
