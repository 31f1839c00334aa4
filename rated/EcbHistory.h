// EcbHistory: the ECB's reference rates of the last 90 days, read, kept and served per pair.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "rated/RateFeed.h"
#include "rated/RateSet.h"
#include "rated/Result.h"

namespace quorvane::rated {

// The document of the last 90 days: the daily document's shape with one Cube time=... per working day.
inline constexpr const char* EcbHistoryAddress =
    "https://www.ecb.europa.eu/stats/eurofxref/eurofxref-hist-90d.xml";

// EcbHistoryAddress, or the variable QUORVANE_ECB_HISTORY_URL when set (a mirror, a file, a test's server).
std::string LiveHistoryAddress();
// eurofxref-hist-90d.xml in the user's cache folder, beside the daily rates' copy.
std::string HistoryCacheFile();

// About 64 working days in 90; the whole history since 1999 would be some 6,700.
inline constexpr std::size_t MaxHistoryDays = 400;

struct RateHistory {
    std::vector<RateSet> days; // oldest first, one per date
};

// Reads every day of the document (at most MaxHistoryDays, within the XML reader's limits; no entity is
// expanded). Fails, naming the fault, on a document that is not well-formed, has no dated day, more
// days than the limit, or a day with a bad rate. A date given twice keeps its first day.
Result<RateHistory> ParseEcbHistory(std::string_view document);

// One day of a pair: the date as the ECB gives it and the cross rate.
struct DayRate {
    std::string date;
    double rate = 0;
};

// The days on which both currencies have a rate, oldest first.
std::vector<DayRate> PairHistory(const RateHistory& history, Currency from, Currency to);

// The answer to GET /history?from=USD&to=JPY: status 200 with "date,rate" then one line per day, or a
// status with a one-line reason (400 for a bad request, 404 for a pair without rates, 503 while no
// history has been read). history may be null.
struct HistoryAnswer {
    int status = 200;
    std::string body;
};
HistoryAnswer AnswerHistoryRequest(const RateHistory* history, std::string_view from, std::string_view to);

// The history document read from its source at start and every refresh period after, on a thread of its
// own; a good read is copied to cacheFile, which is read first so that a start without network has it.
class HistoryFeed {
public:
    HistoryFeed(std::string source, std::string cacheFile, LogSink log,
                std::chrono::seconds refresh = std::chrono::hours(6));
    ~HistoryFeed();
    HistoryFeed(const HistoryFeed&) = delete;
    HistoryFeed& operator=(const HistoryFeed&) = delete;

    // Reads source (file or http(s) address) now; blocks. Returns the number of days, or why it failed,
    // which is logged too; the last good history stays in use.
    Result<int> Load(const std::string& source);

    void StartRefreshing();
    void StopRefreshing();

    std::shared_ptr<const RateHistory> Current() const;

private:
    void KeepCopy(const std::string& bytes);

    std::string source_;
    std::string cacheFile_;
    LogSink log_;
    std::chrono::seconds refresh_;
    mutable std::mutex mutex_;
    std::shared_ptr<const RateHistory> current_;
    std::mutex stopMutex_;
    std::condition_variable stopSignal_;
    std::atomic<bool> stopping_{false};
    std::thread refresher_;
};

} // namespace quorvane::rated
