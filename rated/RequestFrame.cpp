#include "rated/RequestFrame.h"
#include "util/Text.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

namespace quorvane::rated {

namespace {

constexpr std::string_view Crlf = "\r\n";
constexpr std::size_t None = std::string_view::npos;

// The first value of header name among the header lines of head (which starts with the request line).
std::optional<std::string_view> HeaderValue(std::string_view head, std::string_view name) {
    for (std::size_t at = head.find(Crlf); at != None && at + 2 < head.size();) {
        at += 2;
        std::size_t end = head.find(Crlf, at);
        if (end == None)
            end = head.size();
        const std::string_view line = head.substr(at, end - at);
        const std::size_t colon = line.find(':');
        if (colon != None && EqualsIgnoringAsciiCase(line.substr(0, colon), name))
            return TrimBlanks(line.substr(colon + 1), SpaceTab);
        at = end;
    }
    return std::nullopt;
}

// Where a chunked body that starts at `at` ends: 0 while it has not all come, None when it is broken.
// Like the parser, it takes the line after the last chunk as the end (there are no trailers).
std::size_t ChunkedEnd(std::string_view bytes, std::size_t at) {
    for (;;) {
        const std::size_t lineEnd = bytes.find(Crlf, at);
        if (lineEnd == None)
            return 0;
        std::string_view sizeText = bytes.substr(at, lineEnd - at);
        sizeText = TrimBlanks(sizeText.substr(0, sizeText.find(';')), SpaceTab);
        std::uint64_t size = 0;
        const auto [rest, error] =
            std::from_chars(sizeText.data(), sizeText.data() + sizeText.size(), size, 16);
        if (sizeText.empty() || error != std::errc() || rest != sizeText.data() + sizeText.size())
            return None;
        at = lineEnd + 2;
        if (size == 0) {
            const std::size_t end = bytes.find(Crlf, at);
            return end == None ? 0 : end + 2;
        }
        if (size > bytes.size() - at || bytes.size() - at - size < 2)
            return 0;
        at += size;
        if (bytes.substr(at, 2) != Crlf)
            return None;
        at += 2;
    }
}

} // namespace

RequestFrame FrameRequest(std::string_view bytes, const FrameLimits& limits) {
    const std::size_t headEnd = bytes.find("\r\n\r\n");
    if (headEnd == None || headEnd + 4 > limits.maxHead) {
        if (bytes.size() > limits.maxHead)
            return {RequestFrame::State::Refused, bytes.size()};
        return {};
    }
    const std::string_view head = bytes.substr(0, headEnd + 2);
    const std::size_t bodyStart = headEnd + 4;
    const bool expectsContinue = HeaderValue(head, "Expect") == "100-continue";
    const auto outgrown = [&] { return bytes.size() > limits.maxHead + limits.maxBody; };

    if (const auto coding = HeaderValue(head, "Transfer-Encoding")) {
        if (!EqualsIgnoringAsciiCase(*coding, "chunked"))
            return {RequestFrame::State::Refused, bodyStart};
        const std::size_t end = ChunkedEnd(bytes, bodyStart);
        if (end == None || (end == 0 && outgrown()))
            return {RequestFrame::State::Refused, bytes.size()};
        if (end == 0)
            return {RequestFrame::State::Partial, 0, expectsContinue};
        return {RequestFrame::State::Whole, end};
    }
    const auto declared = HeaderValue(head, "Content-Length");
    if (!declared)
        return {RequestFrame::State::Whole, bodyStart};
    // Read the way the parser reads it (strtoull), so that both agree on where the body ends.
    const std::uint64_t length = std::strtoull(std::string(*declared).c_str(), nullptr, 10);
    if (length > limits.maxBody)
        return {RequestFrame::State::Refused, bytes.size()};
    if (bytes.size() - bodyStart < length)
        return {RequestFrame::State::Partial, 0, expectsContinue};
    return {RequestFrame::State::Whole, bodyStart + static_cast<std::size_t>(length)};
}

} // namespace quorvane::rated
