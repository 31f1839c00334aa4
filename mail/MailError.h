// The one error type of the mail sessions; SendMail turns it into its result and messages.
#pragma once

#include <stdexcept>

namespace quorvane::mail {

class MailError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace quorvane::mail
