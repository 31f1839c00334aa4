// ProgramHistory: the program's rate history: the store, the monitor's recorder, and the daily rates
// filled in from the local rate service before a pair's first point.
#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "history/HistoryStore.h"
#include "monitor/HistoryRecorder.h"
#include "monitor/Monitor.h"

namespace quorvane {

// The address whose daily history fills a pair's first days: the service's, when it runs on this machine
// (the built-in service, serviceUrl empty, or one at 127.0.0.1, localhost or [::1]); empty otherwise.
std::string FillEndpoint(const std::string& serviceUrl, const std::string& localDescription);

class ProgramHistory : public QObject {
    Q_OBJECT
public:
    // Opens the store at path (thinning it) and has the monitor write each cycle into it. The monitor
    // outlives this object. fillEndpoint: the local rate service's address, whose daily history fills a
    // pair's first days; empty when the program uses another service (nothing is filled).
    ProgramHistory(Monitor& monitor, const std::string& path, std::string fillEndpoint,
                   QObject* parent = nullptr);
    // Waits for a fill under way, at most its transport's time-out.
    ~ProgramHistory() override;

    const history::HistoryStore& Store() const { return store_; }
    // Told each cycle's points, on this thread.
    void SetFollower(std::function<void(std::span<const history::RatePoint>)> follower) {
        follower_ = std::move(follower);
    }

private:
    void Recorded(std::span<const history::RatePoint> points);
    void StartFill();
    void FillDone();

    Monitor& monitor_;
    history::HistoryStore store_;
    HistoryRecorder recorder_;
    std::string fillEndpoint_;
    std::function<void(std::span<const history::RatePoint>)> follower_;
    std::set<std::pair<int, int>> asked_; // pairs whose daily rates were asked for in this run
    std::vector<CurrencyPair> waiting_;
    std::thread fill_;
};

} // namespace quorvane
