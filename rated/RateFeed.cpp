#include "rated/RateFeed.h"

#include <cmath>
#include <filesystem>

#include "rated/RateSource.h"
#include "rated/SoapMessages.h"
#include "util/FileRead.h"
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
    else if (!options_.intraday.empty())
        intradaySource_ = MakeCoinbaseSource(options_.intraday, options_.intradayLimits);
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
    auto fetched = MakeEcbSource(source)->Fetch(EUR, &stopping_);
    if (!fetched) {
        const auto kept = Current();
        std::string line = "warning: " + fetched.error().text;
        if (kept->CoveredCount() > 1)
            line += "; keeping the rates of " +
                    (kept->date.empty() ? std::string("the last good read") : kept->date);
        log_(line);
        return fetched.error();
    }
    RateSet& rates = fetched.value().rates;
    const int covered = rates.CoveredCount();
    std::string line = "rates: " + std::to_string(covered) + " currencies";
    if (!rates.date.empty())
        line += " of " + rates.date;
    line += " from " + source;
    if (!fromSource && source == options_.cacheFile)
        line += " (the last good copy of " + options_.source + ")";
    if (rates.ignored > 0)
        line += " (" + std::to_string(rates.ignored) + " codes the service does not offer left out)";
    if (fromSource && !options_.cacheFile.empty() && options_.cacheFile != source)
        KeepCopy(fetched.value().document);
    {
        std::lock_guard update(updateMutex_);
        std::lock_guard lock(mutex_);
        ecb_ = std::make_shared<const RateSet>(std::move(rates));
        Publish();
    }
    log_(line); // once the rates it names are the ones served
    return covered;
}

Result<int> RateFeed::LoadIntraday() {
    if (!intradaySource_)
        return Error{"no intraday source"};
    auto fetched = intradaySource_->Fetch(EUR, &stopping_);
    std::lock_guard update(updateMutex_);
    std::shared_ptr<const RateSet> ecb;
    {
        std::lock_guard lock(mutex_);
        ecb = ecb_;
    }
    Result<int> kept =
        fetched ? KeepSaneRates(fetched.value().rates, ecb.get()) : Result<int>(fetched.error());
    if (kept && kept.value() == 0)
        kept = Error{options_.intraday + ": no usable rate in the answer"};
    if (!kept) {
        if (!options_.intradayOnly) {
            std::lock_guard lock(mutex_);
            intraday_.reset();
            Publish();
        }
        if (serving_ != Serving::Ecb) {
            serving_ = Serving::Ecb;
            log_(options_.intradayOnly
                     ? "warning: " + kept.error().text + "; keeping the last intraday rates"
                     : "source: ECB reference rates" + (ecb && !ecb->date.empty() ? " of " + ecb->date : "") +
                           " (intraday rates failed: " + kept.error().text + ")");
        }
        return kept.error();
    }
    {
        std::lock_guard lock(mutex_);
        intraday_ = std::make_shared<const RateSet>(std::move(fetched.value().rates));
        Publish();
    }
    if (serving_ != Serving::Intraday) {
        serving_ = Serving::Intraday;
        log_("source: intraday rates of " + std::string(RateOriginName(intradaySource_->Origin())) + ", " +
             std::to_string(kept.value()) + " currencies from " + options_.intraday);
    }
    return kept;
}

// Drops from fresh every rate that is not finite, not positive, or too far from the last good one (the
// last intraday rate of the code, else a recent ECB rate); returns how many are left besides the euro.
int RateFeed::KeepSaneRates(RateSet& fresh, const RateSet* ecb) {
    constexpr std::int64_t RecentEcb = 7 * 86400;
    int kept = 0;
    for (int c = 0; c < CurrencyCount; ++c) {
        if (c == EUR || fresh.origin[c] == RateOrigin::None)
            continue;
        const double rate = fresh.perEuro[c];
        double last = lastIntraday_[c];
        if (last <= 0 && ecb && ecb->Covers(static_cast<Currency>(c)) &&
            fresh.asOf[c] - ecb->asOf[c] < RecentEcb)
            last = ecb->perEuro[c];
        const std::string code(CurrencyExternalName(static_cast<Currency>(c)));
        std::string fault;
        if (!std::isfinite(rate) || rate <= 0)
            fault = "it is not a positive number";
        else if (last > 0 && std::abs(rate - last) > MaxIntradayMove * last)
            fault = RateText(rate) + " is more than 50 % away from " + RateText(last);
        if (!fault.empty()) {
            if (!dropped_[c]) // once while it stays out, not every refresh
                log_("warning: intraday rate of " + code + " dropped: " + fault);
            dropped_[c] = true;
            fresh.perEuro[c] = 0;
            fresh.origin[c] = RateOrigin::None;
            fresh.asOf[c] = 0;
            continue;
        }
        lastIntraday_[c] = rate;
        dropped_[c] = false;
        ++kept;
    }
    return kept;
}

void RateFeed::Publish() {
    if (!intraday_) {
        current_ = ecb_ ? ecb_ : std::make_shared<const RateSet>();
        return;
    }
    if (!ecb_ || options_.intradayOnly) {
        current_ = intraday_;
        return;
    }
    auto merged = std::make_shared<RateSet>(*ecb_);
    for (int c = 0; c < CurrencyCount; ++c) {
        if (intraday_->Covers(static_cast<Currency>(c))) {
            merged->perEuro[c] = intraday_->perEuro[c];
            merged->origin[c] = intraday_->origin[c];
            merged->asOf[c] = intraday_->asOf[c];
        }
    }
    current_ = std::move(merged);
}

// Written beside and renamed over, so that a reader never sees half a copy.
void RateFeed::KeepCopy(const std::string& bytes) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(options_.cacheFile).parent_path(), ec);
    if (ReplaceFileBytes(options_.cacheFile, bytes) != 0)
        log_("warning: cannot keep a copy of the rates in " + options_.cacheFile);
}

void RateFeed::StartRefreshing(bool readNow) {
    const bool ecbPeriodic = options_.refresh.count() > 0 && !options_.intradayOnly;
    if ((!ecbPeriodic && !readNow && !intradaySource_) || refresher_.joinable())
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
    using Clock = std::chrono::steady_clock;
    const bool ecbPeriodic = options_.refresh.count() > 0 && !options_.intradayOnly;
    if (readNow && !options_.intradayOnly)
        Load();
    if (intradaySource_)
        LoadIntraday();
    if (!ecbPeriodic && !intradaySource_)
        return;
    auto nextEcb = Clock::now() + options_.refresh;
    auto nextIntraday = Clock::now() + options_.intradayRefresh;
    std::unique_lock lock(stopMutex_);
    for (;;) {
        const auto due = !intradaySource_ ? nextEcb
                         : ecbPeriodic    ? std::min(nextEcb, nextIntraday)
                                          : nextIntraday;
        if (stopSignal_.wait_until(lock, due, [this] { return stopping_.load(); }))
            return;
        lock.unlock();
        if (ecbPeriodic && Clock::now() >= nextEcb) {
            Load();
            nextEcb = Clock::now() + options_.refresh;
        }
        if (intradaySource_ && Clock::now() >= nextIntraday) {
            LoadIntraday();
            nextIntraday = Clock::now() + options_.intradayRefresh;
        }
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
    auto quote = Quote(from, to);
    if (!quote)
        return quote.error();
    return quote.value().rate;
}

Result<RateQuote> RateFeed::Quote(Currency from, Currency to) const {
    const auto rates = Current();
    for (Currency c : {from, to})
        if (!rates->Covers(c))
            return Error{"No reference rate for " + std::string(CurrencyExternalName(c)) +
                         (rates->date.empty() ? std::string() : " in the rates of " + rates->date)};
    const PairOrigin origin = OriginOf(*rates, from, to);
    if (!walk_)
        return RateQuote{CrossRate(*rates, from, to), origin.origin, origin.asOf};
    const std::int64_t step = WalkStep();
    const double rate =
        rates->perEuro[to] * walk_->Factor(to, step) / (rates->perEuro[from] * walk_->Factor(from, step));
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return RateQuote{rate, RateOrigin::Simulated,
                     std::chrono::duration_cast<std::chrono::seconds>(now).count()};
}

std::string DescribeFeed(const FeedOptions& options) {
    std::string text = "Conversion rates computed from the euro foreign exchange reference rates read from " +
                       options.source;
    text += options.refresh.count() > 0
                ? ", read again every " + std::to_string(options.refresh.count()) + " s."
                : ".";
    if (!options.intraday.empty())
        text += " Intraday rates read from " + options.intraday + " every " +
                std::to_string(options.intradayRefresh.count()) + " s are served " +
                (options.intradayOnly ? "alone." : "before these while they answer.");
    if (options.simulate)
        text += " SIMULATED: every rate drifts in a random walk of up to 4 basis points a second (--walk-start " +
                std::to_string(options.walkStart) + "); these are not real rates.";
    return text;
}

} // namespace quorvane::rated
