#include "mail/Charset.h"

#include "mail/Iso2022Jp.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace quorvane::mail {

namespace {

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

class IconvConverter final : public CharsetConverter {
public:
    explicit IconvConverter(const std::string& target) {
        iconv_t cd = iconv_open(target.c_str(), "UTF-8");
        if (cd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("no converter from UTF-8 to " + target);
        handle_.reset(cd);
    }

    std::optional<std::string> Convert(std::string_view utf8) const override {
        std::string out;
        if (!Run(utf8, out, nullptr))
            return std::nullopt;
        return out;
    }

    std::string ConvertLossy(std::string_view utf8, std::string_view substitute) const override {
        std::string out;
        Run(utf8, out, &substitute);
        return out;
    }

private:
    static std::size_t SequenceLength(unsigned char lead) {
        if (lead >= 0xF0)
            return 4;
        if (lead >= 0xE0)
            return 3;
        if (lead >= 0xC0)
            return 2;
        return 1;
    }

    // Without a substitute, stops at the first character that cannot be converted.
    bool Run(std::string_view in, std::string& out, const std::string_view* substitute) const {
        auto cd = static_cast<iconv_t>(handle_.get());
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        char buffer[1024];
        while (true) {
            char* dst = buffer;
            std::size_t dstLeft = sizeof buffer;
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
            if (!substitute)
                return false;
            // EILSEQ or EINVAL: replace one character and go on.
            out += *substitute;
            const std::size_t skip = std::min(srcLeft, SequenceLength(static_cast<unsigned char>(*src)));
            src += skip;
            srcLeft -= skip;
        }
    }

    IconvHandle handle_;
};

// Characters that UTF-8 text from other sources often carries in forms CP932 lacks.
std::string ToCp932Forms(std::string_view utf8) {
    static constexpr std::pair<std::string_view, std::string_view> kForms[] = {
        {"\u301C", "\uFF5E"}, // wave dash
        {"\u2016", "\u2225"}, // double vertical line
        {"\u2212", "\uFF0D"}, // minus sign
        {"\u00A2", "\uFFE0"}, // cent
        {"\u00A3", "\uFFE1"}, // pound
        {"\u00AC", "\uFFE2"}, // not
    };
    std::string out(utf8);
    for (const auto& [from, to] : kForms) {
        for (std::size_t at = out.find(from); at != std::string::npos; at = out.find(from, at)) {
            out.replace(at, from.size(), to);
            at += to.size();
        }
    }
    return out;
}

constexpr std::string_view kGetaMark = "\x81\xAC"; // 〓 in CP932

} // namespace

MailLanguage LanguageFromLocaleName(std::string_view name) {
    const auto starts = [&](std::string_view prefix) { return name.substr(0, prefix.size()) == prefix; };
    if (starts("ja"))
        return MailLanguage::Japanese;
    if (starts("ko"))
        return MailLanguage::Korean;
    if (starts("zh")) {
        if (starts("zh_CN") || starts("zh_SG") || starts("zh_Hans"))
            return MailLanguage::ChineseSimplified;
        return MailLanguage::ChineseTraditional;
    }
    return MailLanguage::Other;
}

MailLanguage CurrentMailLanguage() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value)
            return LanguageFromLocaleName(value);
    }
    return MailLanguage::Other;
}

std::unique_ptr<CharsetConverter> MakeCharsetConverter(const std::string& targetCharset) {
    return std::make_unique<IconvConverter>(targetCharset);
}

MailTextEncoder::MailTextEncoder(MailLanguage language) : language_(language), letter_('B') {
    std::string iconvName;
    switch (language) {
    case MailLanguage::Japanese:
        charset_ = "ISO-2022-JP";
        iconvName = "CP932";
        break;
    case MailLanguage::ChineseSimplified:
        charset_ = iconvName = "GB2312";
        break;
    case MailLanguage::ChineseTraditional:
        charset_ = iconvName = "Big5";
        break;
    case MailLanguage::Korean:
        charset_ = iconvName = "EUC-KR";
        break;
    case MailLanguage::Other:
        charset_ = iconvName = "ISO-8859-1";
        letter_ = 'Q';
        break;
    }
    converter_ = MakeCharsetConverter(iconvName);
}

MailTextEncoder::HeaderBytes MailTextEncoder::HeaderText(std::string_view utf8) const {
    if (language_ == MailLanguage::Japanese) {
        if (auto sjis = converter_->Convert(ToCp932Forms(utf8)))
            return {ShiftJisToIso2022Jp(*sjis), charset_, letter_};
    } else if (auto converted = converter_->Convert(utf8)) {
        return {std::move(*converted), charset_, letter_};
    }
    return {std::string(utf8), "UTF-8", letter_};
}

std::string MailTextEncoder::BodyLine(std::string_view utf8) const {
    if (language_ != MailLanguage::Japanese)
        return std::string(utf8);
    return ShiftJisToIso2022Jp(converter_->ConvertLossy(ToCp932Forms(utf8), kGetaMark));
}

} // namespace quorvane::mail
