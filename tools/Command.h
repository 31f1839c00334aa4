// quorvanectl sub-commands: each lives in its own file and has one line in the table of quorvanectl.cpp.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::ctl {

// Runs a sub-command with its arguments (the command name excluded). Results go to out, reasons of
// failure to err. Returns the process exit code: 0 on success, 1 on failure.
using CommandFunction = int (*)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

struct Command {
    std::string_view name;
    std::string_view synopsis; // arguments after the name
    std::string_view summary;  // one line for the command list
    CommandFunction run;
};

int RunAlarmsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunRateCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunSettingsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// Writes its steps to the process's standard output and error.
int RunTestMailCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The rate as the shortest text that reads back as the same double.
std::string FormatFullPrecision(double value);

} // namespace quorvane::ctl
