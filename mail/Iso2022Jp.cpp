#include "mail/Iso2022Jp.h"

#include <array>
#include <cstdint>

namespace quorvane::mail {

namespace {

constexpr std::string_view kToJis = "\x1b$B";
constexpr std::string_view kToAscii = "\x1b(B";

// JIS X 0208 codes of the half-width katakana 0xA1 to 0xDF, in byte order.
constexpr std::array<std::uint16_t, 63> kHalfWidthKana = {
    0x2123, 0x2156, 0x2157, 0x2122, 0x2126, 0x2572, 0x2521, 0x2523, 0x2525, 0x2527, 0x2529, 0x2563, 0x2565,
    0x2567, 0x2543, 0x213C, 0x2522, 0x2524, 0x2526, 0x2528, 0x252A, 0x252B, 0x252D, 0x252F, 0x2531, 0x2533,
    0x2535, 0x2537, 0x2539, 0x253B, 0x253D, 0x253F, 0x2541, 0x2544, 0x2546, 0x2548, 0x254A, 0x254B, 0x254C,
    0x254D, 0x254E, 0x254F, 0x2552, 0x2555, 0x2558, 0x255B, 0x255E, 0x255F, 0x2560, 0x2561, 0x2562, 0x2564,
    0x2566, 0x2568, 0x2569, 0x256A, 0x256B, 0x256C, 0x256D, 0x256F, 0x2573, 0x212B, 0x212C,
};

constexpr unsigned char kVoicedMark = 0xDE;
constexpr unsigned char kSemiVoicedMark = 0xDF;
constexpr std::uint16_t kFullWidthU = 0x2526;  // ウ
constexpr std::uint16_t kFullWidthVu = 0x2574; // ヴ

bool IsLead(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF);
}
bool IsTrail(unsigned char b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}
bool IsHalfWidthKana(unsigned char b) {
    return b >= 0xA1 && b <= 0xDF;
}

// カ..ト (except the small ッ) and ハ..ホ take the voiced mark; their voiced form is the next code.
bool HasVoicedForm(unsigned char kana) {
    return (kana >= 0xB6 && kana <= 0xC4) || (kana >= 0xCA && kana <= 0xCE) || kana == 0xB3;
}
bool HasSemiVoicedForm(unsigned char kana) {
    return kana >= 0xCA && kana <= 0xCE;
}

std::uint16_t SjisToJis(unsigned char lead, unsigned char trail) {
    int row = (lead - (lead >= 0xE0 ? 0xB1 : 0x71)) * 2 + 1;
    int t = trail > 0x7F ? trail - 1 : trail;
    int column;
    if (t >= 0x9E) {
        ++row;
        column = t - 0x7D;
    } else {
        column = t - 0x1F;
    }
    return static_cast<std::uint16_t>((row << 8) | column);
}

class Writer {
public:
    explicit Writer(std::size_t sizeHint) { out_.reserve(sizeHint + sizeHint / 2 + 8); }

    void Ascii(char c) {
        if (twoByte_) {
            out_ += kToAscii;
            twoByte_ = false;
        }
        out_ += c;
    }
    void Jis(std::uint16_t code) {
        if (!twoByte_) {
            out_ += kToJis;
            twoByte_ = true;
        }
        out_ += static_cast<char>(code >> 8);
        out_ += static_cast<char>(code & 0xFF);
    }
    std::string Finish() {
        if (twoByte_)
            out_ += kToAscii;
        return std::move(out_);
    }

private:
    std::string out_;
    bool twoByte_ = false;
};

} // namespace

std::string ShiftJisToIso2022Jp(std::string_view sjis) {
    Writer out(sjis.size());
    const std::size_t n = sjis.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(sjis[i]);
        if (b == 0x1B || b == 0x0E || b == 0x0F) {
            // ESC, SO and SI of the text itself would switch the reader's character set.
            continue;
        } else if (b < 0x80) {
            out.Ascii(static_cast<char>(b));
        } else if (IsHalfWidthKana(b)) {
            std::uint16_t code = kHalfWidthKana[b - 0xA1];
            const auto next = i + 1 < n ? static_cast<unsigned char>(sjis[i + 1]) : 0;
            if (next == kVoicedMark && HasVoicedForm(b)) {
                code = code == kFullWidthU ? kFullWidthVu : code + 1;
                ++i;
            } else if (next == kSemiVoicedMark && HasSemiVoicedForm(b)) {
                code += 2;
                ++i;
            }
            out.Jis(code);
        } else if (IsLead(b) || (b >= 0xF0 && b <= 0xFC)) {
            if (i + 1 >= n)
                break; // a lead byte at the very end
            const auto trail = static_cast<unsigned char>(sjis[++i]);
            if (IsLead(b) && IsTrail(trail))
                out.Jis(SjisToJis(b, trail));
        }
        // 0x80, 0xA0 and 0xFD to 0xFF are dropped.
    }
    return out.Finish();
}

} // namespace quorvane::mail
