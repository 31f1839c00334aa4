// When a rate shown counts as old for its source.
#include <gtest/gtest.h>

#include <chrono>

#include "service/RateInfo.h"

using namespace quorvane;

namespace {

// Unix seconds of a UTC time in December 2026 (the 1st is a Tuesday).
std::int64_t December2026(int day, int hour, int minute = 0) {
    return 1796083200 + (day - 1) * 86400 + hour * 3600 + minute * 60;
}

// Unix seconds of a UTC time.
std::int64_t Utc(int year, unsigned month, unsigned day, int hour, int minute = 0) {
    const std::chrono::sys_days date = std::chrono::year{year} / month / day;
    return date.time_since_epoch().count() * 86400 + hour * 3600 + minute * 60;
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

// On TARGET closing days the ECB publishes nothing: the last working day's rates stay the newest over them.
TEST(RateInfoAge, EcbRatesAreNotOldOverTheEcbsClosingDays) {
    struct Case {
        const char* what;
        std::int64_t asOf;
        std::int64_t now;
        bool stale;
    };
    const Case cases[] = {
        {"Good Friday 2026, next morning", Utc(2026, 4, 2, 15), Utc(2026, 4, 4, 8), false},
        {"Easter Monday 2026, evening", Utc(2026, 4, 2, 15), Utc(2026, 4, 6, 18), false},
        {"Tuesday after Easter 2026, morning", Utc(2026, 4, 2, 15), Utc(2026, 4, 7, 8), false},
        {"Tuesday after Easter 2026, read", Utc(2026, 4, 2, 15), Utc(2026, 4, 7, 17, 1), true},
        {"Easter Monday 2027 (Easter in March)", Utc(2027, 3, 25, 15), Utc(2027, 3, 29, 18), false},
        {"Thursday before Good Friday 2027", Utc(2027, 3, 24, 15), Utc(2027, 3, 25, 17, 1), true},
        {"Easter Monday 2025 (Easter late)", Utc(2025, 4, 17, 15), Utc(2025, 4, 21, 18), false},
        {"1 May 2026, a Friday", Utc(2026, 4, 30, 15), Utc(2026, 5, 4, 8), false},
        {"Christmas 2026, the Monday after", Utc(2026, 12, 24, 15), Utc(2026, 12, 28, 8), false},
        {"Christmas 2026, Monday's read", Utc(2026, 12, 24, 15), Utc(2026, 12, 28, 17, 1), true},
        {"New Year 2027, a Friday", Utc(2026, 12, 31, 15), Utc(2027, 1, 4, 8), false},
        {"31 December is a working day", Utc(2026, 12, 30, 15), Utc(2026, 12, 31, 17, 1), true},
    };
    for (const Case& c : cases) {
        RateInfo info;
        info.source = "ecb";
        info.asOf = c.asOf;
        EXPECT_EQ(IsRateStale(info, c.now), c.stale) << c.what;
    }
}
