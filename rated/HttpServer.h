// HttpServer: cpp-httplib's server with connection loops of our own.
#pragma once

#include <httplib.h>

#include <atomic>
#include <memory>
#include <vector>

namespace quorvane::rated {

// The library accepts connections, parses requests, routes them and writes the answers; this class only
// replaces how connections are carried. The library gives each connection a thread of its own, which
// polls before every read and every write and sends an answer's head and body apart: on a busy service
// each request then costs a thread switch and several system calls more than the answer itself. Here a
// few loops (one less than there are cores, by default) each watch their connections with epoll, hand the
// parser a request only once all of it has come (see FrameRequest), and send each answer in one call. No loop
// ever waits on a client: a slow or silent one costs a descriptor and its buffer, not a thread. The read,
// write and keep-alive time-outs, the keep-alive limit and the payload limit keep their meaning.
class HttpServer final : public httplib::Server {
public:
    // loops: how many connection loops; 0 takes one less than there are cores, at least one.
    explicit HttpServer(int loops = 0);
    ~HttpServer() override;
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // False when a loop could not be started (out of descriptors).
    bool is_valid() const override;

    // Stops accepting (httplib::Server::stop), then ends every loop and closes its connections. Safe from
    // any thread; the server does not serve again after it.
    void StopAll();

private:
    class Loop;

    // Called by the library's accepting thread for each new connection: hands it to a loop.
    bool process_and_close_socket(socket_t sock) override;

    std::vector<std::unique_ptr<Loop>> loops_;
    std::atomic<std::size_t> nextLoop_{0};
};

} // namespace quorvane::rated
