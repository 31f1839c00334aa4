#include "history/Fill.h"

#include <algorithm>
#include <charconv>
#include <chrono>

namespace quorvane::history {

std::vector<RatePoint> DaysToFill(const std::optional<RatePoint>& first, std::span<const RatePoint> daily,
                                  std::int64_t now) {
    std::vector<RatePoint> fill;
    if (first && first->at <= now - FillWhenFewerDays * 86400)
        return fill;
    for (RatePoint point : daily) {
        if (first && (point.from != first->from || point.to != first->to || point.at >= first->at))
            continue;
        point.source = PointSource::EcbDaily;
        fill.push_back(point);
    }
    std::sort(fill.begin(), fill.end(), [](const RatePoint& a, const RatePoint& b) { return a.at < b.at; });
    return fill;
}

std::optional<std::int64_t> EcbDayTime(std::string_view date) {
    if (date.size() != 10 || date[4] != '-' || date[7] != '-')
        return std::nullopt;
    int parts[3] = {};
    const std::size_t starts[3] = {0, 5, 8}, lengths[3] = {4, 2, 2};
    for (int i = 0; i < 3; ++i) {
        const char* begin = date.data() + starts[i];
        const char* end = begin + lengths[i];
        auto [ptr, ec] = std::from_chars(begin, end, parts[i]);
        if (ec != std::errc() || ptr != end)
            return std::nullopt;
    }
    using namespace std::chrono;
    const year_month_day day{year{parts[0]}, month{static_cast<unsigned>(parts[1])},
                             std::chrono::day{static_cast<unsigned>(parts[2])}};
    if (!day.ok())
        return std::nullopt;
    return sys_days(day).time_since_epoch().count() * 86400 + 13 * 3600 + 15 * 60;
}

} // namespace quorvane::history
