// The quorvane-rated program: start-up, its first lines, bad arguments and a clean stop on a signal.
#include <gtest/gtest.h>
#include <httplib.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <string>
#include <vector>

extern char** environ;

namespace {

// The program with its standard error on a pipe; killed and reaped if the test leaves early.
class Program {
public:
    // env: "NAME=VALUE" entries that replace or add to the test's environment.
    explicit Program(std::vector<std::string> args, const std::vector<std::string>& env = {}) {
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
        std::vector<std::string> environment = env;
        for (char** entry = environ; *entry; ++entry) {
            const std::string_view text(*entry);
            const auto name = text.substr(0, text.find('=') + 1);
            if (std::none_of(env.begin(), env.end(), [&](const std::string& e) { return e.starts_with(name); }))
                environment.emplace_back(text);
        }
        std::vector<char*> envp;
        for (auto& entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        if (posix_spawn(&pid_, QUORVANE_RATED_PATH, &actions, nullptr, argv.data(), envp.data()) != 0)
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

namespace {

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The USD/JPY rate the service at port answers, or -1.
double ServedUsdJpy(int port) {
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(5);
    client.set_read_timeout(5);
    const std::string request =
        "<?xml version=\"1.0\"?><soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
        "<soap:Body><ConversionRate xmlns=\"http://www.webserviceX.NET/\"><FromCurrency>USD</FromCurrency>"
        "<ToCurrency>JPY</ToCurrency></ConversionRate></soap:Body></soap:Envelope>";
    auto res = client.Post("/CurrencyConvertor.asmx", request, "text/xml");
    std::smatch rate;
    static const std::regex result("ConversionRateResult>([^<]+)<");
    if (!res || !std::regex_search(res->body, rate, result))
        return -1;
    return std::stod(rate[1]);
}

} // namespace

// The live source is a server on loopback here (QUORVANE_ECB_URL); its good answer is kept in the cache and
// served by the next start when the source is unreachable or answers garbage.
TEST(RatedProgram, LiveRatesAreKeptInTheCacheAndServedFromItWhenTheSourceFails) {
    const std::string good = "<?xml version=\"1.0\"?><gesmes:Envelope xmlns:gesmes=\"http://www.gesmes.org/xml/"
                             "2002-08-01\" xmlns=\"http://www.ecb.int/vocabulary/2002-08-01/eurofxref\"><Cube>"
                             "<Cube time='2024-01-02'><Cube currency='USD' rate='1.25'/><Cube currency='JPY' "
                             "rate='150'/></Cube></Cube></gesmes:Envelope>\n";
    std::atomic<bool> garbage{false};
    httplib::Server source;
    source.Get("/daily.xml", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(garbage ? "<html>maintenance" : good, "text/xml");
    });
    const int sourcePort = source.bind_to_any_port("127.0.0.1");
    ASSERT_GT(sourcePort, 0);
    std::thread serving([&] { source.listen_after_bind(); });
    struct Stop {
        httplib::Server& server;
        std::thread& thread;
        ~Stop() {
            for (int i = 0; i < 5000 && !server.is_running(); ++i) // stop() only takes once it listens
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            server.stop();
            thread.join();
        }
    } stop{source, serving};

    const auto cacheHome = std::filesystem::temp_directory_path() / ("rated-cache-" + std::to_string(::getpid()));
    struct Remove {
        std::filesystem::path path;
        ~Remove() { std::filesystem::remove_all(path); }
    } remove{cacheHome};
    const auto cacheFile = cacheHome / "quorvane" / "eurofxref-daily.xml";
    const std::string live = "http://127.0.0.1:" + std::to_string(sourcePort) + "/daily.xml";
    const std::regex listening(R"(listening on http://127\.0\.0\.1:(\d+)/)");
    auto start = [&](const std::string& address) {
        return std::make_unique<Program>(std::vector<std::string>{"--listen", "127.0.0.1:0", "--refresh", "0"},
                                         std::vector<std::string>{"QUORVANE_ECB_URL=" + address,
                                                                  "QUORVANE_INTRADAY_URL=http://127.0.0.1:1/",
                                                                  "XDG_CACHE_HOME=" + cacheHome.string()});
    };

    {
        auto program = start(live);
        const auto port = program->WaitFor(listening);
        ASSERT_FALSE(port.empty()) << program->Lines();
        ASSERT_FALSE(program->WaitFor(std::regex("rates: 3 currencies of 2024-01-02 from " + live)).empty())
            << program->Lines();
        EXPECT_EQ(ServedUsdJpy(std::stoi(port[1])), 120);
        EXPECT_EQ(ReadAll(cacheFile), good);
    }

    garbage = true;
    for (const std::string& failing : {std::string("http://127.0.0.1:1/daily.xml"), live}) {
        auto program = start(failing);
        const auto port = program->WaitFor(listening);
        ASSERT_FALSE(port.empty()) << program->Lines();
        EXPECT_NE(program->Lines().find("of 2024-01-02 from " + cacheFile.string()), std::string::npos)
            << program->Lines();
        EXPECT_FALSE(program->WaitFor(std::regex("warning: " + failing + ".*keeping the rates of 2024-01-02"))
                         .empty())
            << program->Lines();
        EXPECT_EQ(ServedUsdJpy(std::stoi(port[1])), 120) << failing;
        EXPECT_EQ(ReadAll(cacheFile), good) << failing;
    }
}
