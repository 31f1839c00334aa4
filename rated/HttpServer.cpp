#include "rated/HttpServer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

#include <netdb.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "rated/RequestFrame.h"

namespace quorvane::rated {

namespace {

using Clock = std::chrono::steady_clock;

// Time-outs are checked this often, so a connection may outlive its time-out by this much.
constexpr auto SweepInterval = std::chrono::milliseconds(250);
// What a lingering close takes from a client before it gives up on reading the client out.
constexpr std::size_t MaxLingerBytes = 16 * 1024 * 1024;
constexpr std::string_view ContinueLine = "HTTP/1.1 100 Continue\r\n\r\n";

Clock::duration Timeout(time_t seconds, time_t micros) {
    return std::chrono::seconds(seconds) + std::chrono::microseconds(micros);
}

// The library's settings as they were when a connection came: read on the accepting thread.
struct ConnectionRules {
    Clock::duration readTimeout;
    Clock::duration writeTimeout;
    Clock::duration keepAliveTimeout;
    std::size_t keepAliveMaxCount;
    FrameLimits limits;
};

struct Endpoint {
    bool known = false;
    std::string ip;
    int port = 0;
};

struct Connection {
    enum class State {
        Reading,   // waiting for a whole request
        Writing,   // an answer waits for room in the socket; no request is read meanwhile
        Lingering, // answered for the last time: the client's remaining bytes are read and dropped until
                   // it closes, so that closing does not reset the connection before it has read the answer
    };
    int fd = -1;
    ConnectionRules rules;
    State state = State::Reading;
    std::string in;  // received, not yet answered
    std::string out; // answered, not yet sent
    std::size_t requests = 0;
    std::size_t lingered = 0;
    bool sentContinue = false;
    bool closeAfterAnswer = false;
    Clock::time_point deadline;
    Endpoint remote;
    Endpoint local;
};

template <class Lookup> const Endpoint& Address(int fd, Lookup lookup, Endpoint& endpoint) {
    if (endpoint.known)
        return endpoint;
    endpoint.known = true;
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    char host[NI_MAXHOST];
    char service[NI_MAXSERV];
    if (lookup(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
        getnameinfo(reinterpret_cast<sockaddr*>(&address), length, host, sizeof host, service, sizeof service,
                    NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
        endpoint.ip = host;
        endpoint.port = std::atoi(service);
    }
    return endpoint;
}

// One whole request of a connection, as the library's Stream: reads end where the request ends, and
// writes collect in the connection's output. Nothing here waits.
class RequestStream final : public httplib::Stream {
public:
    RequestStream(Connection& connection, std::size_t length) : connection_(connection), length_(length) {}

    std::size_t Read() const { return read_; }

    bool is_readable() const override { return read_ < length_; }
    bool is_writable() const override { return true; }

    ssize_t read(char* ptr, size_t size) override {
        // The library reads the request line and headers a byte at a time.
        if (size == 1 && read_ < length_) {
            *ptr = connection_.in[read_++];
            return 1;
        }
        const std::size_t n = std::min(size, length_ - read_);
        std::memcpy(ptr, connection_.in.data() + read_, n);
        read_ += n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char* ptr, size_t size) override {
        // The loop has already told this client to go on.
        if (connection_.sentContinue && std::string_view(ptr, size) == ContinueLine) {
            connection_.sentContinue = false;
            return static_cast<ssize_t>(size);
        }
        connection_.out.append(ptr, size);
        return static_cast<ssize_t>(size);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        const Endpoint& endpoint = Address(connection_.fd, getpeername, connection_.remote);
        ip = endpoint.ip;
        port = endpoint.port;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        const Endpoint& endpoint = Address(connection_.fd, getsockname, connection_.local);
        ip = endpoint.ip;
        port = endpoint.port;
    }
    socket_t socket() const override { return connection_.fd; }

private:
    Connection& connection_;
    std::size_t length_;
    std::size_t read_ = 0;
};

// Runs a task where it is given: the accepting thread only hands each connection to a loop.
class HandOver final : public httplib::TaskQueue {
public:
    void enqueue(std::function<void()> fn) override { fn(); }
    void shutdown() override {}
};

} // namespace

class HttpServer::Loop {
public:
    explicit Loop(HttpServer& server)
        : server_(server), epoll_(epoll_create1(EPOLL_CLOEXEC)),
          wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.ptr = nullptr;
        if (epoll_ < 0 || wake_ < 0 || epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &event) != 0)
            return;
        thread_ = std::thread([this] { Run(); });
    }

    ~Loop() {
        Stop();
        if (epoll_ >= 0)
            ::close(epoll_);
        if (wake_ >= 0)
            ::close(wake_);
    }

    Loop(const Loop&) = delete;
    Loop& operator=(const Loop&) = delete;

    bool Running() const { return thread_.joinable(); }

    // From the accepting thread.
    void Adopt(int fd, const ConnectionRules& rules) {
        {
            std::lock_guard lock(mutex_);
            if (!stopping_) {
                adopted_.push_back({fd, rules});
                fd = -1;
            }
        }
        if (fd >= 0)
            ::close(fd);
        else
            Wake();
    }

    void Stop() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        Wake();
        if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
            thread_.join();
        std::lock_guard lock(mutex_);
        for (const auto& [fd, rules] : adopted_)
            ::close(fd);
        adopted_.clear();
    }

private:
    void Wake() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wake_, &one, sizeof one);
    }

    void Run() {
        while (Turn()) {
        }
        for (auto& [key, connection] : connections_)
            Close(*connection);
        connections_.clear();
        closed_.clear();
    }

    // Waits for what is ready and handles it; false once the loop is to stop.
    bool Turn() {
        std::array<epoll_event, 64> events;
        const int ready = epoll_wait(epoll_, events.data(), static_cast<int>(events.size()),
                                     static_cast<int>(SweepInterval.count()));
        if (ready < 0 && errno != EINTR)
            return false;
        for (int i = 0; i < ready; ++i) {
            auto* connection = static_cast<Connection*>(events[i].data.ptr);
            if (!connection) {
                if (!TakeAdopted())
                    return false;
            } else if (connection->fd >= 0) {
                OnReady(*connection, events[i].events);
            }
        }
        for (Connection* connection : closed_)
            connections_.erase(connection);
        closed_.clear();
        if (const auto now = Clock::now(); now - lastSweep_ >= SweepInterval) {
            lastSweep_ = now;
            for (auto& [key, connection] : connections_)
                if (now > connection->deadline)
                    Close(*connection);
        }
        return true;
    }

    // Registers the connections the accepting thread handed over; false once the loop is to stop.
    bool TakeAdopted() {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto got = ::read(wake_, &count, sizeof count);
        std::vector<std::pair<int, ConnectionRules>> adopted;
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                return false;
            adopted.swap(adopted_);
        }
        for (const auto& [fd, rules] : adopted) {
            auto connection = std::make_unique<Connection>();
            connection->fd = fd;
            connection->rules = rules;
            connection->deadline = Clock::now() + rules.keepAliveTimeout;
            if (!Watch(*connection, EPOLL_CTL_ADD, EPOLLIN)) {
                ::close(fd);
                continue;
            }
            Connection* key = connection.get();
            connections_.emplace(key, std::move(connection));
        }
        return true;
    }

    bool Watch(Connection& connection, int operation, std::uint32_t events) {
        epoll_event event{};
        event.events = events;
        event.data.ptr = &connection;
        return epoll_ctl(epoll_, operation, connection.fd, &event) == 0;
    }

    // The connection is closed now and forgotten once the events already taken are handled.
    void Close(Connection& connection) {
        if (connection.fd < 0)
            return;
        ::close(connection.fd); // also takes it out of the epoll set
        connection.fd = -1;
        closed_.push_back(&connection);
    }

    void OnReady(Connection& connection, std::uint32_t events) {
        switch (connection.state) {
        case Connection::State::Lingering:
            return Linger(connection);
        case Connection::State::Writing:
            if (events & (EPOLLOUT | EPOLLERR | EPOLLHUP))
                if (Send(connection))
                    Serve(connection);
            return;
        case Connection::State::Reading:
            return Receive(connection);
        }
    }

    void Receive(Connection& connection) {
        const ssize_t got = ::recv(connection.fd, scratch_.data(), scratch_.size(), MSG_DONTWAIT);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return;
        if (got <= 0)
            return Close(connection);
        connection.in.append(scratch_.data(), static_cast<std::size_t>(got));
        connection.deadline = Clock::now() + connection.rules.readTimeout;
        Serve(connection);
    }

    // Answers every whole request received, in order, while the client takes the answers.
    void Serve(Connection& connection) {
        while (connection.state == Connection::State::Reading && !connection.in.empty()) {
            const RequestFrame frame = FrameRequest(connection.in, connection.rules.limits);
            if (frame.state == RequestFrame::State::Partial) {
                if (frame.expectsContinue && !connection.sentContinue) {
                    connection.sentContinue = true;
                    connection.out.append(ContinueLine);
                    Send(connection);
                }
                return;
            }
            Answer(connection, frame);
            if (!Send(connection))
                return;
        }
    }

    void Answer(Connection& connection, const RequestFrame& frame) {
        const bool last = ++connection.requests >= connection.rules.keepAliveMaxCount;
        bool closed = false;
        RequestStream stream(connection, frame.length);
        const bool answered = server_.process_request(stream, last, closed, nullptr);
        connection.in.erase(0, frame.length);
        connection.sentContinue = false;
        if (!answered || closed || last || frame.state == RequestFrame::State::Refused)
            connection.closeAfterAnswer = true;
    }

    // Sends what is waiting; true when all of it went and the connection goes on reading requests.
    bool Send(Connection& connection) {
        std::size_t sent = 0;
        while (sent < connection.out.size()) {
            const ssize_t n = ::send(connection.fd, connection.out.data() + sent,
                                     connection.out.size() - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                connection.out.erase(0, sent);
                if (sent > 0 || connection.state != Connection::State::Writing)
                    connection.deadline = Clock::now() + connection.rules.writeTimeout;
                if (connection.state != Connection::State::Writing) {
                    connection.state = Connection::State::Writing;
                    if (!Watch(connection, EPOLL_CTL_MOD, EPOLLOUT))
                        Close(connection);
                }
                return false;
            } else {
                Close(connection);
                return false;
            }
        }
        connection.out.clear();
        if (connection.closeAfterAnswer) {
            StartLingering(connection);
            return false;
        }
        if (connection.state == Connection::State::Writing) {
            connection.state = Connection::State::Reading;
            if (!Watch(connection, EPOLL_CTL_MOD, EPOLLIN)) {
                Close(connection);
                return false;
            }
        }
        connection.deadline = Clock::now() + (connection.in.empty() ? connection.rules.keepAliveTimeout
                                                                    : connection.rules.readTimeout);
        return true;
    }

    void StartLingering(Connection& connection) {
        ::shutdown(connection.fd, SHUT_WR);
        connection.in.clear();
        connection.deadline = Clock::now() + connection.rules.readTimeout;
        if (connection.state == Connection::State::Writing && !Watch(connection, EPOLL_CTL_MOD, EPOLLIN))
            return Close(connection);
        connection.state = Connection::State::Lingering;
    }

    void Linger(Connection& connection) {
        const ssize_t got = ::recv(connection.fd, scratch_.data(), scratch_.size(), MSG_DONTWAIT);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return;
        connection.lingered += got > 0 ? static_cast<std::size_t>(got) : 0;
        if (got <= 0 || connection.lingered > MaxLingerBytes)
            Close(connection);
    }

    HttpServer& server_;
    int epoll_;
    int wake_;
    std::thread thread_;
    std::mutex mutex_;
    bool stopping_ = false;
    std::vector<std::pair<int, ConnectionRules>> adopted_;
    // Touched by the loop's thread only.
    std::unordered_map<Connection*, std::unique_ptr<Connection>> connections_;
    std::vector<Connection*> closed_;
    Clock::time_point lastSweep_ = Clock::now();
    std::array<char, 16 * 1024> scratch_;
};

HttpServer::HttpServer(int loops) {
    new_task_queue = [] { return new HandOver; };
    // By default a core is left to the clients, which on a desktop share the machine: a loop that must
    // wait for a core leaves its connections waiting a whole scheduler tick.
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    const int count = loops > 0 ? loops : std::max(1, cores - 1);
    for (int i = 0; i < count; ++i)
        loops_.push_back(std::make_unique<Loop>(*this));
}

HttpServer::~HttpServer() {
    StopAll();
}

bool HttpServer::is_valid() const {
    return std::all_of(loops_.begin(), loops_.end(), [](const auto& loop) { return loop->Running(); });
}

void HttpServer::StopAll() {
    if (is_running())
        stop();
    for (auto& loop : loops_)
        loop->Stop();
}

bool HttpServer::process_and_close_socket(socket_t sock) {
    const ConnectionRules rules{Timeout(read_timeout_sec_, read_timeout_usec_),
                                Timeout(write_timeout_sec_, write_timeout_usec_),
                                Timeout(keep_alive_timeout_sec_, 0),
                                std::max<std::size_t>(1, keep_alive_max_count_),
                                {FrameLimits{}.maxHead, payload_max_length_}};
    loops_[nextLoop_++ % loops_.size()]->Adopt(sock, rules);
    return true;
}

} // namespace quorvane::rated
