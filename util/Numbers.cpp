#include "util/Numbers.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <langinfo.h>
#include <locale.h>

#include "util/Text.h"

namespace quorvane {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = LowerAscii(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Frees a newlocale() handle.
struct LocaleHandle {
    locale_t handle;
    explicit LocaleHandle(locale_t h) : handle(h) {}
    ~LocaleHandle() {
        if (handle != locale_t(0))
            freelocale(handle);
    }
    LocaleHandle(const LocaleHandle&) = delete;
    LocaleHandle& operator=(const LocaleHandle&) = delete;
};

} // namespace

NumericSeparators UserSeparators() {
    const LocaleHandle user(newlocale(LC_NUMERIC_MASK, "", locale_t(0)));
    if (user.handle == locale_t(0))
        return {".", ""};
    const char* decimal = nl_langinfo_l(RADIXCHAR, user.handle);
    const char* thousands = nl_langinfo_l(THOUSEP, user.handle);
    return {decimal && *decimal ? decimal : ".", thousands ? thousands : ""};
}

std::optional<std::int32_t> ParseInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    bool hex = false;
    if (!text.empty() && text.front() == '$') {
        hex = true;
        text.remove_prefix(1);
    } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        hex = true;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    std::uint64_t magnitude = 0;
    for (char c : text) {
        const int digit = hex ? HexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (digit < 0)
            return std::nullopt;
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
        if (magnitude > 0xFFFFFFFFull)
            return std::nullopt;
    }
    if (hex) {
        auto bits = static_cast<std::uint32_t>(magnitude);
        if (negative)
            bits = 0u - bits;
        return static_cast<std::int32_t>(bits);
    }
    const std::int64_t value =
        negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::optional<double> ParseReal(std::string_view text) {
    std::string s(text);
    const std::string localPoint = UserSeparators().decimal;
    if (!localPoint.empty() && localPoint != "." && s.find('.') == std::string::npos) {
        const std::size_t at = s.find(localPoint);
        if (at != std::string::npos)
            s = s.substr(0, at).append(".").append(s, at + localPoint.size());
    }
    std::string_view digits = s;
    if (digits.size() > 1 && digits.front() == '+' && digits[1] != '-')
        digits.remove_prefix(1);
    if (digits.empty())
        return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string FormatReal(double value) {
    if (!std::isfinite(value) || value == 0)
        return "0";
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    std::string_view sci(buffer, static_cast<std::size_t>(result.ptr - buffer)); // "-d.dddddddddddddde+XX"
    const bool negative = sci.front() == '-';
    if (negative)
        sci.remove_prefix(1);
    const std::size_t e = sci.find('e');
    std::string digits;
    digits += sci[0];
    digits += sci.substr(2, e - 2);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    const int exponent = std::atoi(std::string(sci.substr(e + 1)).c_str());

    std::string out = negative ? "-" : "";
    if (exponent >= -4 && exponent < 15) {
        if (exponent < 0) {
            out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
        } else {
            const auto whole = static_cast<std::size_t>(exponent) + 1;
            if (digits.size() <= whole)
                out += digits + std::string(whole - digits.size(), '0');
            else
                out.append(digits, 0, whole).append(".").append(digits, whole);
        }
    } else {
        out += digits.front();
        if (digits.size() > 1)
            out.append(".").append(digits, 1);
        out.append("E").append(std::to_string(exponent));
    }
    return out;
}

std::string FieldText(double value) {
    std::string text = FormatReal(value);
    const std::size_t point = text.find('.');
    if (point != std::string::npos)
        text.replace(point, 1, UserSeparators().decimal);
    return text;
}

std::optional<double> ParseFieldText(std::string_view text) {
    text = TrimBlanks(text, SpaceTab);
    if (text.empty())
        return std::nullopt;
    if (UserSeparators().decimal != "." && text.find('.') != std::string_view::npos)
        return std::nullopt;
    return ParseReal(text);
}

} // namespace quorvane
