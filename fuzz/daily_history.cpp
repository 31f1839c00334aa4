// The client's reader of the rate service's daily history answer.
#include <cmath>

#include "fuzz/Harness.h"
#include "service/DailyHistory.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto days = ParseDailyHistory(fuzz::Bytes(data, size));
    if (!days)
        return 0;
    fuzz::Require(days.value().size() <= MaxDailyHistoryDays, "a history keeps to its limit");
    for (const DailyRate& day : days.value())
        fuzz::Require(day.date.size() == 10 && std::isfinite(day.rate) && day.rate > 0,
                      "a day is dated and positive");
    return 0;
}
