// Source: where a set of rates comes from. Adding a source is one file implementing this.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

#include "rated/RateSet.h"
#include "rated/RateSource.h"
#include "rated/Result.h"

namespace quorvane::rated {

struct FetchedRates {
    RateSet rates;        // each covered rate with its origin and as-of time
    std::string document; // the bytes read, for a kept copy
};

class Source {
public:
    virtual ~Source() = default;
    virtual RateOrigin Origin() const = 0;

    // The rates against base, read now. Blocks for the read, bounded by the source's own time-outs; a
    // set cancel flag ends it early. Fails with a readable reason; never throws but for memory.
    virtual Result<FetchedRates> Fetch(Currency base, const std::atomic<bool>* cancel) = 0;
};

// The ECB daily reference rates document at address (a file or an http(s) URL); euro base only.
std::unique_ptr<Source> MakeEcbSource(std::string address);

// Coinbase's public exchange rates (GET address?currency=BASE), read within limits.
std::unique_ptr<Source> MakeCoinbaseSource(std::string address, ReadLimits limits);

// Coinbase's exchange rates answer: {"data":{"currency":"EUR","rates":{"JPY":"162.31",...}}}, every rate a
// decimal string. Codes we offer are kept as read, a value that is not a decimal number as NaN (for the
// caller's guard to drop and name); other codes are counted as ignored. asOf is given to every rate.
// Fails on a document that is not such an answer, or one for another base than EUR.
Result<RateSet> ParseCoinbaseRates(std::string_view document, std::int64_t asOf);

// Coinbase answers are some 20 kB; a megabyte is not one.
inline constexpr std::size_t MaxCoinbaseDocument = 1024 * 1024;

} // namespace quorvane::rated
