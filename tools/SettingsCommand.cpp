#include "tools/SettingsCommand.h"

#include "util/Settings.h"

#include <exception>
#include <iostream>

namespace quorvane {

namespace {

// Stands in for the main window: a 640 x 480 window on a 1024 x 768 screen.
class FixedHost : public SettingsHost {
public:
    int WindowLeft() const override { return left_; }
    int WindowTop() const override { return top_; }
    int WindowWidth() const override { return 640; }
    int WindowHeight() const override { return 480; }
    void MoveWindow(int left, int top) override {
        left_ = left;
        top_ = top;
    }
    int ScreenWidth() const override { return 1024; }
    int ScreenHeight() const override { return 768; }
    void SetQuotes(const QuoteTable& table) override { quotes_ = table; }
    QuoteTable Quotes() const override { return quotes_; }

private:
    int left_ = 0;
    int top_ = 0;
    QuoteTable quotes_;
};

void PrintUsage(std::ostream& err) {
    err << "usage: quorvanectl settings show FILE\n"
           "       quorvanectl settings normalize IN OUT\n"
           "show prints every setting as the program loads it (passwords masked); normalize writes OUT\n"
           "as the program's save would. A 640x480 window on a 1024x768 screen stands in for the window.\n";
}

void Show(const std::string& path, std::ostream& out) {
    FixedHost host;
    LoadData(host, path);
    const IniFile content = SettingsContent(host, PasswordForm::Masked);
    for (const IniFile::Section& section : content.Sections())
        for (const IniFile::Entry& entry : section.entries)
            out << section.name << '.' << entry.key << '=' << entry.value << '\n';
}

void Normalize(const std::string& in, const std::string& out) {
    FixedHost host;
    LoadData(host, in);
    SaveData(host, out);
}

} // namespace

int RunSettings(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
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
    PrintUsage(err);
    return 2;
}

int RunSettings(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    return RunSettings(args, std::cout, std::cerr);
}

} // namespace quorvane
