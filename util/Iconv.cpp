#include "util/Iconv.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace quorvane {

void Iconv::Closer::operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }

Iconv::Iconv(const std::string& to, const std::string& from) {
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error("no character converter from " + from + " to " + to);
    handle_.reset(cd);
}

std::optional<std::string> Iconv::Convert(std::string_view text) const {
    std::string out;
    if (!Run(text, out, {}, nullptr))
        return std::nullopt;
    return out;
}

std::string Iconv::ConvertLossy(std::string_view text, std::string_view substitute, SkipRule skip) const {
    std::string out;
    Run(text, out, substitute, skip);
    return out;
}

std::size_t Iconv::OneByte(std::string_view) { return 1; }

std::size_t Iconv::Utf8Sequence(std::string_view rest) {
    const auto lead = static_cast<unsigned char>(rest.empty() ? 0 : rest.front());
    return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

// Without a skip rule, stops at the first sequence that cannot be converted.
bool Iconv::Run(std::string_view text, std::string& out, std::string_view substitute, SkipRule skip) const {
    auto cd = static_cast<iconv_t>(handle_.get());
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    out.reserve(out.size() + text.size() * 3 / 2 + 16);
    char* src = const_cast<char*>(text.data());
    std::size_t srcLeft = text.size();
    char buffer[1024];
    while (true) {
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        // With the input used up, one more call writes the shift sequence that ends a stateful target.
        const std::size_t r = srcLeft > 0 ? iconv(cd, &src, &srcLeft, &dst, &dstLeft)
                                          : iconv(cd, nullptr, nullptr, &dst, &dstLeft);
        const int error = errno;
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (r != static_cast<std::size_t>(-1)) {
            if (srcLeft == 0 && dst == buffer)
                return true;
            continue;
        }
        if (error == E2BIG)
            continue;
        if (!skip)
            return false;
        // EILSEQ, or EINVAL for a sequence cut off at the end: replace it and go on.
        out += substitute;
        const std::size_t n = std::clamp<std::size_t>(skip({src, srcLeft}), 1, srcLeft);
        src += n;
        srcLeft -= n;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
}

} // namespace quorvane
