// HistoryRecorder: writes the rates each monitor cycle shows into the rate history.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "history/HistoryStore.h"
#include "service/CurrencyConvertor.h"
#include "service/DailyHistory.h"

namespace quorvane {

struct CycleRequest;
struct SlotUpdate;

// The time a slot's rate holds for and where it came from, when the service says so.
struct RateOrigin {
    std::int64_t asOf = 0; // seconds since 1970 UTC
    history::PointSource source = history::PointSource::Service;
};
using RateOriginLookup = std::function<std::optional<RateOrigin>(const CurrencyPair& pair)>;

// The points of a cycle's shown slots (updates in the request's order), one per slot: at the rate's as-of
// time when origin knows it, else at the time the rate was received.
std::vector<history::RatePoint> CyclePoints(const CycleRequest& request, std::span<const SlotUpdate> updates,
                                            const RateOriginLookup& origin = {});

// The service's daily rates of a pair as points marked EcbDaily; lines with a date that is not one are
// left out.
std::vector<history::RatePoint> DailyPoints(Currency from, Currency to, std::span<const DailyRate> daily);

class HistoryRecorder {
public:
    // The store outlives the recorder. log receives one line per failure that starts (not per cycle).
    HistoryRecorder(history::HistoryStore& store, history::HistoryLog log);

    // Where each rate's as-of time and source come from; Monitor::SetRecorder installs the cycle's infos.
    void SetOrigin(RateOriginLookup origin) { origin_ = std::move(origin); }
    // Told each cycle's points after they were written (or failed to be), for views that follow them.
    void SetRecorded(std::function<void(std::span<const history::RatePoint>)> recorded) {
        recorded_ = std::move(recorded);
    }

    // Writes the cycle's points in one transaction, and thins the store when a day has passed since the last
    // thinning (the store thinned itself at open). A failure is logged once until a write succeeds again;
    // it is never thrown.
    void Record(const CycleRequest& request, std::span<const SlotUpdate> updates, std::int64_t now);

    // Whether the pair has fewer than 30 days stored, so that daily points may be filled in before them.
    bool WantsFill(Currency from, Currency to, std::int64_t now) const;
    // Writes the daily points that go before the pair's first stored point; returns the rows added.
    int Fill(Currency from, Currency to, std::span<const DailyRate> daily, std::int64_t now);

    bool Failing() const { return failing_; }
    history::HistoryStore& Store() { return store_; }

private:
    void Report(const history::WriteResult& result, const char* what);

    history::HistoryStore& store_;
    history::HistoryLog log_;
    RateOriginLookup origin_;
    std::function<void(std::span<const history::RatePoint>)> recorded_;
    std::int64_t thinnedAt_ = -1;
    bool failing_ = false;
};

} // namespace quorvane
