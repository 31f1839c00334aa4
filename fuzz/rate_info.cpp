// The client's reader of the rate service's rate information answer.
#include <cmath>

#include "fuzz/Harness.h"
#include "service/RateInfo.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<CurrencyPair> pairs = {{USD, JPY}, {EUR, GBP}};
    const auto info = ReadRateInfo(fuzz::Bytes(data, size), pairs);
    if (!info)
        return 0;
    fuzz::Require(info.value().size() == pairs.size(), "one answer per pair");
    for (const RateInfo& one : info.value())
        fuzz::Require(!one.error.empty() || (std::isfinite(one.rate) && one.rate > 0), "a rate is positive");
    return 0;
}
