// RateSet: one day's euro reference rates and the cross rates computed from them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include <libxml/tree.h>

#include "rated/Result.h"
#include "util/Currency.h"

namespace quorvane::rated {

// The Currency whose external name (as the service spells it, TRY for TRY_) is code, exactly; -1 if none.
int CurrencyFromExternalName(std::string_view code);

// Where a rate came from; the names are those the rate information answer uses.
enum class RateOrigin : std::uint8_t { None, Ecb, Coinbase, Simulated };
std::string_view RateOriginName(RateOrigin origin);

struct RateSet {
    // Units of each currency per euro; 0 where the rates say nothing. The euro itself is always 1.
    std::array<double, CurrencyCount> perEuro{};
    // Per currency, the source and the time (Unix seconds, 0 unknown) its rate holds for; the euro's
    // are those of the set.
    std::array<RateOrigin, CurrencyCount> origin{};
    std::array<std::int64_t, CurrencyCount> asOf{};
    std::string date; // reference date as the source gives it, may be empty
    int ignored = 0;  // codes of the source that name no Currency

    RateSet() { perEuro[EUR] = 1.0; }
    bool Covers(Currency c) const { return perEuro[c] > 0.0; }
    int CoveredCount() const;
};

// The ECB publishes a day's reference rates at about 16:00 CET: that moment of the date "YYYY-MM-DD"
// as Unix seconds; 0 for a date that is not one.
std::int64_t EcbPublicationTime(std::string_view date);

// Reads the European Central Bank's daily reference rate document (the newest day if it holds several).
// Fails, naming the fault, on a document that is not well-formed, has no rates or holds a bad rate.
Result<RateSet> ParseEcbRates(std::string_view document);

// Reads the rate Cubes inside one day's Cube of that document, as ParseEcbRates does.
Result<RateSet> ReadDayCube(const xmlNode* day, std::string date);
// The source and as-of time of a cross rate: the older of the two currencies' (a rate is as old as its
// older half), the ECB before an intraday source when the halves differ.
struct PairOrigin {
    RateOrigin origin = RateOrigin::None;
    std::int64_t asOf = 0;
};
PairOrigin OriginOf(const RateSet& rates, Currency from, Currency to);

// Units of `to` per unit of `from`; both must be covered.
inline double CrossRate(const RateSet& rates, Currency from, Currency to) {
    return rates.perEuro[to] / rates.perEuro[from];
}

} // namespace quorvane::rated
