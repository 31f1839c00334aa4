#include "util/ShellLaunch.h"
#include "util/Util.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quorvane {

namespace {

bool IsExecutableFile(const struct stat& st, const std::string& path) {
    return S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// "https://...", "mailto:...": a scheme of two or more letters, digits, '+', '-', '.', then a colon.
bool LooksLikeAddress(const std::string& target) {
    const std::size_t colon = target.find(':');
    if (colon == std::string::npos || colon < 2 || !std::isalpha(static_cast<unsigned char>(target[0])))
        return false;
    for (std::size_t i = 1; i < colon; ++i) {
        const unsigned char c = static_cast<unsigned char>(target[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.')
            return false;
    }
    return colon + 1 < target.size();
}

std::vector<std::string> SplitBlanks(const std::string& text) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < text.size()) {
        i = text.find_first_not_of(" \t", i);
        if (i == std::string::npos)
            break;
        const std::size_t end = std::min(text.find_first_of(" \t", i), text.size());
        words.push_back(text.substr(i, end - i));
        i = end;
    }
    return words;
}

// A relative path must not be searched in PATH nor be read as an option.
std::string AsPath(const std::string& path) {
    return path.find('/') == std::string::npos ? "./" + path : path;
}

std::string FindInPath(const std::string& name) {
    if (name.find('/') != std::string::npos)
        return name;
    const char* path = std::getenv("PATH");
    const std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
        const std::string candidate = dir + "/" + name;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && IsExecutableFile(st, candidate))
            return candidate;
        start = end + 1;
    }
    return std::string();
}

// Runs in the grandchild between fork and exec: async-signal-safe calls only.
[[noreturn]] void ExecDetached(const char* program, char* const* argv) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig)
        sigaction(sig, &dfl, nullptr); // ignored signals would stay ignored across exec
    const int null = open("/dev/null", O_RDONLY);
    if (null > 0) {
        dup2(null, STDIN_FILENO);
        close(null);
    }
    close_range(3, ~0U, 0);
    execv(program, argv);
    _exit(127);
}

class DesktopShell final : public Shell {
public:
    void Open(const std::string& target, const std::string& parameters) override {
        StartDetached(ShellCommand(target, parameters));
    }
};

DesktopShell g_desktop;
Shell* g_shell = &g_desktop;

} // namespace

std::vector<std::string> ShellCommand(const std::string& target, const std::string& parameters) {
    if (target.empty())
        return {};
    struct stat st;
    if (stat(target.c_str(), &st) == 0) {
        if (!IsExecutableFile(st, target))
            return {"xdg-open", AsPath(target)};
        std::vector<std::string> argv{AsPath(target)};
        for (std::string& word : SplitBlanks(parameters))
            argv.push_back(std::move(word));
        return argv;
    }
    if (LooksLikeAddress(target))
        return {"xdg-open", target};
    return {};
}

void StartDetached(const std::vector<std::string>& argv) {
    if (argv.empty())
        return;
    const std::string program = FindInPath(argv[0]);
    if (program.empty())
        return;
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    const pid_t child = fork();
    if (child < 0)
        return;
    if (child == 0) {
        setsid();
        const pid_t grandchild = fork();
        if (grandchild != 0)
            _exit(0); // the grandchild goes to init; on failure nothing starts
        ExecDetached(program.c_str(), args.data());
    }
    // The child exits at once; reap it so it leaves no zombie.
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

void InstallShell(Shell* shell) {
    g_shell = shell ? shell : &g_desktop;
}

void ShellOpen(const std::string& target, const std::string& parameters) {
    g_shell->Open(target, parameters);
}

} // namespace quorvane
