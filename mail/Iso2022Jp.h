// Shift-JIS (CP932) bytes to ISO-2022-JP (RFC 1468), with half-width katakana made full width.
#pragma once

#include <string>
#include <string_view>

namespace quorvane::mail {

// ESC, SO and SI in sjis are dropped, so the text cannot switch character sets by itself; bytes that are
// no Shift-JIS character are dropped too.
std::string ShiftJisToIso2022Jp(std::string_view sjis);

} // namespace quorvane::mail
