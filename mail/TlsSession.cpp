#include "mail/TlsSession.h"

#include "mail/MailError.h"
#include "mail/Socket.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quorvane::mail {

namespace {

struct SslCtxFree {
    void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};
struct SslFree {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
};
struct BioMethodFree {
    void operator()(BIO_METHOD* method) const { BIO_meth_free(method); }
};

bool Retryable(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

int Descriptor(BIO* bio) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
}

// OpenSSL's own socket BIO writes with write(), which raises SIGPIPE on a connection the server
// has dropped; this one sends with MSG_NOSIGNAL like the plain socket does.
int BioWrite(BIO* bio, const char* data, int size) {
    BIO_clear_retry_flags(bio);
    const ssize_t sent = ::send(Descriptor(bio), data, static_cast<std::size_t>(size), MSG_NOSIGNAL);
    if (sent < 0 && Retryable(errno))
        BIO_set_retry_write(bio);
    return static_cast<int>(sent);
}

int BioRead(BIO* bio, char* data, int size) {
    BIO_clear_retry_flags(bio);
    const ssize_t got = ::recv(Descriptor(bio), data, static_cast<std::size_t>(size), 0);
    if (got < 0 && Retryable(errno))
        BIO_set_retry_read(bio);
    return static_cast<int>(got);
}

long BioControl(BIO*, int command, long, void*) {
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int BioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

const BIO_METHOD* NoSignalSocketMethod() {
    static const std::unique_ptr<BIO_METHOD, BioMethodFree> method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "quorvane socket");
        if (m) {
            BIO_meth_set_write(m, BioWrite);
            BIO_meth_set_read(m, BioRead);
            BIO_meth_set_ctrl(m, BioControl);
            BIO_meth_set_create(m, BioCreate);
        }
        return std::unique_ptr<BIO_METHOD, BioMethodFree>(m);
    }();
    return method.get();
}

std::string OpenSslReason(const char* what) {
    std::string text = what;
    const unsigned long code = ERR_get_error();
    if (code != 0) {
        char buffer[256];
        ERR_error_string_n(code, buffer, sizeof buffer);
        text += std::string(": ") + buffer;
    }
    ERR_clear_error();
    return text;
}

bool IsAddressLiteral(const std::string& host) {
    unsigned char address[16];
    return ::inet_pton(AF_INET, host.c_str(), address) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), address) == 1;
}

std::unique_ptr<SSL_CTX, SslCtxFree> MakeContext() {
    std::unique_ptr<SSL_CTX, SslCtxFree> ctx(SSL_CTX_new(TLS_client_method()));
    if (!ctx)
        throw MailError(OpenSslReason("TLS: cannot make a context"));
    SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION);
    // OpenSSL's default paths, so SSL_CERT_FILE and SSL_CERT_DIR are honoured.
    if (SSL_CTX_set_default_verify_paths(ctx.get()) != 1)
        throw MailError(OpenSslReason("TLS: cannot load the trusted certificates"));
    SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_PEER, nullptr);
    return ctx;
}

// Waits until the socket is ready for what OpenSSL asked; false when the deadline passed.
bool WaitFor(int fd, int sslError, TlsSession::Deadline deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{fd, static_cast<short>(sslError == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN), 0};
    int ready;
    do {
        ready = ::poll(&p, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

} // namespace

struct TlsSession::Handles {
    std::unique_ptr<SSL_CTX, SslCtxFree> ctx;
    std::unique_ptr<SSL, SslFree> ssl;
    int fd = -1;

    // One SSL call repeated while it only waits for the socket. Returns its positive result;
    // throws the reason otherwise (0 from a read: the peer closed, returned as 0).
    template <typename Call> int Run(const char* what, Call call, Deadline deadline) {
        while (true) {
            ERR_clear_error();
            const int result = call();
            if (result > 0)
                return result;
            const int error = SSL_get_error(ssl.get(), result);
            if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
                if (!WaitFor(fd, error, deadline))
                    throw MailError(std::string("TLS ") + what + ": timed out");
                continue;
            }
            if (error == SSL_ERROR_ZERO_RETURN)
                return 0;
            throw MailError(Reason(what, error));
        }
    }

    std::string Reason(const char* what, int error) const {
        const long verify = SSL_get_verify_result(ssl.get());
        if (verify != X509_V_OK) {
            ERR_clear_error();
            return std::string("TLS ") + what +
                   ": certificate verify failed: " + X509_verify_cert_error_string(verify);
        }
        if (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0)
            return std::string("TLS ") + what + ": connection closed by the server";
        if (ERR_GET_REASON(ERR_peek_error()) == SSL_R_WRONG_VERSION_NUMBER) {
            ERR_clear_error();
            return std::string("TLS ") + what + ": the server does not speak TLS on this port";
        }
        return OpenSslReason((std::string("TLS ") + what).c_str());
    }
};

TlsSession::TlsSession(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}

TlsSession::~TlsSession() = default;

std::unique_ptr<TlsSession> TlsSession::Handshake(TcpSocket& socket, const std::string& host,
                                                  Deadline deadline) {
    if (!socket.IsOpen())
        throw MailError("not connected");
    auto handles = std::make_unique<Handles>();
    handles->ctx = MakeContext();
    handles->ssl.reset(SSL_new(handles->ctx.get()));
    BIO* bio = BIO_new(NoSignalSocketMethod());
    if (!handles->ssl || !bio) {
        BIO_free(bio);
        throw MailError(OpenSslReason("TLS: cannot make a session"));
    }
    handles->fd = socket.NativeHandle();
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<std::intptr_t>(handles->fd)));
    SSL_set_bio(handles->ssl.get(), bio, bio); // the session owns the BIO from here
    SSL* ssl = handles->ssl.get();
    if (IsAddressLiteral(host)) {
        // No SNI for addresses (RFC 6066); the certificate must name the address itself.
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str());
    } else if (SSL_set_tlsext_host_name(ssl, host.c_str()) != 1 || SSL_set1_host(ssl, host.c_str()) != 1) {
        throw MailError(OpenSslReason("TLS: bad host name"));
    }
    handles->Run(
        "handshake", [ssl] { return SSL_connect(ssl); }, deadline);
    return std::unique_ptr<TlsSession>(new TlsSession(std::move(handles)));
}

void TlsSession::SendAll(std::string_view data, Deadline deadline) {
    SSL* ssl = handles_->ssl.get();
    while (!data.empty()) {
        const int size = static_cast<int>(std::min<std::size_t>(data.size(), 1 << 20));
        const int sent = handles_->Run(
            "send", [&] { return SSL_write(ssl, data.data(), size); }, deadline);
        if (sent == 0)
            throw MailError("TLS send: connection closed by the server");
        data.remove_prefix(static_cast<std::size_t>(sent));
    }
}

std::size_t TlsSession::Receive(char* buffer, std::size_t size, Deadline deadline) {
    SSL* ssl = handles_->ssl.get();
    const int wanted = static_cast<int>(std::min<std::size_t>(size, 1 << 20));
    return static_cast<std::size_t>(handles_->Run(
        "read", [&] { return SSL_read(ssl, buffer, wanted); }, deadline));
}

void TlsSession::Shutdown() {
    ERR_clear_error();
    SSL_shutdown(handles_->ssl.get());
    ERR_clear_error();
}

} // namespace quorvane::mail
