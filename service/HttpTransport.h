// The HTTP side of the rate service client, on libcurl.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "service/ServiceResult.h"

namespace quorvane {

// Exchanges made on the calling thread from now on end at once, failing, when *flag turns true (nullptr:
// never). A worker waiting on the window's behalf installs the window's flag, so that the window can drop
// the wait without waiting for our time-outs.
void SetThreadTransferCancel(const std::atomic<bool>* flag);

struct HttpTimeouts {
    std::chrono::milliseconds connect{10'000};
    std::chrono::milliseconds total{30'000}; // whole exchange, connect included
};

struct HttpResponse {
    long status = 0;
    std::string contentType; // as the server sent it; empty when absent
    std::string body;
};

struct HttpPost {
    std::string url;
    std::vector<std::string> headers; // "Name: value"
    std::string body;
};

// Kept-alive connections for the POSTs of a proxy, at most MaxParallel, reused from call to call.
// Proxy settings come from the environment (http_proxy, https_proxy, no_proxy) as curl reads them;
// https verifies the certificate and host name; redirections are followed; nothing is cached. Every
// call blocks until its exchanges end or a time-out runs out. Not safe for concurrent use.
class HttpTransport {
public:
    // POSTs travelling at once, each on a connection of its own: one per monitored slot.
    static constexpr std::size_t MaxParallel = 8;

    explicit HttpTransport(HttpTimeouts timeouts = {});
    ~HttpTransport();
    HttpTransport(const HttpTransport&) = delete;
    HttpTransport& operator=(const HttpTransport&) = delete;

    // A GET on a connection of its own, closed afterwards. Any status comes back as a response.
    ServiceResult<HttpResponse> Get(const std::string& url);

    // One POST on a kept connection, opened when none is free. A transport failure closes the kept
    // connections.
    ServiceResult<HttpResponse> Post(const std::string& url, const std::vector<std::string>& headers,
                                     const std::string& body);

    // The POSTs sent together and awaited together, results in the order of posts. Each has the
    // time-outs of one exchange and the whole wait is bounded by one total time-out (beyond
    // MaxParallel posts, per group of MaxParallel). A transport failure of any closes the kept
    // connections after the others have ended.
    std::vector<ServiceResult<HttpResponse>> PostAll(const std::vector<HttpPost>& posts);

    // Drops the kept connections; the next POST opens new ones.
    void Close();

    void SetTimeouts(HttpTimeouts timeouts) { timeouts_ = timeouts; }
    const HttpTimeouts& Timeouts() const { return timeouts_; }

    // A PEM file of the authorities to trust instead of the system's; empty: the system's.
    void SetCertificateAuthorities(std::string pemFile);

    // Larger bodies fail the exchange rather than fill the memory.
    static constexpr std::size_t MaxBodyBytes = 64u << 20;

private:
    struct Handle;
    struct Pool;
    void Configure(void* curl, char* errorText) const;
    Pool* KeptPool();
    void PostGroup(const HttpPost* posts, std::size_t count, ServiceResult<HttpResponse>* results);

    HttpTimeouts timeouts_;
    std::string authorities_;
    std::unique_ptr<Pool> kept_;
};

} // namespace quorvane
