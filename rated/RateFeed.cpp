#include "rated/RateFeed.h"

#include "rated/RateSource.h"
#include "util/PrintableText.h"

namespace quorvane::rated {

LogSink PrintableLog(LogSink sink) {
    return [sink = std::move(sink)](const std::string& line) {
        if (sink)
            sink(PrintableUtf8(line));
    };
}

RateFeed::RateFeed(FeedOptions options, LogSink log)
    : options_(std::move(options)), log_(PrintableLog(std::move(log))), started_(std::chrono::steady_clock::now()),
      current_(std::make_shared<const RateSet>()) {
    if (options_.simulate)
        walk_ = std::make_unique<RandomWalk>(options_.walkStart);
}

RateFeed::~RateFeed() {
    StopRefreshing();
}

Result<int> RateFeed::Load() {
    auto bytes = ReadRatesSource(options_.source, &stopping_);
    auto rates = bytes ? ParseEcbRates(bytes.value()) : Result<RateSet>(bytes.error());
    if (!rates) {
        const auto kept = Current();
        std::string line = "warning: " + rates.error().text;
        if (kept->CoveredCount() > 1)
            line += "; keeping the rates of " +
                    (kept->date.empty() ? std::string("the last good read") : kept->date);
        log_(line);
        return rates.error();
    }
    const int covered = rates.value().CoveredCount();
    std::string line = "rates: " + std::to_string(covered) + " currencies";
    if (!rates.value().date.empty())
        line += " of " + rates.value().date;
    line += " from " + options_.source;
    if (rates.value().ignored > 0)
        line += " (" + std::to_string(rates.value().ignored) + " codes the service does not offer left out)";
    log_(line);
    std::lock_guard lock(mutex_);
    current_ = std::make_shared<const RateSet>(std::move(rates.value()));
    return covered;
}

void RateFeed::StartRefreshing() {
    if (options_.refresh.count() <= 0 || refresher_.joinable())
        return;
    stopping_ = false;
    refresher_ = std::thread([this] { RefreshLoop(); });
}

void RateFeed::StopRefreshing() {
    {
        std::lock_guard lock(stopMutex_);
        stopping_ = true;
    }
    stopSignal_.notify_all();
    if (refresher_.joinable())
        refresher_.join();
}

void RateFeed::RefreshLoop() {
    std::unique_lock lock(stopMutex_);
    while (!stopSignal_.wait_for(lock, options_.refresh, [this] { return stopping_.load(); })) {
        lock.unlock();
        Load();
        lock.lock();
    }
}

std::shared_ptr<const RateSet> RateFeed::Current() const {
    std::lock_guard lock(mutex_);
    return current_;
}

std::int64_t RateFeed::WalkStep() const {
    if (options_.walkStep)
        return options_.walkStep();
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started_)
        .count();
}

Result<double> RateFeed::Rate(Currency from, Currency to) const {
    const auto rates = Current();
    for (Currency c : {from, to})
        if (!rates->Covers(c))
            return Error{"No reference rate for " + std::string(CurrencyExternalName(c)) +
                         (rates->date.empty() ? std::string() : " in the rates of " + rates->date)};
    if (!walk_)
        return CrossRate(*rates, from, to);
    const std::int64_t step = WalkStep();
    return rates->perEuro[to] * walk_->Factor(to, step) / (rates->perEuro[from] * walk_->Factor(from, step));
}

std::string DescribeFeed(const FeedOptions& options) {
    std::string text = "Conversion rates computed from the euro foreign exchange reference rates read from " +
                       options.source;
    text += options.refresh.count() > 0
                ? ", read again every " + std::to_string(options.refresh.count()) + " s."
                : ".";
    if (options.simulate)
        text += " SIMULATED: every rate drifts in a random walk of up to 4 basis points a second (--walk-start " +
                std::to_string(options.walkStart) + "); these are not real rates.";
    return text;
}

} // namespace quorvane::rated
