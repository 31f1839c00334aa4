// Character sets of outgoing mail: the locale's choice and the conversion from our UTF-8 strings.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane::mail {

enum class MailLanguage { Japanese, ChineseSimplified, ChineseTraditional, Korean, Other };

// "ja_JP.UTF-8" -> Japanese, "zh_CN" -> ChineseSimplified, "zh_TW" -> ChineseTraditional, ...
MailLanguage LanguageFromLocaleName(std::string_view name);
// The language of LC_ALL, else LC_MESSAGES, else LANG (the first one that is set and not empty).
MailLanguage CurrentMailLanguage();

// Converts UTF-8 text into one target charset. Backends: iconv here; others may follow.
class CharsetConverter {
public:
    virtual ~CharsetConverter() = default;
    // nullopt when some character has no form in the target charset (or the input is not UTF-8).
    virtual std::optional<std::string> Convert(std::string_view utf8) const = 0;
    // Characters without a form become `substitute` (already in the target charset).
    virtual std::string ConvertLossy(std::string_view utf8, std::string_view substitute) const = 0;
};

// Throws MailError when the system has no converter for the charset.
std::unique_ptr<CharsetConverter> MakeCharsetConverter(const std::string& targetCharset);

// Where MakeCharsetConverter gets its converters: iconv unless another backend is installed (empty
// restores iconv). Whatever a backend throws reaches the mail sessions as a MailError.
using CharsetBackend = std::function<std::unique_ptr<CharsetConverter>(const std::string& targetCharset)>;
void InstallCharsetBackend(CharsetBackend backend);

// Header text and body lines turned into the bytes that go into a message.
class MailTextEncoder {
public:
    struct HeaderBytes {
        std::string bytes;
        std::string charset; // name for encoded words
        char letter;         // 'B' or 'Q'
    };

    explicit MailTextEncoder(MailLanguage language);

    MailLanguage Language() const { return language_; }
    // Japanese: ISO-2022-JP bytes. Others: the table's charset, or UTF-8 under its own name when
    // the text has no form in that charset.
    HeaderBytes HeaderText(std::string_view utf8) const;
    // Japanese: ISO-2022-JP (characters outside CP932 become a geta mark). Others: unchanged.
    std::string BodyLine(std::string_view utf8) const;

private:
    MailLanguage language_;
    std::string charset_;
    char letter_;
    std::unique_ptr<CharsetConverter> converter_;
};

} // namespace quorvane::mail
