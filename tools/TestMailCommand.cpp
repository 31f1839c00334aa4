#include "tools/TestMailCommand.h"
#include "tools/Command.h"

#include "mail/Mail.h"
#include "settings/MailPasswords.h"
#include "settings/Settings.h"
#include "tools/SecretTool.h"
#include "util/HostPort.h"
#include "util/Util.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

namespace {

constexpr const char* kUsage =
    "usage: quorvanectl test-mail --smtp HOST[:PORT] [--auth none|login|pop] [--user NAME]\n"
    "           [--password TEXT] [--smtp-security none|starttls|tls] [--pop HOST[:PORT]]\n"
    "           [--pop-user NAME] [--pop-password TEXT] [--pop-security none|starttls|tls]\n"
    "           --from ADDRESS --to ADDRESSES [--timeout SECONDS]\n"
    "       quorvanectl test-mail --settings FILE [any option above]\n"
    "--settings takes the mail servers, passwords and addresses from a settings file as Quorvane\n"
    "loads it; the other options given with it take precedence.\n"
    "starttls is STARTTLS for SMTP and STLS for POP3; tls is TLS from the first byte (465, 995).\n";

// Step messages go to the command's output instead of boxes.
// The steps of the send, one line each.
class ConsoleProgress : public MailProgress {
public:
    explicit ConsoleProgress(std::ostream& out) : out_(out) {}
    void Step(const std::string& text) override { out_ << text << std::endl; }
    void Failed(const std::string& text) override { out_ << text << std::endl; }

private:
    std::ostream& out_;
};

std::optional<int> Number(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// "host", "host:port", "[::1]:port" or "::1"; without a port the default stays.
bool ReadServer(std::string_view text, std::string& host, std::int32_t& port) {
    const auto address = ParseHostPort(text);
    if (!address)
        return false;
    host = address->host;
    port = address->port.value_or(port);
    return true;
}

// "none", "starttls" (also "stls") or "tls" as the settings file's number.
bool ReadSecurity(std::string_view text, std::int32_t& security) {
    if (text == "none")
        security = 0;
    else if (text == "starttls" || text == "stls")
        security = 1;
    else if (text == "tls")
        security = 2;
    else
        return false;
    return true;
}

struct Options {
    TSMTP smtp{25, "", "", "", SmtpAuth::None, 0};
    TPOP pop{110, "", "", "", 0};
    std::string from;
    std::string to;
    std::optional<int> timeoutSeconds;
};

// --settings FILE: the mail settings as the program loads them, whatever the option's position, so
// that the options given with it override them.
bool ApplySettingsFile(int argc, char** argv, Options& options, std::string& error) {
    std::string path;
    for (int i = 1; i + 1 < argc; i += 2)
        if (std::string_view(argv[i]) == "--settings")
            path = argv[i + 1];
    if (path.empty())
        return true;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = "no settings file " + path;
        return false;
    }
    try {
        FixedSettingsHost host;
        SecretToolStore keyring;
        SetPasswordStore(&keyring);
        LoadData(host, path);
        SetPasswordStore(nullptr);
    } catch (const std::exception& e) {
        SetPasswordStore(nullptr);
        error = e.what();
        return false;
    }
    options.smtp = GetSMTP();
    options.pop = GetPOP();
    options.from = GetMailAccount().From;
    options.to = GetMailAccount().To;
    return true;
}

bool ReadOptions(int argc, char** argv, Options& options, std::string& error) {
    if (!ApplySettingsFile(argc, argv, options, error))
        return false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view name = argv[i];
        if (i + 1 >= argc) {
            error = "missing value for " + std::string(name);
            return false;
        }
        const std::string value = argv[++i];
        bool ok = true;
        if (name == "--smtp")
            ok = ReadServer(value, options.smtp.Server, options.smtp.Port);
        else if (name == "--pop")
            ok = ReadServer(value, options.pop.Server, options.pop.Port);
        else if (name == "--auth") {
            const std::string_view modes[] = {"none", "login", "pop"};
            const auto* found = std::find(std::begin(modes), std::end(modes), value);
            ok = found != std::end(modes);
            options.smtp.AuthType = static_cast<SmtpAuth>(found - std::begin(modes));
        } else if (name == "--user")
            options.smtp.UserID = value;
        else if (name == "--password")
            options.smtp.Password = value;
        else if (name == "--smtp-security")
            ok = ReadSecurity(value, options.smtp.Security);
        else if (name == "--pop-security")
            ok = ReadSecurity(value, options.pop.Security);
        else if (name == "--pop-user")
            options.pop.UserID = value;
        else if (name == "--pop-password")
            options.pop.Password = value;
        else if (name == "--from")
            options.from = value;
        else if (name == "--to")
            options.to = value;
        else if (name == "--settings")
            continue; // already applied
        else if (name == "--timeout") {
            options.timeoutSeconds = Number(value);
            ok = options.timeoutSeconds && *options.timeoutSeconds > 0;
        } else {
            error = "unknown option " + std::string(name);
            return false;
        }
        if (!ok) {
            error = "bad value for " + std::string(name) + ": " + value;
            return false;
        }
    }
    if (options.smtp.Server.empty()) {
        error = "--smtp is required (or a settings file with SMTP_SERVER)";
        return false;
    }
    return true;
}

} // namespace

int RunTestMail(int argc, char** argv, std::ostream& out, std::ostream& err) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            out << kUsage;
            return ctl::ExitSuccess;
        }
    }
    Options options;
    std::string error;
    if (!ReadOptions(argc, argv, options, error)) {
        err << "test-mail: " << error << "\n" << kUsage;
        return ctl::ExitUsage;
    }
    if (options.timeoutSeconds)
        SetMailTimeout(std::chrono::seconds(*options.timeoutSeconds));
    ConsoleProgress console(out);
    CreateMailClients(options.smtp, options.pop);
    const MailResult result = SendMail("Quorvane TestMail", options.from, options.to, "", &console);
    const bool sent = result.delivered;
    if (result.step == "Address")
        err << "エラー: " << result.reason << std::endl;
    else if (!sent)
        err << "理由: " << result.Describe() << std::endl;
    out << (sent ? "メールを送信できました。" : "メールが送信できませんでした。") << std::endl;
    return sent ? ctl::ExitSuccess : ctl::ExitFailure;
}

} // namespace quorvane

namespace quorvane::ctl {

int RunTestMailCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> words{"test-mail"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    return RunTestMail(static_cast<int>(words.size()), argv.data(), out, err);
}

} // namespace quorvane::ctl
