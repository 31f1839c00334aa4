#include "mail/Base64.h"

#include <sodium.h>

namespace quorvane::mail {

std::string Base64Encode(std::string_view bytes) {
    constexpr int variant = sodium_base64_VARIANT_ORIGINAL;
    std::string out(sodium_base64_ENCODED_LEN(bytes.size(), variant), '\0'); // with the terminating NUL
    sodium_bin2base64(out.data(), out.size(), reinterpret_cast<const unsigned char*>(bytes.data()),
                      bytes.size(), variant);
    out.pop_back();
    return out;
}

} // namespace quorvane::mail
