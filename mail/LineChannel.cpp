#include "mail/LineChannel.h"
#include "util/Text.h"

#include "mail/MailError.h"
#include "mail/TlsSession.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace quorvane::mail {

namespace {

constexpr std::size_t kMaxReplyLines = 4096;

std::string TextCodeOf(const std::string& first) {
    std::string code(TrimControls(std::string_view(first).substr(0, 4)));
    if (code.size() == 4 && code[3] == '-')
        code.pop_back();
    return code;
}

int NumberOf(const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : 0;
}

} // namespace

LineChannel::LineChannel(std::chrono::milliseconds timeout) : timeout_(timeout) {}

LineChannel::~LineChannel() = default;

namespace {

std::chrono::milliseconds Left(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return std::max(left, std::chrono::milliseconds(0));
}

// Adds the time spent in one wait to the connection's total.
class Waiting {
public:
    explicit Waiting(std::chrono::steady_clock::duration& total)
        : total_(total), start_(std::chrono::steady_clock::now()) {}
    ~Waiting() { total_ += std::chrono::steady_clock::now() - start_; }
    Waiting(const Waiting&) = delete;
    Waiting& operator=(const Waiting&) = delete;

private:
    std::chrono::steady_clock::duration& total_;
    std::chrono::steady_clock::time_point start_;
};

void AppendLine(std::string& wire, std::string_view line) {
    if (line.find_first_of("\r\n") != std::string_view::npos)
        throw MailError("refusing to send a line break inside a line");
    wire += line;
    wire += "\r\n";
}

} // namespace

LineChannel::Clock::time_point LineChannel::Bound(Clock::time_point deadline) const {
    // With the budget spent, what needs no waiting (a QUIT into an empty send buffer) still goes.
    const Clock::duration budget = std::max(kSessionTimeouts * timeout_ - waited_, Clock::duration::zero());
    return std::min(deadline, Clock::now() + budget);
}

void LineChannel::Open(const std::string& host, int port) {
    if (socket_.IsOpen())
        throw MailError("already connected");
    buffer_.clear();
    tls_.reset();
    tlsRequested_ = false;
    waited_ = {};
    host_ = host;
    Waiting waiting(waited_);
    socket_ = TcpSocket::Connect(host, port, timeout_);
}

void LineChannel::StartTls() {
    if (!socket_.IsOpen())
        throw MailError("not connected");
    tlsRequested_ = true;
    if (!buffer_.empty())
        throw MailError("the server sent data before the TLS handshake");
    const auto deadline = Bound(Clock::now() + timeout_);
    Waiting waiting(waited_);
    tls_ = TlsSession::Handshake(socket_, host_, deadline);
}

void LineChannel::Close() {
    if (tls_)
        tls_->Shutdown();
    tls_.reset();
    socket_.Close();
    buffer_.clear();
}

void LineChannel::Send(std::string_view wire) {
    if (tlsRequested_ && !tls_)
        throw MailError("refusing to send in clear on a connection that asked for TLS");
    const auto deadline = Bound(Clock::now() + timeout_);
    Waiting waiting(waited_);
    if (tls_)
        tls_->SendAll(wire, deadline);
    else
        socket_.SendAll(wire, Left(deadline));
}

void LineChannel::WriteLine(std::string_view line) {
    std::string wire;
    AppendLine(wire, line);
    Send(wire);
}

void LineChannel::WriteLines(const std::vector<std::string>& lines) {
    std::string wire;
    for (const std::string& line : lines)
        AppendLine(wire, line);
    Send(wire);
}

std::string LineChannel::ReadLine() {
    return ReadLineBefore(Clock::now() + timeout_);
}

Reply LineChannel::ReadReply() {
    // One bound for the whole reply, so that a server trickling lines cannot stretch it.
    const auto deadline = Clock::now() + timeout_;
    return mail::ReadReply([this, deadline] { return ReadLineBefore(deadline); });
}

std::string LineChannel::ReadLineBefore(Clock::time_point deadline) {
    std::size_t searched = 0;
    while (true) {
        const std::size_t lf = buffer_.find('\n', searched);
        if (lf != std::string::npos) {
            std::size_t end = lf;
            if (end > 0 && buffer_[end - 1] == '\r')
                --end;
            if (end > kMaxReplyLine)
                throw MailError("reply line longer than 16384 characters");
            std::string line = buffer_.substr(0, end);
            buffer_.erase(0, lf + 1);
            return line;
        }
        // One more byte than the limit may be the CR of a line that just fits.
        if (buffer_.size() > kMaxReplyLine + 1)
            throw MailError("reply line longer than 16384 characters");
        searched = buffer_.size();
        if (tlsRequested_ && !tls_)
            throw MailError("the TLS handshake did not succeed");
        char chunk[4096];
        const auto bounded = Bound(deadline);
        std::size_t got = 0;
        {
            Waiting waiting(waited_);
            got = tls_ ? tls_->Receive(chunk, sizeof chunk, bounded)
                       : socket_.Receive(chunk, sizeof chunk, Left(bounded));
        }
        if (got == 0)
            throw MailError("connection closed by the server");
        buffer_.append(chunk, got);
    }
}

std::string Reply::Text() const {
    std::string text;
    for (const std::string& line : Lines) {
        if (!text.empty())
            text += '\n';
        text += line;
    }
    return text;
}

Reply ReadReply(const std::function<std::string()>& nextLine) {
    std::size_t linesRead = 0;
    const auto next = [&] {
        while (true) {
            if (++linesRead > kMaxReplyLines)
                throw MailError("reply too long");
            std::string line(TrimControls(nextLine()));
            if (!line.empty())
                return line;
        }
    };
    Reply reply;
    const std::string first = next();
    reply.TextCode = TextCodeOf(first);
    reply.Code = NumberOf(reply.TextCode);
    reply.Lines.push_back(first.size() > 4 ? first.substr(4) : std::string());
    if (first.size() > 3 && first[3] == '-') {
        const std::string last = first.substr(0, 3) + ' ';
        while (true) {
            const std::string line = next();
            reply.Lines.push_back(line.size() > 4 ? line.substr(4) : std::string());
            if (line.size() < 4 || EqualsIgnoringAsciiCase(std::string_view(line).substr(0, 4), last))
                break;
        }
    }
    return reply;
}

} // namespace quorvane::mail
