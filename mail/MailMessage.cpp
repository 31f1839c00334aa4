#include "mail/MailMessage.h"

#include "mail/Base64.h"
#include "mail/MailError.h"

#include <cstdio>

namespace quorvane::mail {

namespace {

constexpr std::size_t kFoldColumn = 78;
constexpr std::size_t kMaxEncodedWord = 75;
constexpr std::size_t kBytesPerBWord = 42; // 14 groups of four base64 characters: 75 with ISO-2022-JP
constexpr std::string_view kWordBreak = "\r\n\t";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsPhraseDelimiter(char c) {
    return std::string_view("\"(),.:;<>@[\\]").find(c) != std::string_view::npos;
}

bool NeedsEncoding(unsigned char c, bool forDisplayName) {
    return c < 0x20 || c >= 0x7F || (forDisplayName && IsPhraseDelimiter(static_cast<char>(c)));
}

bool WordNeedsEncoding(std::string_view word, bool forDisplayName) {
    for (char c : word) {
        if (NeedsEncoding(static_cast<unsigned char>(c), forDisplayName))
            return true;
    }
    return false;
}

// Letters, digits and these stay themselves in a Q word; anything else is =XX, so a Q word never
// holds a blank, comma or quote where folding or a phrase reader could trip over it.
bool IsQSafe(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("!*+-/").find(static_cast<char>(c)) != std::string_view::npos;
}

// One character of a run, so that encoded words are cut between characters only (RFC 2047
// section 5). In ISO-2022-JP a character also carries the escape that selects its mode.
struct Character {
    std::string_view bytes;
    std::string_view mode; // the escape sequence of its mode; empty for ASCII and other charsets
};

constexpr std::string_view kEscapeAscii = "\x1b(B";

std::vector<Character> Iso2022JpCharacters(std::string_view bytes) {
    std::vector<Character> out;
    std::string_view mode;
    for (std::size_t at = 0; at < bytes.size();) {
        if (bytes[at] == '\x1b' && at + 3 <= bytes.size()) {
            const std::string_view escape = bytes.substr(at, 3);
            if (escape == "\x1b$B" || escape == "\x1b$@" || escape == kEscapeAscii || escape == "\x1b(J") {
                mode = escape[1] == '$' ? escape : std::string_view();
                at += 3;
                continue;
            }
        }
        const std::size_t length = mode.empty() ? 1 : std::min<std::size_t>(2, bytes.size() - at);
        out.push_back({bytes.substr(at, length), mode});
        at += length;
    }
    return out;
}

std::size_t CharacterLength(std::string_view bytes, std::size_t at, const std::string& charset) {
    const auto lead = static_cast<unsigned char>(bytes[at]);
    if (lead < 0x80 || charset == "ISO-8859-1")
        return 1;
    std::size_t length = 2; // GB2312, Big5 and EUC-KR: two bytes from a lead byte above 0x7F
    if (charset == "UTF-8") {
        length = 1;
        while (length < 4 && at + length < bytes.size() &&
               (static_cast<unsigned char>(bytes[at + length]) & 0xC0) == 0x80)
            ++length;
    }
    return std::min(length, bytes.size() - at);
}

std::vector<Character> Characters(std::string_view bytes, const std::string& charset) {
    if (charset == "ISO-2022-JP")
        return Iso2022JpCharacters(bytes);
    std::vector<Character> out;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = CharacterLength(bytes, at, charset);
        out.push_back({bytes.substr(at, length), {}});
        at += length;
    }
    return out;
}

// Words of at most 42 bytes each; in ISO-2022-JP each word begins and ends in ASCII.
std::string EncodeRunB(std::string_view bytes, const std::string& charset) {
    std::string out;
    std::string word;
    std::string_view mode;
    const auto closeWord = [&] {
        if (!mode.empty())
            word += kEscapeAscii;
        if (!out.empty())
            out += kWordBreak;
        out += "=?" + charset + "?B?" + Base64Encode(word) + "?=";
        word.clear();
        mode = {};
    };
    for (const Character& c : Characters(bytes, charset)) {
        const auto cost = [&] {
            const std::size_t escape =
                c.mode != mode ? (c.mode.empty() ? kEscapeAscii.size() : c.mode.size()) : 0;
            const std::size_t closing = c.mode.empty() ? 0 : kEscapeAscii.size();
            return escape + c.bytes.size() + closing;
        };
        if (!word.empty() && word.size() + cost() > kBytesPerBWord)
            closeWord();
        if (c.mode != mode)
            word += c.mode.empty() ? kEscapeAscii : c.mode;
        mode = c.mode;
        word += c.bytes;
    }
    if (!word.empty())
        closeWord();
    return out;
}

std::string EncodeRunQ(std::string_view bytes, const std::string& charset) {
    const std::string open = "=?" + charset + "?Q?";
    std::string out = open;
    std::size_t wordLength = open.size();
    for (const Character& character : Characters(bytes, charset)) {
        std::string piece;
        for (char ch : character.bytes) {
            const auto c = static_cast<unsigned char>(ch);
            char encoded[4];
            if (c == ' ')
                std::snprintf(encoded, sizeof encoded, "_");
            else if (IsQSafe(c))
                std::snprintf(encoded, sizeof encoded, "%c", c);
            else
                std::snprintf(encoded, sizeof encoded, "=%02X", c);
            piece += encoded;
        }
        if (wordLength + piece.size() + 2 > kMaxEncodedWord) {
            out += "?=";
            out += kWordBreak;
            out += open;
            wordLength = open.size();
        }
        out += piece;
        wordLength += piece.size();
    }
    return out + "?=";
}

// One fold of a physical line: the break after the last blank, tab or comma outside quotes within
// the first 78 columns (or the first one after, when there is none); npos when it cannot break.
std::size_t FoldPoint(std::string_view line) {
    const std::size_t lastText = line.find_last_not_of(" \t,");
    std::size_t best = std::string_view::npos;
    bool quoted = false;
    bool headHasText = false;
    for (std::size_t i = 0; i < line.size() && i < lastText; ++i) {
        const char c = line[i];
        if (quoted && c == '\\') {
            ++i;
            continue;
        }
        if (c == '"')
            quoted = !quoted;
        if (quoted || !(IsBlank(c) || c == ',')) {
            headHasText = true;
            continue;
        }
        if (!headHasText)
            continue;
        if (i < kFoldColumn)
            best = i;
        else
            return best != std::string_view::npos ? best : i;
    }
    return best;
}

void FoldPhysicalLine(std::string_view line, std::vector<std::string>& out) {
    std::string current(line);
    while (current.size() > kFoldColumn) {
        const std::size_t at = FoldPoint(current);
        if (at == std::string::npos)
            break;
        std::string head = current.substr(0, at + 1);
        head.erase(head.find_last_not_of(" \t") + 1);
        out.push_back(std::move(head));
        std::string rest(1, ' ');
        rest.append(current, current.find_first_not_of(" \t,", at + 1));
        current = std::move(rest);
    }
    current.erase(current.find_last_not_of(' ') + 1);
    out.push_back(std::move(current));
}

void RequireOneLine(const std::string& address) {
    if (address.find_first_of("\r\n") != std::string::npos)
        throw MailError("line break in a mail address");
}

} // namespace

std::string FormatMailDate(std::time_t when) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm local{};
    localtime_r(&when, &local);
    const long offsetMinutes = local.tm_gmtoff / 60;
    const long absolute = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %d %s %d %02d:%02d:%02d %c%02ld%02ld", kDays[local.tm_wday],
                  local.tm_mday, kMonths[local.tm_mon], local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec, offsetMinutes < 0 ? '-' : '+', absolute / 60, absolute % 60);
    return text;
}

std::vector<std::string> FoldHeaderLine(std::string_view line) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = line.find("\r\n", start);
        FoldPhysicalLine(line.substr(start, end - start), out);
        if (end == std::string_view::npos)
            break;
        start = end + 2;
    }
    return out;
}

MessageWriter::MessageWriter(MailLanguage language) : encoder_(language) {}

std::string MessageWriter::EncodeHeaderText(std::string_view utf8, bool forDisplayName) const {
    const MailTextEncoder::HeaderBytes text = encoder_.HeaderText(utf8);
    const std::string_view bytes = text.bytes;
    std::string out;
    std::string run;
    bool runOpen = false;
    const auto closeRun = [&] {
        if (!runOpen)
            return;
        out += text.letter == 'B' ? EncodeRunB(run, text.charset) : EncodeRunQ(run, text.charset);
        run.clear();
        runOpen = false;
    };
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t wordStart = std::min(bytes.find_first_not_of(" \t", at), bytes.size());
        const std::size_t wordEnd = std::min(bytes.find_first_of(" \t", wordStart), bytes.size());
        const std::string_view blanks = bytes.substr(at, wordStart - at);
        const std::string_view word = bytes.substr(wordStart, wordEnd - wordStart);
        if (!word.empty() && WordNeedsEncoding(word, forDisplayName)) {
            if (runOpen) {
                run += blanks;
            } else {
                out += blanks;
                runOpen = true;
            }
            run += word;
        } else {
            closeRun();
            out += blanks;
            out += word;
        }
        at = wordEnd;
    }
    closeRun();
    return out;
}

std::string MessageWriter::RenderAddress(const MailAddress& address) const {
    RequireOneLine(address.Address);
    if (address.Name.empty())
        return address.Address;
    bool printable = true;
    for (char c : address.Name)
        printable = printable && c >= 0x20 && c <= 0x7E;
    std::string name;
    if (printable) {
        name = "\"";
        for (char c : address.Name) {
            if (c == '\\' || c == '"')
                name += '\\';
            name += c;
        }
        name += '"';
    } else {
        name = EncodeHeaderText(address.Name, true);
    }
    return name + " <" + address.Address + ">";
}

std::vector<std::string> MessageWriter::WireLines(const MailMessage& message) const {
    std::string to;
    for (const MailAddress& recipient : message.Recipients) {
        if (!to.empty())
            to += ", ";
        to += RenderAddress(recipient);
    }
    const std::pair<const char*, std::string> headers[] = {
        {"From", RenderAddress(message.From)},
        {"Subject", EncodeHeaderText(message.Subject, false)},
        {"To", to},
        {"Content-Type", message.ContentType},
        {"Date", FormatMailDate(message.Date.value_or(std::time(nullptr)))},
        {"X-Priority", "3"},
        {"X-Library", "Indy 9.00.10"},
    };
    std::vector<std::string> lines;
    for (const auto& [name, value] : headers) {
        if (value.empty())
            continue;
        for (std::string& line : FoldHeaderLine(std::string(name) + ": " + value))
            lines.push_back(std::move(line));
    }
    lines.emplace_back();
    for (const std::string& body : message.Body) {
        std::string line = encoder_.BodyLine(body);
        if (!body.empty() && body.front() == '.')
            line.insert(line.begin(), '.');
        lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace quorvane::mail
