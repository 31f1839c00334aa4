// RateServer: the HTTP side of the service: the description on GET, ConversionRate on POST.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

#include "rated/RateFeed.h"
#include "rated/Result.h"

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

namespace quorvane::rated {

class HistoryFeed;
class HttpServer;

inline constexpr std::string_view EndpointPath = "/CurrencyConvertor.asmx";

struct ServerOptions {
    // Threads that carry the connections (see HttpServer); 0 leaves one core to the clients.
    int loops = 0;
    std::size_t maxRequestBody = 64 * 1024;
    std::chrono::seconds readTimeout{5};
    std::chrono::seconds writeTimeout{5};
    std::chrono::seconds keepAliveTimeout{5};
    std::size_t keepAliveMaxCount = 100000;
};

class RateServer {
public:
    RateServer(RateFeed& feed, LogSink log, ServerOptions options = {});
    ~RateServer();
    RateServer(const RateServer&) = delete;
    RateServer& operator=(const RateServer&) = delete;

    // Binds to host:port; port 0 takes any free port. Returns the bound port or the reason it failed.
    Result<int> Bind(const std::string& host, int port);

    // Serves until Stop is called. Blocks the calling thread. Returns at once if Stop came first.
    void Run();

    // Ends Run and waits until it has returned (when it was entered). Safe from any thread.
    void Stop();

    // Answers GET /history?from=CODE&to=CODE from history (see AnswerHistoryRequest) from now on.
    void ServeHistory(const HistoryFeed* history) { history_ = history; }

private:
    void HandleGet(const httplib::Request& req, httplib::Response& res);
    void HandlePost(const httplib::Request& req, httplib::Response& res);
    std::string Location(const httplib::Request& req) const;

    RateFeed& feed_;
    LogSink log_;
    ServerOptions options_;
    std::unique_ptr<HttpServer> http_;
    std::string boundHost_;
    int boundPort_ = 0;
    std::atomic<const HistoryFeed*> history_{nullptr};

    enum class State { Idle, Running, Finished };
    std::mutex stateMutex_;
    std::condition_variable stateChanged_;
    State state_ = State::Idle;
    bool stopRequested_ = false;
};

// "2026-12-09T05:40:01.123Z": the time stamp of log lines.
std::string LogTime();

} // namespace quorvane::rated
