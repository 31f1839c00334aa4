#include "mail/Charset.h"

#include "mail/Iso2022Jp.h"
#include "mail/MailError.h"
#include "util/Iconv.h"

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace quorvane::mail {

namespace {

class IconvConverter final : public CharsetConverter {
public:
    explicit IconvConverter(const std::string& target) : iconv_(target, "UTF-8") {}

    std::optional<std::string> Convert(std::string_view utf8) const override { return iconv_.Convert(utf8); }

    std::string ConvertLossy(std::string_view utf8, std::string_view substitute) const override {
        return iconv_.ConvertLossy(utf8, substitute, Iconv::Utf8Sequence);
    }

private:
    Iconv iconv_;
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

CharsetBackend g_backend;

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

void InstallCharsetBackend(CharsetBackend backend) { g_backend = std::move(backend); }

std::unique_ptr<CharsetConverter> MakeCharsetConverter(const std::string& targetCharset) {
    try {
        if (g_backend)
            return g_backend(targetCharset);
        return std::make_unique<IconvConverter>(targetCharset);
    } catch (const MailError&) {
        throw;
    } catch (const std::exception& e) {
        throw MailError(e.what());
    }
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
