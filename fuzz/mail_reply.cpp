// SMTP and POP3 replies as a server sends them, line after line, and the AUTH list of EHLO.
#include <algorithm>

#include "fuzz/Harness.h"
#include "mail/LineChannel.h"
#include "mail/MailClients.h"
#include "mail/MailError.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest = fuzz::Bytes(data, size);
    // Lines as LineChannel gives them: up to LF, without CR, the connection closing at the end.
    const auto nextLine = [&]() -> std::string {
        if (rest.empty())
            throw mail::MailError("connection closed by the server");
        const std::size_t lf = std::min(rest.find('\n'), rest.size());
        std::string_view line = rest.substr(0, lf);
        rest.remove_prefix(std::min(lf + 1, rest.size()));
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.size() > mail::kMaxReplyLine)
            throw mail::MailError("reply line longer than 16384 characters");
        return std::string(line);
    };
    try {
        for (;;) {
            const mail::Reply reply = mail::ReadReply(nextLine);
            fuzz::Require(!reply.Lines.empty(), "a reply has a line");
            for (const std::string& line : reply.Lines)
                fuzz::Require(line.find('\n') == std::string::npos, "reply lines hold no line feed");
            const auto mechanisms = mail::ReadAuthMechanisms(reply);
            for (const std::string& name : mechanisms)
                fuzz::Require(!name.empty() && name.find(' ') == std::string::npos, "a mechanism is one word");
        }
    } catch (const mail::MailError&) {
    }
    return 0;
}
