// Reading the sender and recipient texts of the mail settings (RFC 5322 mailboxes).
#pragma once

#include "mail/MailMessage.h"

#include <string_view>
#include <vector>

namespace quorvane::mail {

// One mailbox: "Name <a@b>", "\"Name\" <a@b>", "a@b (comment)" or "a@b". Empty text, empty address.
// Throws std::runtime_error("@ Outside address") for an "@" after the closing angle bracket.
MailAddress ParseMailbox(std::string_view text);

// A list split at commas and semicolons outside quotes and comments; group names ("Team:") are
// dropped, and so are empty entries and "<>". Throws like ParseMailbox.
std::vector<MailAddress> ParseAddressList(std::string_view text);

} // namespace quorvane::mail
