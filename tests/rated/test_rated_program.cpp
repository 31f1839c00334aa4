// The quorvane-rated program: start-up, its first lines, bad arguments and a clean stop on a signal.
#include <gtest/gtest.h>
#include <httplib.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

extern char** environ;

namespace {

// The program with its standard error on a pipe; killed and reaped if the test leaves early.
class Program {
public:
    explicit Program(std::vector<std::string> args) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        args.insert(args.begin(), QUORVANE_RATED_PATH);
        std::vector<char*> argv;
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, QUORVANE_RATED_PATH, &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        err_ = fds[0];
    }
    ~Program() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (err_ >= 0)
            ::close(err_);
    }

    // Standard error until a line matches (returned with its groups) or the program ends or timeoutMs passes.
    std::smatch WaitFor(const std::regex& pattern, int timeoutMs = 10000) {
        std::smatch match;
        for (;;) {
            std::size_t end;
            while ((end = pending_.find('\n')) != std::string::npos) {
                lines_.push_back(pending_.substr(0, end));
                pending_.erase(0, end + 1);
                if (std::regex_search(lines_.back(), match, pattern))
                    return match;
            }
            pollfd pfd{err_, POLLIN, 0};
            char chunk[4096];
            if (::poll(&pfd, 1, timeoutMs) <= 0)
                return match;
            const ssize_t n = ::read(err_, chunk, sizeof chunk);
            if (n <= 0)
                return match;
            pending_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // The exit status, or -1 when it has not ended within timeoutMs.
    int Wait(int timeoutMs = 10000) {
        for (int waited = 0; pid_ > 0 && waited <= timeoutMs; waited += 10) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            ::usleep(10000);
        }
        return -1;
    }
    void Signal(int signal) { ::kill(pid_, signal); }
    std::string Lines() const {
        std::string all;
        for (const auto& line : lines_)
            all += line + "\n";
        return all;
    }

private:
    pid_t pid_ = -1;
    int err_ = -1;
    std::string pending_;
    std::vector<std::string> lines_;
};

} // namespace

TEST(RatedProgram, StartsWithTheShippedRatesServesAndStopsOnEitherSignal) {
    for (int signal : {SIGTERM, SIGINT}) {
        Program program({"--listen", "127.0.0.1:0", "--simulate", "--walk-start", "5"});
        const auto listening = program.WaitFor(std::regex(R"(listening on http://127\.0\.0\.1:(\d+)/)"));
        ASSERT_FALSE(listening.empty()) << program.Lines();
        EXPECT_NE(program.Lines().find("rates: 30 currencies of 2022-07-08"), std::string::npos)
            << program.Lines();
        EXPECT_NE(program.Lines().find("SIMULATED"), std::string::npos) << program.Lines();

        httplib::Client client("127.0.0.1", std::stoi(listening[1]));
        client.set_connection_timeout(5);
        client.set_read_timeout(5);
        auto res = client.Get("/CurrencyConvertor.asmx?wsdl");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        EXPECT_FALSE(program.WaitFor(std::regex(R"(^\S+Z description for http://)")).empty())
            << program.Lines();

        program.Signal(signal);
        EXPECT_FALSE(program.WaitFor(std::regex("quorvane-rated stopped")).empty()) << program.Lines();
        EXPECT_EQ(program.Wait(), 0);
    }
}

TEST(RatedProgram, RefusesBadArgumentsAndUnreadableRates) {
    const std::vector<std::vector<std::string>> bad = {
        {"--listen", "nowhere"},
        {"--frobnicate"},
        {"--rates", "/nonexistent/rates.xml", "--listen", "127.0.0.1:0"}};
    for (const auto& args : bad) {
        Program program(args);
        EXPECT_FALSE(program.WaitFor(std::regex("quorvane-rated: ")).empty()) << args[0];
        const int status = program.Wait();
        EXPECT_TRUE(status == 1 || status == 2) << args[0] << " gave " << status << "\n" << program.Lines();
    }
}
