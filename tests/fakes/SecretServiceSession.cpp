#include "fakes/SecretServiceSession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>

extern char** environ;

namespace quorvane::testing {

namespace {

constexpr const char* KeyringPassword = "quorvane-test";

// Loaded machines start the daemons slowly; this only bounds a start that will never come.
constexpr std::chrono::seconds StartBound{20};

// Starts argv with this process's environment, stderr into errFile; the pipes asked for are set to the
// child's stdin and stdout and their other ends returned. -1 when it could not start.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& errFile, int* stdinWrite,
            int* stdoutRead) {
    int in[2] = {-1, -1}, out[2] = {-1, -1};
    if ((stdinWrite && ::pipe2(in, O_CLOEXEC) != 0) || (stdoutRead && ::pipe2(out, O_CLOEXEC) != 0))
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdinWrite)
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (stdoutRead)
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    std::vector<std::string> args = argv;
    std::vector<char*> pointers;
    for (std::string& a : args)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawnp(&pid, pointers[0], &actions, nullptr, pointers.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    for (int fd : {in[0], out[1]})
        if (fd >= 0)
            ::close(fd);
    if (stdinWrite)
        *stdinWrite = in[1];
    if (stdoutRead)
        *stdoutRead = out[0];
    return pid;
}

// The first line fd gives before the deadline; empty when none came.
std::string ReadLine(int fd, std::chrono::steady_clock::time_point deadline) {
    std::string text;
    while (text.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return {};
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return {};
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return {};
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text.substr(0, text.find('\n'));
}

// A daemon that ended at once must fail the start, not end the test program with SIGPIPE.
bool WriteQuietly(int fd, const std::string& text) {
    sigset_t pipeSignal, old;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &old);
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    const timespec none{0, 0};
    while (sigtimedwait(&pipeSignal, nullptr, &none) > 0) {
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return written;
}

int WaitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void Stop(pid_t& pid) {
    if (pid <= 0)
        return;
    ::kill(pid, SIGKILL);
    WaitFor(pid);
    pid = -1;
}

std::string Contents(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

SecretServiceSession::SecretServiceSession(Service service) {
    const auto& dir = folder_.path();
    for (const char* sub : {"home", "data", "config", "cache", "runtime"})
        std::filesystem::create_directory(dir / sub);
    ::chmod((dir / "runtime").c_str(), 0700);
    const std::pair<const char*, std::filesystem::path> places[] = {
        {"HOME", dir / "home"},
        {"XDG_DATA_HOME", dir / "data"},
        {"XDG_CONFIG_HOME", dir / "config"},
        {"XDG_CACHE_HOME", dir / "cache"},
        {"XDG_RUNTIME_DIR", dir / "runtime"},
    };
    for (const auto& [name, path] : places)
        env_.push_back(std::make_unique<ScopedEnv>(name, path.string()));
    // QtKeychain picks its backend by the desktop; this one speaks the Secret Service.
    env_.push_back(std::make_unique<ScopedEnv>("XDG_CURRENT_DESKTOP", "GNOME"));
    if (StartBus() && service == Service::Keyring)
        StartKeyring();
}

SecretServiceSession::~SecretServiceSession() {
    Stop(keyring_);
    Stop(bus_);
}

bool SecretServiceSession::StartBus() {
    const auto config = folder_.path() / "bus.conf";
    std::ofstream(config)
        << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig><type>session</type><listen>unix:dir="
        << folder_.path().string()
        << "</listen><auth>EXTERNAL</auth>\n"
           "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
           "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n";
    int out = -1;
    bus_ = Spawn({"dbus-daemon", "--config-file=" + config.string(), "--nofork", "--print-address=1"},
                 (folder_.path() / "bus.log").string(), nullptr, &out);
    if (bus_ < 0) {
        failure_ = "dbus-daemon could not be started";
        return false;
    }
    address_ = ReadLine(out, std::chrono::steady_clock::now() + StartBound);
    ::close(out);
    if (address_.empty()) {
        failure_ = "dbus-daemon gave no address: " + Contents(folder_.path() / "bus.log");
        return false;
    }
    env_.push_back(std::make_unique<ScopedEnv>("DBUS_SESSION_BUS_ADDRESS", address_));
    return true;
}

bool SecretServiceSession::StartKeyring() {
    const std::string log = (folder_.path() / "keyring.log").string();
    int in = -1;
    keyring_ = Spawn({"gnome-keyring-daemon", "--foreground", "--unlock", "--components=secrets"}, log, &in,
                     nullptr);
    if (keyring_ < 0) {
        failure_ = "gnome-keyring-daemon could not be started";
        return false;
    }
    // --unlock takes the login keyring's password on stdin and creates that keyring when there is none.
    const bool written = WriteQuietly(in, KeyringPassword);
    ::close(in);
    const pid_t wait = Spawn({"gdbus", "wait", "--session", "--timeout", std::to_string(StartBound.count()),
                              "org.freedesktop.secrets"},
                             log, nullptr, nullptr);
    if (!written || wait < 0 || WaitFor(wait) != 0) {
        failure_ = "org.freedesktop.secrets did not come on the private bus: " + Contents(log);
        return false;
    }
    return true;
}

} // namespace quorvane::testing
