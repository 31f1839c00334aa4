// HistoryRecorder: writes the rates each monitor cycle shows into the rate history.
#include "monitor/HistoryRecorder.h"

#include <chrono>

#include "history/Fill.h"
#include "monitor/Monitor.h"

namespace quorvane {

using history::PointSource;
using history::RatePoint;

namespace {

constexpr std::int64_t Day = 86400;

} // namespace

std::vector<RatePoint> CyclePoints(const CycleRequest& request, std::span<const SlotUpdate> updates,
                                   const RateOriginLookup& origin) {
    std::vector<RatePoint> points;
    for (std::size_t i = 0; i < updates.size() && i < request.pairs.size(); ++i) {
        const SlotUpdate& update = updates[i];
        if (update.outcome != SlotOutcome::Shown)
            continue;
        const CurrencyPair& pair = request.pairs[i];
        RatePoint point{
            .from = pair.from,
            .to = pair.to,
            .at = std::chrono::duration_cast<std::chrono::seconds>(update.time.time_since_epoch()).count(),
            .rate = update.rate,
            .source = PointSource::Service};
        if (origin)
            if (const auto known = origin(pair); known && known->asOf > 0) {
                point.at = known->asOf;
                point.source = known->source;
            }
        points.push_back(point);
    }
    return points;
}

std::vector<RatePoint> DailyPoints(Currency from, Currency to, std::span<const DailyRate> daily) {
    std::vector<RatePoint> points;
    for (const DailyRate& day : daily)
        if (const auto at = history::EcbDayTime(day.date))
            points.push_back(
                {.from = from, .to = to, .at = *at, .rate = day.rate, .source = PointSource::EcbDaily});
    return points;
}

HistoryRecorder::HistoryRecorder(history::HistoryStore& store, history::HistoryLog log)
    : store_(store), log_(std::move(log)) {}

void HistoryRecorder::Record(const CycleRequest& request, std::span<const SlotUpdate> updates,
                             std::int64_t now) {
    const std::vector<RatePoint> points = CyclePoints(request, updates, origin_);
    if (!points.empty()) {
        Report(store_.Append(points), "the rate history could not be written");
        if (recorded_)
            recorded_(points);
    }
    if (thinnedAt_ < 0)
        thinnedAt_ = now; // the store thinned itself as it opened
    else if (now - thinnedAt_ >= Day) {
        thinnedAt_ = now;
        Report(store_.Thin(now), "the rate history could not be thinned");
    }
}

bool HistoryRecorder::WantsFill(Currency from, Currency to, std::int64_t now) const {
    const auto first = store_.First(from, to);
    return !first || first->at > now - history::FillWhenFewerDays * Day;
}

int HistoryRecorder::Fill(Currency from, Currency to, std::span<const DailyRate> daily, std::int64_t now) {
    const std::vector<RatePoint> points = DailyPoints(from, to, daily);
    const std::vector<RatePoint> missing = history::DaysToFill(store_.First(from, to), points, now);
    if (missing.empty())
        return 0;
    const history::WriteResult result = store_.Append(missing);
    Report(result, "the daily rates could not be added to the rate history");
    return result.written;
}

void HistoryRecorder::Report(const history::WriteResult& result, const char* what) {
    if (result) {
        failing_ = false;
        return;
    }
    if (failing_)
        return;
    failing_ = true;
    if (log_)
        log_(std::string(what) + " (" + store_.Path() + "): " + result.error);
}

} // namespace quorvane
