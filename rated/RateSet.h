// RateSet: one day's euro reference rates and the cross rates computed from them.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include <libxml/tree.h>

#include "rated/Result.h"
#include "util/Currency.h"

namespace quorvane::rated {

// The Currency whose external name (as the service spells it, TRY for TRY_) is code, exactly; -1 if none.
int CurrencyFromExternalName(std::string_view code);

struct RateSet {
    // Units of each currency per euro; 0 where the rates say nothing. The euro itself is always 1.
    std::array<double, CurrencyCount> perEuro{};
    std::string date; // reference date as the source gives it, may be empty
    int ignored = 0;  // codes of the source that name no Currency

    RateSet() { perEuro[EUR] = 1.0; }
    bool Covers(Currency c) const { return perEuro[c] > 0.0; }
    int CoveredCount() const;
};

// Reads the European Central Bank's daily reference rate document (the newest day if it holds several).
// Fails, naming the fault, on a document that is not well-formed, has no rates or holds a bad rate.
Result<RateSet> ParseEcbRates(std::string_view document);

// Reads the rate Cubes inside one day's Cube of that document, as ParseEcbRates does.
Result<RateSet> ReadDayCube(const xmlNode* day, std::string date);

// Units of `to` per unit of `from`; both must be covered.
inline double CrossRate(const RateSet& rates, Currency from, Currency to) {
    return rates.perEuro[to] / rates.perEuro[from];
}

} // namespace quorvane::rated
