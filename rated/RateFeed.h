// RateFeed: the rates the service answers with, read from their source and refreshed in the background.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "rated/RandomWalk.h"
#include "rated/RateSet.h"
#include "rated/Result.h"
#include "rated/Source.h"

namespace quorvane::rated {

using LogSink = std::function<void(const std::string& line)>;

// sink, given every line as PrintableUtf8 makes it, so that no request or document forges a line.
LogSink PrintableLog(LogSink sink);

struct FeedOptions {
    std::string source;                     // file path or http(s) URL of an ECB daily rates document
    std::string cacheFile;                  // where a good read of source is copied; empty: nowhere
    std::vector<std::string> fallbacks;     // read in turn by LoadFallback, e.g. the cache, the shipped file
    std::chrono::seconds refresh{3600};     // 0: read once
    bool simulate = false;                  // let every rate drift in a random walk
    std::uint64_t walkStart = 0;            // where the walk's random numbers start
    std::function<std::int64_t()> walkStep; // seconds since start; the wall clock when empty

    // An intraday source laid over the ECB set: its codes are served from it while it answers, the
    // ECB set serves the rest and everything while it fails. Empty: none.
    std::string intraday;
    bool intradayOnly = false; // serve the intraday rates alone, keeping the last good ones on failure
    std::chrono::seconds intradayRefresh{60};
    ReadLimits intradayLimits{MaxCoinbaseDocument, std::chrono::seconds(5), std::chrono::seconds(10)};
};

// A rate with where it came from and the time it holds for (Unix seconds).
struct RateQuote {
    double rate = 0;
    RateOrigin origin = RateOrigin::None;
    std::int64_t asOf = 0;
};

// An intraday rate further than this from the last good one for its code is taken for a fault.
inline constexpr double MaxIntradayMove = 0.5;

class RateFeed {
public:
    RateFeed(FeedOptions options, LogSink log);
    ~RateFeed();
    RateFeed(const RateFeed&) = delete;
    RateFeed& operator=(const RateFeed&) = delete;

    // Reads the source now. On failure the last good set stays in use and a warning is logged.
    // Returns the number of covered currencies, or the reason the read failed. Blocks for the read.
    // A good read is copied to the cache file, so that a start without network finds it.
    Result<int> Load();

    // Reads the intraday source now and lays its rates over the ECB set. A rate that is not finite, not
    // positive or more than MaxIntradayMove from the last good one for its code is dropped and logged.
    // On failure, or when no rate is left, the ECB set alone is served (the last intraday rates with
    // intradayOnly). A change of the source served is logged once. Returns the number of intraday
    // rates kept, or the reason. Blocks for the read, bounded by intradayLimits.
    Result<int> LoadIntraday();

    // Reads the fallbacks in turn until one holds good rates; the reason of the last failure otherwise.
    Result<int> LoadFallback();

    // Reads the source again every refresh period on a thread of its own, until StopRefreshing;
    // with readNow the first read comes at once (even when the period is 0). The intraday source, if
    // any, is read at once and then every intradayRefresh.
    void StartRefreshing(bool readNow = false);
    void StopRefreshing();

    // Units of `to` per unit of `from` at this moment; an error text when the rates lack either code.
    Result<double> Rate(Currency from, Currency to) const;

    // The same with the rate's source and as-of time, all from one set.
    Result<RateQuote> Quote(Currency from, Currency to) const;

    std::shared_ptr<const RateSet> Current() const;
    const FeedOptions& Options() const { return options_; }

private:
    Result<int> LoadFrom(const std::string& source, bool fromSource);
    void KeepCopy(const std::string& bytes);
    void RefreshLoop(bool readNow);
    std::int64_t WalkStep() const;
    int KeepSaneRates(RateSet& fresh, const RateSet* ecb);
    void Publish(); // current_ from ecb_ and intraday_; under mutex_

    enum class Serving { Nothing, Ecb, Intraday };

    FeedOptions options_;
    LogSink log_;
    std::chrono::steady_clock::time_point started_;
    mutable std::unique_ptr<RandomWalk> walk_;

    std::unique_ptr<Source> intradaySource_;
    std::mutex updateMutex_; // one update of the sets at a time
    Serving serving_ = Serving::Nothing;
    std::array<double, CurrencyCount> lastIntraday_{}; // the last good intraday rate of each code
    std::array<bool, CurrencyCount> dropped_{};        // dropped by the last intraday read

    mutable std::mutex mutex_;
    std::shared_ptr<const RateSet> ecb_;
    std::shared_ptr<const RateSet> intraday_;
    std::shared_ptr<const RateSet> current_;

    std::mutex stopMutex_;
    std::condition_variable stopSignal_;
    std::atomic<bool> stopping_{false};
    std::thread refresher_;
};

// What the service's description says about its rates: where they come from, and whether simulated.
std::string DescribeFeed(const FeedOptions& options);

} // namespace quorvane::rated
