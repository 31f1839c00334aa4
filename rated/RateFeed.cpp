#include "rated/RateFeed.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "rated/RateSource.h"
#include "util/PrintableText.h"
#include "util/Text.h"

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
    return LoadFrom(options_.source, true);
}

Result<int> RateFeed::LoadFallback() {
    Result<int> loaded = Error{"no rates to fall back on"};
    std::error_code ec;
    for (const std::string& source : options_.fallbacks) {
        if (!quorvane::IsHttpAddress(source) && !std::filesystem::exists(source, ec))
            continue; // no copy kept yet: nothing to warn about
        if ((loaded = LoadFrom(source, false)))
            break;
    }
    return loaded;
}

Result<int> RateFeed::LoadFrom(const std::string& source, bool fromSource) {
    auto bytes = ReadRatesSource(source, &stopping_);
    auto rates = bytes ? ParseEcbRates(bytes.value()) : Result<RateSet>(bytes.error());
    if (bytes && !rates)
        rates = Error{source + ": " + rates.error().text};
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
    line += " from " + source;
    if (!fromSource && source == options_.cacheFile)
        line += " (the last good copy of " + options_.source + ")";
    if (rates.value().ignored > 0)
        line += " (" + std::to_string(rates.value().ignored) + " codes the service does not offer left out)";
    if (fromSource && !options_.cacheFile.empty() && options_.cacheFile != source)
        KeepCopy(bytes.value());
    {
        std::lock_guard lock(mutex_);
        current_ = std::make_shared<const RateSet>(std::move(rates.value()));
    }
    log_(line); // once the rates it names are the ones served
    return covered;
}

// Written beside and renamed over, so that a reader never sees half a copy.
void RateFeed::KeepCopy(const std::string& bytes) {
    namespace fs = std::filesystem;
    const fs::path target(options_.cacheFile);
    const fs::path temporary = target.string() + "." + std::to_string(::getpid()) + ".part";
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out)
            ec = std::make_error_code(std::errc::io_error);
    }
    if (!ec)
        fs::rename(temporary, target, ec);
    if (ec) {
        fs::remove(temporary, ec);
        log_("warning: cannot keep a copy of the rates in " + target.string());
    }
}

void RateFeed::StartRefreshing(bool readNow) {
    if ((options_.refresh.count() <= 0 && !readNow) || refresher_.joinable())
        return;
    stopping_ = false;
    refresher_ = std::thread([this, readNow] { RefreshLoop(readNow); });
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

void RateFeed::RefreshLoop(bool readNow) {
    if (readNow)
        Load();
    if (options_.refresh.count() <= 0)
        return;
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
