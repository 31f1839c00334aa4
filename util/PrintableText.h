// PrintableText: untrusted bytes made fit for a log line, a fault text or a message box.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// bytes as valid UTF-8 on one line: well-formed UTF-8 is kept, every byte that is not part of a
// well-formed sequence becomes \xNN, and control characters (C0, DEL, C1, U+2028, U+2029) become
// \n, \r, \t or \xNN / \uNNNN, so no text can start a line of its own. Never fails.
std::string PrintableUtf8(std::string_view bytes);

// The length of the well-formed UTF-8 sequence at the start of bytes (no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0 when it does not start with one.
std::size_t Utf8SequenceLength(std::string_view bytes);

} // namespace quorvane
