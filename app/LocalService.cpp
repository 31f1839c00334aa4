#include "app/LocalService.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "service/ServiceNames.h"
#include "service/WebService.h"
#include "util/ProgramPath.h"
#include "util/UserFolders.h"

namespace quorvane {

namespace {

// Installed, the service sits beside the program in bin/; in the build tree it has a folder of its own.
std::string FindRated() {
    const std::filesystem::path dir = std::filesystem::path(ProgramPath()).parent_path();
    for (const auto& candidate : {dir / "quorvane-rated", dir / "../rated/quorvane-rated"})
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate.lexically_normal().string();
    return (dir / "quorvane-rated").string();
}

std::string LastLine(const std::string& file) {
    std::ifstream in(file);
    std::string line, last;
    while (std::getline(in, line))
        if (!line.empty())
            last = line;
    return last;
}

std::string ExitText(int status) {
    if (WIFEXITED(status))
        return "status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return std::string("signal ") + ::strsignal(WTERMSIG(status));
    return "status " + std::to_string(status);
}

} // namespace

int LocalServicePort() {
    if (const char* text = std::getenv("QUORVANE_SERVICE_PORT"); text && *text) {
        int port = 0;
        const char* end = text + std::strlen(text);
        auto [ptr, ec] = std::from_chars(text, end, port);
        if (ec == std::errc() && ptr == end && port > 0 && port < 65536)
            return port;
    }
    return DefaultServicePort;
}

std::string LocalServiceDescription() {
    return "http://127.0.0.1:" + std::to_string(LocalServicePort()) + "/CurrencyConvertor.asmx?wsdl";
}

bool LocalPortAnswers(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool answered = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return answered;
}

bool LocalRateService::Start(const std::string& program, int port, const std::string& logFile,
                             std::chrono::milliseconds wait, const std::string& source) {
    Stop();
    failure_.clear();
    if (::access(program.c_str(), X_OK) != 0) {
        failure_ = program + ": " + std::strerror(errno);
        return false;
    }
    // Everything the child needs is made before fork: after it, only system calls.
    std::string listen = "127.0.0.1:" + std::to_string(port);
    std::vector<std::string> args = {program, "--listen", listen, "--source", source};
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const char* log = logFile.empty() ? "/dev/null" : logFile.c_str();
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid < 0) {
        failure_ = std::string("fork: ") + std::strerror(errno);
        return false;
    }
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr); // the mask outlives exec; the handlers do not
        const int in = ::open("/dev/null", O_RDONLY);
        const int err = ::open(log, O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in >= 0)
            ::dup2(in, STDIN_FILENO);
        if (err >= 0) {
            ::dup2(err, STDOUT_FILENO);
            ::dup2(err, STDERR_FILENO);
        }
        ::close_range(3, ~0U, 0);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    pid_ = pid;

    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            failure_ = program + " ended at start (" + ExitText(status) + ")";
            if (const std::string last = LastLine(logFile); !last.empty())
                failure_ += ": " + last;
            return false;
        }
        if (LocalPortAnswers(port))
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Stop();
    failure_ = program + " did not answer at " + listen + " within " + std::to_string(wait.count()) + " ms";
    return false;
}

void LocalRateService::Stop() {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    for (int waited = 0; waited < 6000; waited += 10) { // longer than the service's keep-alive time-out
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::string LocalServiceSource(const std::string& rateSource) {
    return rateSource == "ecb" ? "ecb" : "auto";
}

namespace {

LocalRateService* started = nullptr; // the one service this program started, to restart with another source

void StartLocal(LocalRateService& service, const std::string& rateSource) {
    const std::string folder = MakeUserFolder(UserFolderKind::State);
    const std::string log = folder.empty() ? std::string() : folder + "/quorvane-rated.log";
    if (!service.Start(FindRated(), LocalServicePort(), log, std::chrono::seconds(5),
                       LocalServiceSource(rateSource)))
        std::fprintf(stderr, "quorvane: the local rate service did not start: %s\n", service.Failure().c_str());
}

} // namespace

void StartLocalServiceIfNeeded(LocalRateService& service, const std::string& serviceUrl,
                               const std::string& rateSource) {
    if (!serviceUrl.empty())
        return;
    if (LocalPortAnswers(LocalServicePort()))
        return;
    started = &service;
    StartLocal(service, rateSource);
}

void RestartLocalService(const std::string& rateSource) {
    if (!started)
        return;
    // Kept-alive connections of the old proxy would hold the stop for their idle time-out.
    RateService.reset();
    started->Stop();
    StartLocal(*started, rateSource);
    InitRateService(LocalServiceDescription());
}

LocalRateService::~LocalRateService() {
    if (started == this)
        started = nullptr;
    Stop();
}

} // namespace quorvane
