// Shift-JIS (CP932) bytes to ISO-2022-JP (RFC 1468), with half-width katakana made full width.
#pragma once

#include <string>
#include <string_view>

namespace quorvane::mail {

std::string ShiftJisToIso2022Jp(std::string_view sjis);

} // namespace quorvane::mail
