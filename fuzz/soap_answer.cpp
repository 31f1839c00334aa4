// The SOAP answer reader: bytes from the rate service in, a finite rate or an error out.
#include <cmath>

#include "fuzz/Harness.h"
#include "service/SoapMessage.h"
#include "util/PrintableText.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto rate = ReadConversionRateResponse(fuzz::Bytes(data, size));
    if (rate.ok()) {
        fuzz::Require(std::isfinite(rate.value()), "a rate is finite");
    } else {
        const std::string text = Describe(rate.error());
        fuzz::Require(!text.empty(), "a failure has a reason");
    }
    return 0;
}
