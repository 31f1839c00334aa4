#include "monitor/Monitor.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <utility>

#include "alert/Alert.h"
#include "monitor/HistoryRecorder.h"
#include "service/WebService.h"
#include "util/Util.h"

namespace quorvane {

void PushRate(TRateHistory& h, double rate) {
    if (h.Next >= 3)
        h.Next = 0;
    h.Rates[h.Next] = rate;
    h.Last = h.Next;
    h.Next = h.Next + 1;
}

double PreviousRate(const TRateHistory& h) {
    return h.Rates.at(h.Last);
}

double LatestRate(const TRateHistory& h) {
    return h.Next == 0 ? h.Rates[0] : h.Rates.at(h.Next - 1);
}

std::vector<ServiceResult<double>>
ServiceRateClient::ConversionRates(const std::vector<CurrencyPair>& pairs) {
    return RequestConversionRates(pairs);
}

ServiceResult<std::vector<RateInfo>> RateClient::RateInfos(const std::vector<CurrencyPair>&) {
    return MakeError(ServiceErrorKind::NotInitialised, "this rate client tells no sources");
}

ServiceResult<std::vector<RateInfo>> ServiceRateClient::RateInfos(const std::vector<CurrencyPair>& pairs) {
    return RequestRateInfo(pairs);
}

bool CheckAlertActions::Check(int slot, bool upper, double rate, const std::string& title, AlarmTime now) {
    return CheckAlert(slot, upper, BasicData.Mute, rate, title, now);
}

Monitor::Monitor(RateClient& rates, AlarmActions& alarms, MonitorClock clock)
    : rates_(rates), alarms_(alarms), clock_(std::move(clock)) {}

void Monitor::ResetHistories() {
    for (TRateHistory& h : histories_) {
        h.Next = 0;
        h.Rates[0] = 0;
    }
}

CycleRequest Monitor::StartCycle() const {
    CycleRequest request;
    for (int slot = 0; slot < SlotCount; ++slot) {
        const TQuote& q = quotes_[slot];
        if (!q.Enable || q.From.empty() || q.To.empty())
            continue;
        request.watched.push_back(slot);
        request.pairs.push_back({static_cast<Currency>(q.FromCur), static_cast<Currency>(q.ToCur)});
    }
    return request;
}

std::vector<ServiceResult<double>> Monitor::Fetch(const CycleRequest& request) const {
    if (request.empty())
        return {};
    return rates_.ConversionRates(request.pairs);
}

namespace {

// Why a result gives no rate to show; empty when it does.
std::string FailureOf(const ServiceResult<double>* result) {
    if (!result)
        return "no answer for this pair";
    if (!result->ok())
        return Describe(result->error());
    const double rate = result->value();
    if (rate > 0 && std::isfinite(rate))
        return {};
    std::ostringstream text;
    text << "the service answered " << rate << ", not a positive rate";
    return text.str();
}

history::PointSource OriginSource(const std::string& source) {
    if (source == "coinbase")
        return history::PointSource::Intraday;
    if (source == "ecb")
        return history::PointSource::EcbDaily;
    return history::PointSource::Service;
}

} // namespace

std::vector<SlotUpdate> Monitor::FinishCycle(const CycleRequest& request,
                                             const std::vector<ServiceResult<double>>& results,
                                             const std::function<void(const SlotUpdate&)>& shown,
                                             const RateInfoAnswer& infos) {
    std::vector<SlotUpdate> updates;
    bool failed = false;
    for (std::size_t i = 0; i < request.watched.size(); ++i) {
        const int slot = request.watched[i];
        if (failed) {
            SlotUpdate dropped;
            dropped.slot = slot;
            dropped.outcome = SlotOutcome::Dropped;
            updates.push_back(dropped);
            continue;
        }
        std::string reason = FailureOf(i < results.size() ? &results[i] : nullptr);
        if (!reason.empty()) {
            failed = true;
            updates.push_back({.slot = slot,
                               .outcome = SlotOutcome::Failed,
                               .reason = std::move(reason),
                               .time = clock_()});
        } else {
            updates.push_back(SetRate(slot, results[i].value()));
        }
        if (shown)
            shown(updates.back());
    }
    if (recorder_) {
        recording_ = &request;
        recordingInfos_ = &infos;
        struct Cleared {
            Monitor* monitor;
            ~Cleared() { monitor->recording_ = nullptr, monitor->recordingInfos_ = nullptr; }
        } cleared{this};
        recorder_->Record(
            request, updates,
            std::chrono::duration_cast<std::chrono::seconds>(clock_().time_since_epoch()).count());
    }
    return updates;
}

void Monitor::SetRecorder(HistoryRecorder* recorder) {
    recorder_ = recorder;
    if (!recorder_)
        return;
    recorder_->SetOrigin([this](const CurrencyPair& pair) -> std::optional<RateOrigin> {
        if (!recording_ || !recordingInfos_ || !*recordingInfos_ || !(*recordingInfos_)->ok())
            return std::nullopt;
        const std::vector<RateInfo>& infos = (*recordingInfos_)->value();
        for (std::size_t i = 0; i < recording_->pairs.size() && i < infos.size(); ++i) {
            const CurrencyPair& asked = recording_->pairs[i];
            if (asked.from != pair.from || asked.to != pair.to)
                continue;
            if (!infos[i].error.empty() || infos[i].asOf <= 0)
                return std::nullopt;
            return RateOrigin{infos[i].asOf, OriginSource(infos[i].source)};
        }
        return std::nullopt;
    });
}

std::vector<SlotUpdate> Monitor::RunCycle(const std::function<void(const SlotUpdate&)>& shown) {
    const CycleRequest request = StartCycle();
    if (request.empty())
        return {};
    return FinishCycle(request, Fetch(request), shown);
}

RateInfoAnswer Monitor::FetchInfo(const CycleRequest& request,
                                  const std::vector<ServiceResult<double>>& results) const {
    // The first slot's result decides whether any is shown: a failure there ends the cycle.
    if (request.empty() || !FailureOf(results.empty() ? nullptr : &results[0]).empty())
        return std::nullopt;
    return rates_.RateInfos(request.pairs);
}

void Monitor::ApplyInfo(const CycleRequest& request, const std::vector<SlotUpdate>& updates,
                        const RateInfoAnswer& infos) {
    for (const SlotUpdate& update : updates) {
        if (update.outcome != SlotOutcome::Shown)
            continue;
        std::optional<RateInfo>& kept = infos_.at(update.slot);
        kept.reset();
        if (!infos || !infos->ok())
            continue;
        const auto at = std::find(request.watched.begin(), request.watched.end(), update.slot);
        const auto i = static_cast<std::size_t>(at - request.watched.begin());
        if (i < infos->value().size() && infos->value()[i].error.empty())
            kept = infos->value()[i];
    }
}

SlotAge Monitor::Age(int slot, std::int64_t now) const {
    const std::optional<RateInfo>& info = infos_.at(slot);
    const TQuote& q = quotes_.at(slot);
    if (!info || info->pair.from != static_cast<Currency>(q.FromCur) ||
        info->pair.to != static_cast<Currency>(q.ToCur))
        return {};
    return {.known = true, .source = info->source, .asOf = info->asOf, .stale = IsRateStale(*info, now)};
}

SlotUpdate Monitor::SetRate(int slot, double rate) {
    TRateHistory& history = histories_.at(slot);
    SlotUpdate update;
    update.slot = slot;
    update.rate = rate;
    update.previous = PreviousRate(history);
    update.change = rate - update.previous;
    const std::string& title = quotes_[slot].Title;
    // The cool-downs count in the monitor's time, which tests set.
    update.time = clock_();
    update.upper = alarms_.Check(slot, true, rate, title, update.time);
    update.lower = alarms_.Check(slot, false, rate, title, update.time);
    PushRate(history, rate);
    return update;
}

} // namespace quorvane
