// Helpers shared by the mail tests: an independent iconv call, base64 decoding, recorded boxes.
#pragma once

#include "util/Util.h"

#include <iconv.h>

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::testing {

// The whole text through iconv, nullopt when iconv refuses any of it.
inline std::optional<std::string> Iconv(std::string_view text, const char* from, const char* to) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out(text.size() * 4 + 16, '\0');
    char* src = const_cast<char*>(text.data());
    std::size_t srcLeft = text.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    const bool ok = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1) &&
                    iconv(cd, nullptr, nullptr, &dst, &dstLeft) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    if (!ok)
        return std::nullopt;
    out.resize(out.size() - dstLeft);
    return out;
}

inline std::string Base64Decode(std::string_view text) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned value = 0;
    int bits = 0;
    for (char c : text) {
        const std::size_t index = alphabet.find(c);
        if (index == std::string::npos)
            continue; // padding
        value = value << 6 | static_cast<unsigned>(index);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((value >> bits) & 0xFF);
        }
    }
    return out;
}

struct RecordedBox {
    bool error;
    std::string text;
    bool operator==(const RecordedBox&) const = default;
};

inline void PrintTo(const RecordedBox& box, std::ostream* os) {
    *os << (box.error ? "Error(" : "Info(") << box.text << ")";
}

class RecordingBoxes : public MessageBoxes {
public:
    RecordingBoxes() { InstallMessageBoxes(this); }
    ~RecordingBoxes() override { InstallMessageBoxes(nullptr); }
    void Error(const std::string& text) override { boxes.push_back({true, text}); }
    void Info(const std::string& text) override { boxes.push_back({false, text}); }
    std::vector<RecordedBox> boxes;
};

inline RecordedBox InfoBox(std::string text) {
    return {false, std::move(text)};
}
inline RecordedBox ErrorBox(std::string text) {
    return {true, std::move(text)};
}

} // namespace quorvane::testing
