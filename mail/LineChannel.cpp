#include "mail/LineChannel.h"
#include "util/Text.h"

#include "mail/MailError.h"

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

void LineChannel::Open(const std::string& host, int port) {
    if (socket_.IsOpen())
        throw MailError("already connected");
    buffer_.clear();
    socket_ = TcpSocket::Connect(host, port, timeout_);
}

void LineChannel::Close() {
    socket_.Close();
    buffer_.clear();
}

namespace {

void AppendLine(std::string& wire, std::string_view line) {
    if (line.find_first_of("\r\n") != std::string_view::npos)
        throw MailError("refusing to send a line break inside a line");
    wire += line;
    wire += "\r\n";
}

} // namespace

void LineChannel::WriteLine(std::string_view line) {
    std::string wire;
    AppendLine(wire, line);
    socket_.SendAll(wire, timeout_);
}

void LineChannel::WriteLines(const std::vector<std::string>& lines) {
    std::string wire;
    for (const std::string& line : lines)
        AppendLine(wire, line);
    socket_.SendAll(wire, timeout_);
}

std::string LineChannel::ReadLine() {
    // One bound for the whole line, so that a server trickling bytes cannot stretch it.
    const auto deadline = std::chrono::steady_clock::now() + timeout_;
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
        char chunk[4096];
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const std::size_t got =
            socket_.Receive(chunk, sizeof chunk, std::max(left, std::chrono::milliseconds(0)));
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
