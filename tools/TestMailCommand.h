// quorvanectl test-mail: the settings dialog's test mail from the command line.
#pragma once

namespace quorvane {

// argv[0] is the command name. Prints each step on stdout; 0 when sent, 1 when not, 2 on bad options.
int RunTestMail(int argc, char** argv);

} // namespace quorvane
