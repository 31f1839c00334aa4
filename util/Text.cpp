#include "util/Text.h"

#include <algorithm>
#include <charconv>

namespace quorvane {

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && StartsWithIgnoringAsciiCase(a, b);
}

bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

std::string_view TrimBlanks(std::string_view text, std::string_view blanks) {
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string_view TrimControls(std::string_view text) {
    const auto isEdge = [](char c) { return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F; };
    while (!text.empty() && isEdge(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isEdge(text.back()))
        text.remove_suffix(1);
    return text;
}

bool IsHttpAddress(std::string_view address) {
    return StartsWithIgnoringAsciiCase(address, "http://") || StartsWithIgnoringAsciiCase(address, "https://");
}

std::string ShortestNumberText(double value) {
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, ec == std::errc() ? end : buffer);
}

} // namespace quorvane
