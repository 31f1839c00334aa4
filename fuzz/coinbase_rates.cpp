// The rate service's reader of the intraday exchange rates answer.
#include "fuzz/Harness.h"
#include "rated/Source.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto rates = rated::ParseCoinbaseRates(fuzz::Bytes(data, size), 1796889363);
    if (!rates)
        return 0;
    fuzz::Require(rates.value().perEuro[EUR] == 1.0, "the euro is the base");
    for (int c = 0; c < CurrencyCount; ++c)
        fuzz::Require(rates.value().origin[c] != rated::RateOrigin::None || rates.value().perEuro[c] == 0,
                      "a rate read has its origin");
    return 0;
}
