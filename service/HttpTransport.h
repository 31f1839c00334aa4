// The HTTP side of the rate service client, on libcurl.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "service/ServiceResult.h"

namespace quorvane {

struct HttpTimeouts {
    std::chrono::milliseconds connect{10'000};
    std::chrono::milliseconds total{30'000}; // whole exchange, connect included
};

struct HttpResponse {
    long status = 0;
    std::string contentType; // as the server sent it; empty when absent
    std::string body;
};

// One kept-alive connection for the POSTs of a proxy. Proxy settings come from the environment
// (http_proxy, https_proxy, no_proxy) as curl reads them; https verifies the certificate and host
// name; redirections are followed; nothing is cached. Every call blocks until the exchange ends or a
// time-out runs out. Not safe for concurrent use.
class HttpTransport {
public:
    explicit HttpTransport(HttpTimeouts timeouts = {});
    ~HttpTransport();
    HttpTransport(const HttpTransport&) = delete;
    HttpTransport& operator=(const HttpTransport&) = delete;

    // A GET on a connection of its own, closed afterwards. Any status comes back as a response.
    ServiceResult<HttpResponse> Get(const std::string& url);

    // A POST on the kept connection, opened when needed. A transport failure closes the connection.
    ServiceResult<HttpResponse> Post(const std::string& url, const std::vector<std::string>& headers,
                                     const std::string& body);

    // Drops the kept connection; the next POST opens a new one.
    void Close();

    void SetTimeouts(HttpTimeouts timeouts) { timeouts_ = timeouts; }
    const HttpTimeouts& Timeouts() const { return timeouts_; }

    // A PEM file of the authorities to trust instead of the system's; empty: the system's.
    void SetCertificateAuthorities(std::string pemFile);

    // Larger bodies fail the exchange rather than fill the memory.
    static constexpr std::size_t MaxBodyBytes = 64u << 20;

private:
    struct Handle;
    void Configure(void* curl, char* errorText) const;

    HttpTimeouts timeouts_;
    std::string authorities_;
    std::unique_ptr<Handle> kept_;
};

} // namespace quorvane
