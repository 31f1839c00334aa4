// Whether a rate reaches a limit formed as base + deviation (upper) or base - deviation (lower).
#pragma once

namespace quorvane {

// The limit is not rounded to double before the comparison, so that a rate equal to the double nearest
// BASE + DH does not reach a limit that really lies above it. Where long double is the x87 80-bit
// format the limit is formed in it, as the program always has; elsewhere the comparison is exact.
bool ReachesDeviationLimit(double rate, double base, double deviation, bool upper);

// The exact comparison on its own: rate >= base + deviation (upper) or rate <= base - deviation, with the
// sum never rounded. Compiled everywhere, so that it is tested on every machine.
bool ReachesExactDeviationLimit(double rate, double base, double deviation, bool upper);

} // namespace quorvane
