#include "util/PrintableText.h"

#include <cstdio>

namespace quorvane {

namespace {

void AppendHex(std::string& out, const char* format, unsigned value) {
    char text[12];
    std::snprintf(text, sizeof text, format, value);
    out += text;
}

} // namespace

std::size_t Utf8SequenceLength(std::string_view bytes) {
    if (bytes.empty())
        return 0;
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = at(0);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte (RFC 3629, 4)
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (bytes.size() < length || at(1) < low || at(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if ((at(i) & 0xC0) != 0x80)
            return 0;
    return length;
}

std::string PrintableUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = Utf8SequenceLength(bytes.substr(i));
        const unsigned char ch = static_cast<unsigned char>(bytes[i]);
        if (length == 0) {
            AppendHex(out, "\\x%02X", ch);
            i += 1;
            continue;
        }
        if (length == 1) {
            if (ch == '\n')
                out += "\\n";
            else if (ch == '\r')
                out += "\\r";
            else if (ch == '\t')
                out += "\\t";
            else if (ch < 0x20 || ch == 0x7F)
                AppendHex(out, "\\x%02X", ch);
            else
                out += static_cast<char>(ch);
        } else {
            const std::string_view sequence = bytes.substr(i, length);
            const unsigned second = static_cast<unsigned char>(sequence[1]);
            const unsigned third = length > 2 ? static_cast<unsigned char>(sequence[2]) : 0;
            if (ch == 0xC2 && second < 0xA0) // U+0080 to U+009F
                AppendHex(out, "\\u%04X", second);
            else if (ch == 0xE2 && second == 0x80 && (third == 0xA8 || third == 0xA9))
                AppendHex(out, "\\u%04X", 0x2000u + (third - 0x80u));
            else
                out += sequence;
        }
        i += length;
    }
    return out;
}

} // namespace quorvane
