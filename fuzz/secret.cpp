// The decoder of protected passwords: any stored text opens or fails with SecretError.
#include "fuzz/Harness.h"
#include "util/Secret.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        (void)DecryptSecret(std::string(fuzz::Bytes(data, size)), "quorvane fuzz pass phrase");
    } catch (const SecretError&) {
    }
    return 0;
}
