#include "rated/RandomWalk.h"

#include <cmath>

namespace quorvane::rated {

namespace {

// SplitMix64: a counter-based generator, so step k of a walk never depends on when it was computed.
std::uint64_t Mix(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

} // namespace

double RandomWalk::Draw(int currency, std::int64_t step) const {
    const std::uint64_t bits = Mix(start_ ^ Mix(static_cast<std::uint64_t>(step) * 256 + currency));
    const double unit = static_cast<double>(bits >> 11) * 0x1.0p-53; // [0, 1)
    return (2.0 * unit - 1.0) * StepSize;
}

double RandomWalk::Factor(Currency c, std::int64_t step) {
    if (c == EUR || step <= 0)
        return 1.0;
    std::lock_guard lock(mutex_);
    if (step < step_) {
        step_ = 0;
        logFactor_.fill(0.0);
    }
    for (; step_ < step; ++step_)
        for (int i = 0; i < CurrencyCount; ++i)
            logFactor_[i] = logFactor_[i] * (1.0 - Reversion) + Draw(i, step_ + 1);
    return std::exp(logFactor_[c]);
}

} // namespace quorvane::rated
