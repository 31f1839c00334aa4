// Fill: the ECB's daily rates that go before a pair's own first stored point.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "history/HistoryStore.h"

namespace quorvane::history {

// How many days of a pair the store should hold before daily ECB points are no longer filled in.
inline constexpr std::int64_t FillWhenFewerDays = 30;

// The daily points (of the pair of first, or any pair when first is empty) that come before the store's
// first point, marked as EcbDaily, oldest first; none when the first point is at least 30 days before
// now. daily may be in any order; points of other pairs are skipped.
std::vector<RatePoint> DaysToFill(const std::optional<RatePoint>& first, std::span<const RatePoint> daily,
                                  std::int64_t now);

// The as-of time of a daily reference rate of the date "YYYY-MM-DD": 14:15 CET, when the ECB sets it,
// taken as 13:15 UTC. Nothing for a text that is not such a date.
std::optional<std::int64_t> EcbDayTime(std::string_view date);

} // namespace quorvane::history
