#pragma once

#include <string>
#include <string_view>

namespace quorvane::mail {

// Standard alphabet, "=" padding, no line breaks.
std::string Base64Encode(std::string_view bytes);

} // namespace quorvane::mail
