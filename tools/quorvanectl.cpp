// quorvanectl: the command-line companion of Quorvane for users and support.
#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "tools/Command.h"

namespace {

using quorvane::ctl::Command;

// One line per sub-command.
constexpr Command Commands[] = {
    {"rate", "FROM TO [--wsdl ADDRESS]", "print the current rate of a currency pair",
     quorvane::ctl::RunRateCommand},
    {"test-mail",
     "[--settings FILE] --smtp HOST:PORT [--auth none|login|pop] [--user U --password P] [--pop HOST:PORT "
     "...] --from A --to B",
     "send the settings dialog's test mail and print each step", quorvane::ctl::RunTestMailCommand},
    {"settings", "show FILE | normalize IN OUT",
     "print a settings file as loaded, or rewrite it as the program saves",
     quorvane::ctl::RunSettingsCommand},
    {"alarms", "[--since TIME] [--pair PAIR] [--tail N] [--raw] [--log FILE]",
     "print the alarm log: each ON and OFF and what its actions did", quorvane::ctl::RunAlarmsCommand},
    {"history", "FROM TO [--since TIME] [--until TIME] [--csv] [--file PATH]",
     "print the stored rates of a pair: local time, rate, source", quorvane::ctl::RunHistoryCommand},
};

void PrintUsage(std::ostream& out) {
    out << "usage: quorvanectl COMMAND [ARGUMENTS]\n\ncommands:\n";
    for (const Command& command : Commands)
        out << "  " << command.name << ' ' << command.synopsis << "\n      " << command.summary << '\n';
    out << "\n\"quorvanectl COMMAND --help\" explains a command.\n";
}

} // namespace

int main(int argc, char** argv) {
    // Numbers in settings files are read and written with the user's decimal separator, as the
    // program's toolkit has it.
    std::setlocale(LC_ALL, "");
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        PrintUsage(std::cerr);
        return quorvane::ctl::ExitUsage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        PrintUsage(std::cout);
        return 0;
    }
    for (const Command& command : Commands)
        if (args[0] == command.name)
            return command.run({args.begin() + 1, args.end()}, std::cout, std::cerr);
    std::cerr << "quorvanectl: unknown command \"" << args[0] << "\"\n\n";
    PrintUsage(std::cerr);
    return quorvane::ctl::ExitUsage;
}
