// The plain-text message SendMail delivers, and the writer of its wire form (RFC 5322, RFC 2047).
#pragma once

#include "mail/Charset.h"

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::mail {

struct MailAddress {
    std::string Address;
    std::string Name; // display name, may be empty
};

struct MailMessage {
    std::string Subject;
    MailAddress From;
    std::vector<MailAddress> Recipients;
    std::vector<std::string> Body; // lines without line ends
    std::string ContentType = "text/plain";
    std::optional<std::time_t> Date; // none: the time of writing
};

// "Wed, 9 Dec 2026 14:38:37 +0900": local time with its offset from UTC.
std::string FormatMailDate(std::time_t when);

// A complete header line ("Name: value", where the value may hold CR LF TAB between encoded words)
// broken into physical lines of at most 78 columns where blanks, tabs or commas allow.
std::vector<std::string> FoldHeaderLine(std::string_view line);

class MessageWriter {
public:
    explicit MessageWriter(MailLanguage language);

    // Header text (subject, display name) with runs of words that need it as encoded words.
    std::string EncodeHeaderText(std::string_view utf8, bool forDisplayName) const;
    std::string RenderAddress(const MailAddress& address) const;

    // The header lines (folded), one empty line and the dot-stuffed body lines, each without its
    // CR LF. Throws MailError when an address holds a line break.
    std::vector<std::string> WireLines(const MailMessage& message) const;

private:
    MailTextEncoder encoder_;
};

} // namespace quorvane::mail
