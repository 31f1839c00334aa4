#include "util/HostPort.h"

#include <charconv>

namespace quorvane {

namespace {

std::optional<int> PortNumber(std::string_view text) {
    int value = -1;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < 0 || value > 65535)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<HostPort> ParseHostPort(std::string_view text) {
    HostPort result;
    std::optional<std::string_view> portText;
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        result.host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':')
                return std::nullopt;
            portText = rest.substr(1);
        }
    } else if (const std::size_t colon = text.rfind(':');
               colon != std::string_view::npos && text.find(':') == colon) {
        result.host = text.substr(0, colon);
        portText = text.substr(colon + 1);
    } else {
        result.host = text;
    }
    if (portText) {
        result.port = PortNumber(*portText);
        if (!result.port)
            return std::nullopt;
    }
    if (result.host.empty())
        return std::nullopt;
    return result;
}

} // namespace quorvane
