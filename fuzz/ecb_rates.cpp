// The rate service's reader of the euro reference rates document.
#include <cmath>

#include "fuzz/Harness.h"
#include "rated/RateSet.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto rates = rated::ParseEcbRates(fuzz::Bytes(data, size));
    if (!rates)
        return 0;
    for (double rate : rates.value().perEuro)
        fuzz::Require(rate == 0 || (std::isfinite(rate) && rate > 0), "a rate is positive and finite");
    fuzz::Require(rates.value().perEuro[EUR] == 1.0, "the euro is the base");
    return 0;
}
