// The one error type of the mail sessions; SendMail turns it into its result and messages.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace quorvane::mail {

class MailError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    MailError(const std::string& text, std::string step) : std::runtime_error(text), step_(std::move(step)) {}

    // The command the server refused and its reply code ("RCPT TO 550"); empty for other failures.
    const std::string& Step() const { return step_; }

private:
    std::string step_;
};

} // namespace quorvane::mail
