#include "rated/RateServer.h"
#include "util/Text.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <thread>
#include <unordered_map>

#include <sys/socket.h>

#include "rated/EcbHistory.h"
#include "rated/HttpServer.h"
#include "rated/RateInfoAnswer.h"
#include "rated/SoapMessages.h"
#include "service/ServiceNames.h"

namespace quorvane::rated {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* XmlContentType = "text/xml; charset=utf-8";

bool AsksForDescription(const httplib::Request& req) {
    return std::any_of(req.params.begin(), req.params.end(),
                       [](const auto& param) { return EqualsIgnoringAsciiCase(param.first, "wsdl"); });
}

// A Host header we are willing to write back into the description: a host name or address and a port.
bool IsPlainHost(std::string_view host) {
    return !host.empty() && host.size() <= 262 && std::all_of(host.begin(), host.end(), [](char ch) {
        return std::isalnum(static_cast<unsigned char>(ch)) || ch == '.' || ch == '-' || ch == '_' ||
               ch == ':' || ch == '[' || ch == ']';
    });
}

std::string Micros(Clock::time_point start) {
    return std::to_string(
               std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count()) +
           "\u00b5s";
}

std::string StatusText(int status) {
    switch (status) {
    case 400:
        return "400 Bad Request";
    case 404:
        return "404 Not Found";
    case 405:
        return "405 Method Not Allowed";
    case 413:
        return "413 Payload Too Large";
    case 414:
        return "414 URI Too Long";
    default:
        return std::to_string(status);
    }
}

std::string_view Unquoted(std::string_view text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return text.substr(1, text.size() - 2);
    return text;
}

// Clients send the same few bodies again and again (the program one for each pair it watches), and
// reading one is a third of a request's work. What recent bodies asked for is kept by their exact bytes,
// one memo for each thread that answers; a body that was refused is read afresh every time.
class RequestMemo {
public:
    const ConversionRequest* Find(std::string_view body) const {
        const auto found = entries_.find(body);
        return found == entries_.end() ? nullptr : &found->second;
    }

    void Keep(std::string_view body, const ConversionRequest& request) {
        if (body.size() > MaxBody)
            return;
        if (entries_.size() >= MaxEntries)
            entries_.clear();
        entries_.emplace(std::string(body), request);
    }

private:
    static constexpr std::size_t MaxEntries = 64;
    static constexpr std::size_t MaxBody = 4096;

    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    std::unordered_map<std::string, ConversionRequest, Hash, std::equal_to<>> entries_;
};

} // namespace

std::string LogTime() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    // A line a request: the date and time of day are worked out once a second, not once a line.
    thread_local std::time_t shownSeconds = -1;
    thread_local char shown[64];
    if (seconds != shownSeconds) {
        std::tm utc{};
        gmtime_r(&seconds, &utc);
        std::snprintf(shown, sizeof shown, "%04d-%02d-%02dT%02d:%02d:%02d.", utc.tm_year + 1900,
                      utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
        shownSeconds = seconds;
    }
    std::string text(shown);
    text += static_cast<char>('0' + millis / 100);
    text += static_cast<char>('0' + millis / 10 % 10);
    text += static_cast<char>('0' + millis % 10);
    text += 'Z';
    return text;
}

RateServer::RateServer(RateFeed& feed, LogSink log, ServerOptions options)
    : feed_(feed), log_(PrintableLog(std::move(log))), options_(options),
      http_(std::make_unique<HttpServer>(options.loops)) {
    http_->set_payload_max_length(options_.maxRequestBody);
    http_->set_read_timeout(options_.readTimeout);
    http_->set_write_timeout(options_.writeTimeout);
    http_->set_keep_alive_timeout(options_.keepAliveTimeout.count());
    http_->set_keep_alive_max_count(options_.keepAliveMaxCount);
    http_->set_tcp_nodelay(true);

    http_->Get(".*", [this](const httplib::Request& req, httplib::Response& res) { HandleGet(req, res); });
    http_->Post(".*", [this](const httplib::Request& req, httplib::Response& res) { HandlePost(req, res); });
    http_->set_error_handler(
        httplib::Server::HandlerWithResponse([this](const httplib::Request& req, httplib::Response& res) {
            if (!res.body.empty())
                return httplib::Server::HandlerResponse::Unhandled;
            const std::string status = StatusText(res.status);
            res.set_content(status + "\n", "text/plain; charset=utf-8");
            log_(req.method + " " + req.path + " refused: " + status);
            return httplib::Server::HandlerResponse::Handled;
        }));
    http_->set_exception_handler(
        [this](const httplib::Request&, httplib::Response& res, std::exception_ptr ep) {
            std::string text = "Internal error";
            try {
                std::rethrow_exception(ep);
            } catch (const std::exception& e) {
                text += std::string(": ") + e.what();
            } catch (...) {
            }
            res.status = 500;
            res.set_content(WriteFault({"Server", text}), XmlContentType);
            log_("fault Server: " + text);
        });
}

RateServer::~RateServer() {
    Stop();
}

Result<int> RateServer::Bind(const std::string& host, int port) {
    if (!http_->is_valid())
        return Error{"cannot start the connection loops (" + std::string(std::strerror(errno)) + ")"};
    errno = 0;
    int listener = -1;
    http_->set_socket_options([&listener](socket_t sock) {
        httplib::default_socket_options(sock);
        listener = sock;
    });
    const int bound =
        port == 0 ? http_->bind_to_any_port(host) : (http_->bind_to_port(host, port) ? port : -1);
    http_->set_socket_options(httplib::default_socket_options);
    // The library listens with a queue of 5: a client that opens a connection per monitored slot at
    // once would see the rest of its connects dropped and retried a second later whenever the accept
    // thread is slow to run.
    if (bound > 0 && listener >= 0)
        ::listen(listener, SOMAXCONN);
    if (bound <= 0)
        return Error{"cannot listen on " + host + ":" + std::to_string(port) +
                     (errno ? std::string(" (") + std::strerror(errno) + ")" : std::string())};
    boundHost_ = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    boundPort_ = bound;
    return bound;
}

void RateServer::Run() {
    {
        std::lock_guard lock(stateMutex_);
        if (stopRequested_ || state_ != State::Idle)
            return;
        state_ = State::Running;
    }
    http_->listen_after_bind();
    {
        std::lock_guard lock(stateMutex_);
        state_ = State::Finished;
    }
    stateChanged_.notify_all();
}

void RateServer::Stop() {
    std::unique_lock lock(stateMutex_);
    stopRequested_ = true;
    // The listener only takes a stop once it is accepting; Run may still be on its way there.
    while (state_ == State::Running) {
        http_->StopAll();
        stateChanged_.wait_for(lock, std::chrono::milliseconds(5));
    }
}

std::string RateServer::Location(const httplib::Request& req) const {
    std::string host = req.get_header_value("Host");
    if (!IsPlainHost(host))
        host = boundHost_ + ":" + std::to_string(boundPort_);
    return "http://" + host + std::string(EndpointPath);
}

void RateServer::HandleGet(const httplib::Request& req, httplib::Response& res) {
    if (const HistoryFeed* history = history_.load(); history && req.path == "/history") {
        const auto answer = AnswerHistoryRequest(history->Current().get(), req.get_param_value("from"),
                                                 req.get_param_value("to"));
        res.status = answer.status;
        res.set_content(answer.body,
                        answer.status == 200 ? "text/csv; charset=utf-8" : "text/plain; charset=utf-8");
        return;
    }
    if (!EqualsIgnoringAsciiCase(req.path, EndpointPath)) {
        res.status = 404;
        return;
    }
    if (req.has_param(std::string(RateInfoParameter))) {
        auto answer = WriteRateInfo(feed_, req.get_param_value(std::string(RateInfoParameter)));
        if (!answer) {
            res.status = 400;
            res.set_content(answer.error().text + "\n", "text/plain; charset=utf-8");
            return;
        }
        res.set_content(answer.value(), "application/json");
        return;
    }
    if (!AsksForDescription(req)) {
        res.set_content("CurrencyConvertor: GET " + std::string(EndpointPath) +
                            "?wsdl for the description, POST SOAP 1.1 ConversionRate requests here.\n",
                        "text/plain; charset=utf-8");
        return;
    }
    const std::string location = Location(req);
    res.set_content(WriteDescription(location, DescribeFeed(feed_.Options())), XmlContentType);
    log_("description for " + location);
}

void RateServer::HandlePost(const httplib::Request& req, httplib::Response& res) {
    const auto start = Clock::now();
    if (!EqualsIgnoringAsciiCase(req.path, EndpointPath)) {
        res.status = 404;
        return;
    }
    auto fail = [&](const std::string& pair, const SoapFault& fault) {
        res.status = 500;
        res.set_content(WriteFault(fault), XmlContentType);
        log_(pair + " fault " + fault.code + ": " + fault.text + " " + Micros(start));
    };
    const std::string action(Unquoted(req.get_header_value("SOAPAction")));
    const std::string expected = std::string(ServiceNamespace) + std::string(OperationName);
    if (!action.empty() && action != expected)
        return fail("?/?", {"Client", "Unknown SOAPAction; this service offers " + expected});
    thread_local RequestMemo memo;
    ConversionRequest asked{};
    if (const ConversionRequest* known = memo.Find(req.body)) {
        asked = *known;
    } else {
        auto request = ReadConversionRequest(req.body);
        if (!request)
            return fail("?/?", request.error());
        asked = request.value();
        memo.Keep(req.body, asked);
    }
    const auto [from, to] = asked;
    const std::string pair =
        std::string(CurrencyExternalName(from)) + "/" + std::string(CurrencyExternalName(to));
    auto rate = feed_.Rate(from, to);
    if (!rate)
        return fail(pair, {"Server", rate.error().text});
    const std::string text = RateText(rate.value());
    res.set_content(WriteConversionResponse(rate.value()), XmlContentType);
    log_(pair + " " + text + " " + Micros(start));
}

} // namespace quorvane::rated
