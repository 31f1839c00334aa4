#include "settings/TextEncoding.h"

#include "util/Iconv.h"

namespace quorvane {

bool IsValidUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char c = *p;
        int extra = 0;
        char32_t cp = 0;
        if (c < 0x80) {
            ++p;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= extra)
            return false;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        const char32_t lowest[] = {0, 0x80, 0x800, 0x10000};
        if (cp < lowest[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        p += extra + 1;
    }
    return true;
}

std::string Cp932ToUtf8(std::string_view text) {
    static constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD
    return Iconv("UTF-8", "CP932").ConvertLossy(text, kReplacement, Iconv::OneByte);
}

} // namespace quorvane
