#include "mail/AddressList.h"
#include "util/Text.h"

#include <stdexcept>
#include <string>

namespace quorvane::mail {

namespace {

// Walks a text keeping track of quoted strings and (nested) comments.
class Scanner {
public:
    // Feeds one character; true when it stands outside quotes and comments and is not part of
    // their syntax.
    bool Plain(std::string_view text, std::size_t& i) {
        const char c = text[i];
        if (c == '\\' && (quoted_ || depth_ > 0)) {
            ++i;
            return false;
        }
        if (depth_ == 0 && c == '"') {
            quoted_ = !quoted_;
            return false;
        }
        if (quoted_)
            return false;
        if (c == '(') {
            ++depth_;
            return false;
        }
        if (c == ')' && depth_ > 0) {
            --depth_;
            return false;
        }
        return depth_ == 0;
    }

private:
    bool quoted_ = false;
    int depth_ = 0;
};

// The text with comments removed and quoted strings unquoted (backslash quotes the next character).
std::string Unquote(std::string_view text, bool keepQuotes) {
    std::string out;
    bool quoted = false;
    int depth = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && (quoted || depth > 0)) {
            if (quoted && i + 1 < text.size())
                out += text[i + 1];
            ++i;
        } else if (depth == 0 && c == '"') {
            quoted = !quoted;
            if (keepQuotes)
                out += c;
        } else if (quoted) {
            out += c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && depth > 0) {
            --depth;
        } else if (depth == 0) {
            out += c;
        }
    }
    return out;
}

[[noreturn]] void OutsideAddress() {
    throw std::runtime_error("@ Outside address");
}

} // namespace

MailAddress ParseMailbox(std::string_view text) {
    text = TrimBlanks(text, SpaceTab);
    Scanner scanner;
    std::size_t open = std::string_view::npos;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (scanner.Plain(text, i) && text[i] == '<') {
            open = i;
            break;
        }
    }
    MailAddress mailbox;
    if (open == std::string_view::npos) {
        mailbox.Address = std::string(TrimBlanks(Unquote(text, true), SpaceTab));
        return mailbox;
    }
    const std::size_t close = text.find('>', open + 1);
    mailbox.Name = std::string(TrimBlanks(Unquote(text.substr(0, open), false), SpaceTab));
    mailbox.Address = std::string(TrimBlanks(text.substr(open + 1, close - open - 1), SpaceTab));
    if (close != std::string_view::npos &&
        Unquote(text.substr(close + 1), false).find('@') != std::string::npos)
        OutsideAddress();
    return mailbox;
}

std::vector<MailAddress> ParseAddressList(std::string_view text) {
    std::vector<MailAddress> list;
    const auto addEntry = [&](std::string_view entry) {
        entry = TrimBlanks(entry, SpaceTab);
        if (entry.empty() || entry == "<>")
            return;
        MailAddress mailbox = ParseMailbox(entry);
        if (!mailbox.Address.empty() || !mailbox.Name.empty())
            list.push_back(std::move(mailbox));
    };
    Scanner scanner;
    bool inAngle = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!scanner.Plain(text, i))
            continue;
        const char c = text[i];
        if (c == '<')
            inAngle = true;
        else if (c == '>')
            inAngle = false;
        else if (c == ':' && !inAngle)
            start = i + 1; // the group name before it is dropped
        else if (c == ',' || c == ';') {
            addEntry(text.substr(start, i - start));
            start = i + 1;
            inAngle = false;
        }
    }
    if (start < text.size())
        addEntry(text.substr(start));
    return list;
}

} // namespace quorvane::mail
