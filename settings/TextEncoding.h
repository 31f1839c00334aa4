// TextEncoding: recognising UTF-8 and reading the Japanese Windows code page.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// True when text is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view text);

// Converts CP932 (Shift-JIS as Windows writes it) to UTF-8. Bytes that are not CP932 become U+FFFD.
// Throws std::runtime_error when the system has no CP932 converter.
std::string Cp932ToUtf8(std::string_view text);

} // namespace quorvane
