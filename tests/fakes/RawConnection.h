// RawConnection: a plain TCP connection to loopback, for requests no well-behaved client would send.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace quorvane::test {

class RawConnection {
public:
    // bufferBytes: small socket buffers, so that a server that stops reading is felt at once.
    explicit RawConnection(int port, int bufferBytes = 0) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd_ >= 0 && bufferBytes > 0) {
            ::setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &bufferBytes, sizeof bufferBytes);
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
        }
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~RawConnection() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool Open() const { return fd_ >= 0; }

    // Sends all of data; false when the peer has gone.
    bool Send(std::string_view data) {
        while (!data.empty()) {
            const ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            data.remove_prefix(static_cast<size_t>(n));
        }
        return true;
    }

    // Sends what the socket takes within timeoutMs; the byte count.
    size_t SendSome(std::string_view data, int timeoutMs) {
        size_t sent = 0;
        pollfd pfd{fd_, POLLOUT, 0};
        while (sent < data.size() && ::poll(&pfd, 1, timeoutMs) > 0) {
            const ssize_t n = ::send(fd_, data.data() + sent, data.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n <= 0)
                break;
            sent += static_cast<size_t>(n);
        }
        return sent;
    }

    // Reads one HTTP response (headers and a Content-Length body); empty when none came within timeoutMs.
    std::string ReadResponse(int timeoutMs = 10000) {
        for (;;) {
            const auto headerEnd = buffer_.find("\r\n\r\n");
            if (headerEnd != std::string::npos) {
                const size_t total = headerEnd + 4 + ContentLength(buffer_.substr(0, headerEnd));
                if (buffer_.size() >= total) {
                    std::string response = buffer_.substr(0, total);
                    buffer_.erase(0, total);
                    return response;
                }
            }
            if (!Fill(timeoutMs))
                return {};
        }
    }

    // True when the server closes the connection within timeoutMs (whatever it sent before).
    bool ClosedByPeer(int timeoutMs) {
        while (Fill(timeoutMs)) {
        }
        return closed_;
    }

private:
    static size_t ContentLength(const std::string& headers) {
        const std::string key = "Content-Length: ";
        const auto at = headers.find(key);
        return at == std::string::npos ? 0 : std::stoul(headers.substr(at + key.size()));
    }

    bool Fill(int timeoutMs) {
        pollfd pfd{fd_, POLLIN, 0};
        if (::poll(&pfd, 1, timeoutMs) <= 0)
            return false;
        char chunk[65536];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) {
            closed_ = true;
            return false;
        }
        buffer_.append(chunk, static_cast<size_t>(n));
        return true;
    }

    int fd_ = -1;
    bool closed_ = false;
    std::string buffer_;
};

inline std::string HttpPost(std::string_view body, std::string_view extraHeaders = "") {
    return "POST /CurrencyConvertor.asmx HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/xml\r\n" +
           std::string(extraHeaders) + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
           std::string(body);
}

} // namespace quorvane::test
