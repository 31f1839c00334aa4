// quorvanectl settings show FILE | normalize IN OUT: the settings file as the program reads and writes it.
#include <exception>
#include <filesystem>

#include "tools/Command.h"
#include "settings/Settings.h"

namespace quorvane::ctl {

namespace {

const char* SettingsHelp =
    "usage: quorvanectl settings show FILE\n"
    "       quorvanectl settings normalize IN OUT\n"
    "\n"
    "show       prints every setting as Quorvane loads it from FILE, one \"Section.KEY=value\" per line,\n"
    "           with the mail passwords masked\n"
    "normalize  loads IN and writes OUT exactly as Quorvane's save would (UTF-8, CR LF, every key,\n"
    "           passwords protected); IN may be a file of the Windows program (Shift-JIS)\n"
    "\n"
    "A 640x480 window on a 1024x768 screen stands in for the main window. Exit status 0 on success,\n"
    "1 with the reason on standard error, 2 for wrong arguments.\n";

void Show(const std::string& path, std::ostream& out) {
    FixedSettingsHost host;
    LoadData(host, path);
    const IniFile content = SettingsContent(host, PasswordForm::Masked);
    for (const IniFile::Section& section : content.Sections())
        for (const IniFile::Entry& entry : section.entries)
            out << section.name << '.' << entry.key << '=' << entry.value << '\n';
}

void Normalize(const std::string& in, const std::string& out) {
    FixedSettingsHost host;
    LoadData(host, in);
    SaveData(host, out);
}

} // namespace

int RunSettingsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out << SettingsHelp;
        return 0;
    }
    // The program starts from defaults without a file; here a missing file is more likely a typing error.
    if (args.size() >= 2 && !std::filesystem::exists(args[1])) {
        err << "quorvanectl settings: no settings file " << args[1] << '\n';
        return 1;
    }
    try {
        if (args.size() == 2 && args[0] == "show") {
            Show(args[1], out);
            return 0;
        }
        if (args.size() == 3 && args[0] == "normalize") {
            Normalize(args[1], args[2]);
            return 0;
        }
    } catch (const std::exception& e) {
        err << "quorvanectl settings: " << e.what() << '\n';
        return 1;
    }
    err << SettingsHelp;
    return ExitUsage;
}

} // namespace quorvane::ctl
