#include "tools/SecretTool.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>

extern char** environ;

namespace quorvane {

namespace {

// A password is short; more than this from secret-tool is not one of ours.
constexpr std::size_t MaxOutput = 64 * 1024;

struct Pipe {
    int fd[2] = {-1, -1};
    Pipe() {
        if (::pipe2(fd, O_CLOEXEC) != 0)
            fd[0] = fd[1] = -1;
    }
    ~Pipe() {
        Close(0);
        Close(1);
    }
    void Close(int end) {
        if (fd[end] >= 0)
            ::close(fd[end]);
        fd[end] = -1;
    }
    bool Ok() const { return fd[0] >= 0; }
};

// The attributes QtKeychain files an entry under, so that the program and quorvanectl share entries.
std::vector<std::string> Attributes(const std::string& key) {
    return {"user", key, "server", std::string(PasswordServiceName)};
}

// Reads both outputs until they close or the deadline passes; false on the deadline.
bool Drain(int out, int err, std::string& outText, std::string& errText,
           std::chrono::steady_clock::time_point deadline) {
    std::array<pollfd, 2> fds{{{out, POLLIN, 0}, {err, POLLIN, 0}}};
    std::string* texts[] = {&outText, &errText};
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        if (::poll(fds.data(), fds.size(), static_cast<int>(left.count())) < 0 && errno != EINTR)
            return false;
        for (std::size_t k = 0; k < fds.size(); ++k) {
            if (fds[k].fd < 0 || fds[k].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[k].fd, buffer, sizeof buffer);
            if (n > 0 && texts[k]->size() < MaxOutput)
                texts[k]->append(buffer, static_cast<std::size_t>(n));
            else if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
                fds[k].fd = -1;
        }
    }
    return true;
}

// A password fits the pipe's buffer, so this does not wait on the child; a child that has already ended
// must not take this process down with SIGPIPE.
bool WriteQuietly(int fd, const std::string& input) {
    if (input.empty())
        return true;
    sigset_t pipeSignal, old;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &old);
    const bool written = ::write(fd, input.data(), input.size()) == static_cast<ssize_t>(input.size());
    const timespec none{0, 0};
    while (sigtimedwait(&pipeSignal, nullptr, &none) > 0) {
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return written;
}

} // namespace

SecretToolStore::Run SecretToolStore::Call(const std::vector<std::string>& args, const std::string& input) {
    Run run;
    Pipe in, out, err;
    if (!in.Ok() || !out.Ok() || !err.Ok())
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.fd[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out.fd[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err.fd[1], 2);
    std::vector<std::string> all{program_};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int started = ::posix_spawnp(&pid, program_.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0)
        return run;
    in.Close(0);
    out.Close(1);
    err.Close(1);
    const bool written = WriteQuietly(in.fd[1], input);
    in.Close(1);
    const auto deadline = std::chrono::steady_clock::now() + bound_;
    run.finished = written && Drain(out.fd[0], err.fd[0], run.out, run.err, deadline);
    if (!run.finished)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    gone_ = !run.finished;
    return run;
}

// secret-tool ends with 1 and says nothing when an entry is missing; any error it writes to stderr.
SecretRead SecretToolStore::Read(const std::string& key) {
    if (gone_)
        return {};
    std::vector<std::string> args{"lookup"};
    for (std::string& a : Attributes(key))
        args.push_back(std::move(a));
    Run run = Call(args, "");
    if (!run.finished || !run.err.empty()) {
        gone_ = true;
        return {};
    }
    if (run.status == 0)
        return {SecretAnswer::Found, run.out};
    return {run.status == 1 ? SecretAnswer::Missing : SecretAnswer::Unavailable, ""};
}

bool SecretToolStore::Write(const std::string& key, const std::string& secret) {
    if (gone_)
        return false;
    std::vector<std::string> args{"store", "--label=" + std::string(PasswordServiceName)};
    for (std::string& a : Attributes(key))
        args.push_back(std::move(a));
    // The keyring replaces an entry only when every attribute matches, the schema QtKeychain files under
    // included; without it the program and quorvanectl would each keep an entry of their own.
    args.insert(args.end(), {"type", "plaintext", "xdg:schema", "org.qt.keychain"});
    const Run run = Call(args, secret);
    gone_ = !run.finished || run.status != 0;
    return !gone_;
}

bool SecretToolStore::Remove(const std::string& key) {
    if (gone_)
        return false;
    std::vector<std::string> args{"clear"};
    for (std::string& a : Attributes(key))
        args.push_back(std::move(a));
    const Run run = Call(args, "");
    gone_ = !run.finished || !run.err.empty();
    return !gone_;
}

} // namespace quorvane
