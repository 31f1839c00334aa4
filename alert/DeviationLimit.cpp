#include "alert/DeviationLimit.h"

#include <cfloat>
#include <cmath>

namespace quorvane {

bool ReachesExactDeviationLimit(double rate, double base, double deviation, bool upper) {
    const double b = upper ? deviation : -deviation;
    // Error-free sum (Knuth's TwoSum): s + e == base + b exactly, s being the rounded sum.
    const double s = base + b;
    const double bv = s - base;
    const double av = s - bv;
    const double e = (base - av) + (b - bv);
    if (!std::isfinite(s) || !std::isfinite(e))
        return upper ? rate >= s : rate <= s;
    // rate - s is exact when the two are within a factor of two of each other (Sterbenz); otherwise it is
    // so far from zero that its rounding cannot change how it compares with e, which is below half an
    // ulp of s.
    const double d = rate - s;
    return upper ? d >= e : d <= e;
}

bool ReachesDeviationLimit(double rate, double base, double deviation, bool upper) {
#if LDBL_MANT_DIG == 64
    const long double limit = upper ? static_cast<long double>(base) + deviation
                                    : static_cast<long double>(base) - deviation;
    return upper ? static_cast<long double>(rate) >= limit : static_cast<long double>(rate) <= limit;
#else
    return ReachesExactDeviationLimit(rate, base, deviation, upper);
#endif
}

} // namespace quorvane
