// When a rate shown counts as old for its source.
#include <gtest/gtest.h>

#include "service/RateInfo.h"

using namespace quorvane;

namespace {

// Unix seconds of a UTC time in December 2026 (the 1st is a Tuesday).
std::int64_t December2026(int day, int hour, int minute = 0) {
    return 1796083200 + (day - 1) * 86400 + hour * 3600 + minute * 60;
}

} // namespace

TEST(RateInfoAge, EachSourceHasItsNormalAge) {
    struct Case {
        const char* source;
        std::int64_t asOf;
        std::int64_t now;
        bool stale;
    };
    const std::int64_t friday = December2026(4, 15), thursday = December2026(3, 15);
    const Case cases[] = {
        {"coinbase", December2026(8, 9, 0), December2026(8, 9, 5), false},
        {"coinbase", December2026(8, 9, 0), December2026(8, 9, 6), true},
        {"ecb", friday, December2026(7, 8), false},      // Monday morning: Friday's are the newest
        {"ecb", friday, December2026(7, 16, 59), false}, // Monday's not yet read
        {"ecb", friday, December2026(7, 17, 1), true},
        {"ecb", thursday, December2026(5, 12), true}, // Saturday: Friday's were published
        {"ecb", 0, December2026(7, 8), true},
        {"simulated", 1, December2026(7, 8), false},
        {"other", December2026(7, 8), December2026(7, 8), true},
    };
    for (const Case& c : cases) {
        RateInfo info;
        info.source = c.source;
        info.asOf = c.asOf;
        EXPECT_EQ(IsRateStale(info, c.now), c.stale) << c.source << " " << c.asOf << " at " << c.now;
    }
}
