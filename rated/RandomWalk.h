// RandomWalk: the simulated drift of every rate, one small step per second, reproducible from its starting number.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>

#include "util/Currency.h"

namespace quorvane::rated {

class RandomWalk {
public:
    // Largest change of a rate's logarithm in one step: 4 basis points.
    static constexpr double StepSize = 0.0004;
    // Pull towards the source rate per step, so that a walk left running for days stays plausible.
    static constexpr double Reversion = 1.0 / 86400.0;

    explicit RandomWalk(std::uint64_t start) : seed_(start) {}

    // The factor by which c's euro rate has drifted after `step` steps; 1 at step 0, always positive.
    // The same starting number and step give the same factor. Thread-safe.
    double Factor(Currency c, std::int64_t step);

private:
    double Draw(int currency, std::int64_t step) const;

    const std::uint64_t seed_;
    std::mutex mutex_;
    std::int64_t step_ = 0;
    std::array<double, CurrencyCount> logFactor_{};
};

} // namespace quorvane::rated
