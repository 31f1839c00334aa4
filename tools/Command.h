// quorvanectl sub-commands: each lives in its own file and has one line in the table of quorvanectl.cpp.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "util/Currency.h"

namespace quorvane::ctl {

// The exit codes of every sub-command and of quorvanectl itself.
inline constexpr int ExitSuccess = 0;
inline constexpr int ExitFailure = 1; // the command ran and failed: the reason is on err
inline constexpr int ExitUsage = 2;   // the arguments were wrong: the usage is on err

// Runs a sub-command with its arguments (the command name excluded). Results go to out, reasons of
// failure to err, and nothing to any other stream. Returns one of the exit codes above; "--help" among
// the arguments prints the command's help on out and succeeds.
using CommandFunction = int (*)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

struct Command {
    std::string_view name;
    std::string_view synopsis; // arguments after the name
    std::string_view summary;  // one line for the command list
    CommandFunction run;
};

// After parsing: a problem with the arguments prints it with the help on err, and "--help" prints the help
// on out; either ends the command with the exit code returned. None: the command goes on.
inline std::optional<int> UsageEnds(std::string_view command, const std::string& problem, bool help,
                                    std::string_view helpText, std::ostream& out, std::ostream& err) {
    if (!problem.empty()) {
        err << "quorvanectl " << command << ": " << problem << "\n\n" << helpText;
        return ExitUsage;
    }
    if (help) {
        out << helpText;
        return ExitSuccess;
    }
    return std::nullopt;
}

// The pair named by codes (FROM, TO), or none after telling err, under the command's name, which code is
// unknown.
inline std::optional<std::pair<Currency, Currency>>
ReadPair(std::string_view command, const std::vector<std::string>& codes, std::ostream& err) {
    int ordinals[2];
    for (int i = 0; i < 2; ++i)
        if (!IsCurrency(ordinals[i] = CurrencyFromCode(codes.at(i)))) {
            err << "quorvanectl " << command << ": unknown currency code \"" << codes[i] << "\"\n";
            return std::nullopt;
        }
    return std::pair{static_cast<Currency>(ordinals[0]), static_cast<Currency>(ordinals[1])};
}

int RunAlarmsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunHistoryCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunRateCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunSettingsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunTestMailCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace quorvane::ctl
