// quorvane-rated: the local CurrencyConvertor rate service.
#include <curl/curl.h>
#include <libxml/parser.h>
#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "rated/EcbHistory.h"
#include "rated/Options.h"
#include "rated/RateServer.h"
#include "util/ProgramPath.h"

using namespace quorvane::rated;

namespace {

void LogLine(const std::string& line) {
    const std::string time = LogTime();
    flockfile(stderr);
    fwrite_unlocked(time.data(), 1, time.size(), stderr);
    putc_unlocked(' ', stderr);
    fwrite_unlocked(line.data(), 1, line.size(), stderr);
    putc_unlocked('\n', stderr);
    funlockfile(stderr);
}

// Under load a line per request made one write a request. The lines are gathered and written at most
// 100 ms late; a line that someone waits for (listening, stopped) is written at once.
class BufferedLog {
public:
    BufferedLog() {
        std::setvbuf(stderr, buffer_, _IOFBF, sizeof buffer_);
        flusher_ = std::thread([this] {
            std::unique_lock lock(mutex_);
            while (!stop_) {
                stopped_.wait_for(lock, std::chrono::milliseconds(100));
                std::fflush(stderr);
            }
        });
    }
    ~BufferedLog() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        stopped_.notify_all();
        flusher_.join();
        std::fflush(stderr);
        std::setvbuf(stderr, nullptr, _IONBF, 0);
    }

private:
    char buffer_[1 << 16];
    std::mutex mutex_;
    std::condition_variable stopped_;
    bool stop_ = false;
    std::thread flusher_;
};

std::string ExecutablePath(const char* argv0) {
    const std::string path = quorvane::ProgramPath();
    return path.empty() ? std::string(argv0) : path;
}

} // namespace

int main(int argc, char** argv) {
    auto options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!options) {
        std::fprintf(stderr, "quorvane-rated: %s\n", options.error().text.c_str());
        return 2;
    }
    if (options.value().help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    // Signals are taken by one thread with sigwait, so every other thread must have them blocked.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    BufferedLog bufferedLog;

    FeedOptions& feedOptions = options.value().feed;
    UseIntradaySource(feedOptions, options.value().source);
    const bool live = UseDefaultSources(feedOptions, ExecutablePath(argv[0]));

    xmlInitParser();
    curl_global_init(CURL_GLOBAL_DEFAULT);

    RateFeed feed(feedOptions, LogLine);
    // The live rates are read once the service answers, so that a slow or missing network never holds up
    // the start: until then the last good copy (or the shipped file) is served.
    // With the intraday rates alone there is nothing to fall back on: the first answer must come.
    const bool intradayOnly = feedOptions.intradayOnly;
    const bool readNow = !intradayOnly && live && feed.LoadFallback();
    if (intradayOnly ? !feed.LoadIntraday() : (!readNow && !feed.Load())) {
        std::fprintf(stderr, "quorvane-rated: cannot start without rates\n");
        return 1;
    }
    RateServer server(feed, LogLine);
    const std::string& host = options.value().host;
    auto bound = server.Bind(host, options.value().port);
    if (!bound) {
        std::fprintf(stderr, "quorvane-rated: %s\n", bound.error().text.c_str());
        return 1;
    }
    const std::string shownHost = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    if (feedOptions.simulate)
        LogLine("SIMULATED rates: every rate drifts in a random walk (--walk-start " +
                std::to_string(feedOptions.walkStart) + ")");
    LogLine("quorvane-rated listening on http://" + shownHost + ":" + std::to_string(bound.value()) +
            "/CurrencyConvertor.asmx");
    std::fflush(stderr);
    feed.StartRefreshing(readNow);
    HistoryFeed history(LiveHistoryAddress(), HistoryCacheFile(), LogLine);
    if (live || std::getenv("QUORVANE_ECB_HISTORY_URL")) {
        server.ServeHistory(&history);
        history.StartRefreshing();
    }

    std::thread signalWatcher([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.Stop();
    });
    server.Run();
    pthread_kill(signalWatcher.native_handle(), SIGTERM); // wakes the watcher if the server ended by itself
    signalWatcher.join();
    feed.StopRefreshing();
    history.StopRefreshing();
    LogLine("quorvane-rated stopped");
    curl_global_cleanup();
    xmlCleanupParser();
    return 0;
}
