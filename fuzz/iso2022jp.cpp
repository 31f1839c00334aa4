// Shift-JIS to ISO-2022-JP: whatever the bytes, seven-bit text that ends in ASCII.
#include "fuzz/Harness.h"
#include "mail/Iso2022Jp.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string out = mail::ShiftJisToIso2022Jp(fuzz::Bytes(data, size));
    for (char ch : out)
        fuzz::Require(static_cast<unsigned char>(ch) < 0x80, "the result is seven-bit");
    const std::size_t shift = out.rfind("\x1B$B");
    if (shift != std::string::npos)
        fuzz::Require(out.find("\x1B(B", shift) != std::string::npos, "the result ends in ASCII");
    return 0;
}
