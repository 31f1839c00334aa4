// Monitor: the monitored slots, their rate histories and the fetch cycle, without any window.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "alert/CoolDown.h"
#include "service/CurrencyConvertor.h"
#include "service/RateInfo.h"
#include "service/ServiceResult.h"
#include "util/Currency.h"
#include "util/Quotes.h"

namespace quorvane {

class HistoryRecorder;

// A slot's ring of its last three rates.
struct TRateHistory {
    std::array<double, 3> Rates{};
    std::int32_t Last = 0;
    std::int32_t Next = 0;
};
using RateHistories = std::array<TRateHistory, SlotCount>;

void PushRate(TRateHistory& history, double rate);
double PreviousRate(const TRateHistory& history); // the rate stored last
double LatestRate(const TRateHistory& history);   // the rate just before Next; Rates[0] when Next is 0

// Where a cycle's rates come from. ConversionRates returns one result per pair, in their order; it blocks
// for the exchange (bounded by the client's time-outs) and never throws. It may be called from another
// thread than the monitor's, while the monitor is not touched there.
class RateClient {
public:
    virtual ~RateClient() = default;
    virtual std::vector<ServiceResult<double>> ConversionRates(const std::vector<CurrencyPair>& pairs) = 0;
    // The source and as-of time of the pairs' rates, one per pair in their order; one short request, bounded
    // by time-outs of its own. The same threading as ConversionRates. A client that cannot tell fails it.
    virtual ServiceResult<std::vector<RateInfo>> RateInfos(const std::vector<CurrencyPair>& pairs);
};

// The program's rate service proxy (RequestConversionRates, RequestRateInfo).
class ServiceRateClient : public RateClient {
public:
    std::vector<ServiceResult<double>> ConversionRates(const std::vector<CurrencyPair>& pairs) override;
    ServiceResult<std::vector<RateInfo>> RateInfos(const std::vector<CurrencyPair>& pairs) override;
};

// Evaluates one side of a slot's alarm against a rate taken at time now and runs its actions; returns the
// side's state.
class AlarmActions {
public:
    virtual ~AlarmActions() = default;
    virtual bool Check(int slot, bool upper, double rate, const std::string& title, AlarmTime now) = 0;
};

// The program's alarms: CheckAlert with the current mute switch.
class CheckAlertActions : public AlarmActions {
public:
    bool Check(int slot, bool upper, double rate, const std::string& title, AlarmTime now) override;
};

using MonitorClock = std::function<std::chrono::system_clock::time_point()>;

// The service's answer on the source and as-of time of a cycle's rates; none when it was not asked.
using RateInfoAnswer = std::optional<ServiceResult<std::vector<RateInfo>>>;

// The slots a cycle asks for, in slot order, and their pairs.
struct CycleRequest {
    std::vector<int> watched; // slot numbers
    std::vector<CurrencyPair> pairs;
    bool empty() const { return watched.empty(); }
};

enum class SlotOutcome {
    Shown,   // a rate was recorded and its alarms evaluated
    Failed,  // no usable rate; the cycle ended here
    Dropped, // asked for together with a slot before it that failed; left as it was
};

// What a cycle did to one slot, for the window to draw.
struct SlotUpdate {
    int slot = 0;
    SlotOutcome outcome = SlotOutcome::Shown;
    double rate = 0;
    double previous = 0; // the rate recorded before this one
    double change = 0;   // rate - previous
    bool upper = false;  // the upper side's alarm state
    bool lower = false;
    std::string reason; // why the fetch failed, with Failed
    std::chrono::system_clock::time_point time;
};

// Where a slot's shown rate came from and how old it is.
struct SlotAge {
    bool known = false;    // the service told its source and time; nothing below holds without it
    std::string source;    // "coinbase", "ecb" or "simulated"
    std::int64_t asOf = 0; // Unix seconds
    bool stale = false;    // older than its source's normal age
};

class Monitor {
public:
    // The collaborators outlive the monitor.
    Monitor(RateClient& rates, AlarmActions& alarms, MonitorClock clock);

    // The monitor's own copy of the slots; a cycle reads nothing else about them.
    QuoteTable& Quotes() { return quotes_; }
    const QuoteTable& Quotes() const { return quotes_; }
    RateHistories& Histories() { return histories_; }
    const RateHistories& Histories() const { return histories_; }

    // Next and Rates[0] of every slot only, as monitoring is switched on.
    void ResetHistories();

    // The enabled slots with both currencies named, in slot order. Empty: the cycle has nothing to do.
    CycleRequest StartCycle() const;
    // The rates of a request from the rate client. Blocks as the client does; touches no monitor state.
    std::vector<ServiceResult<double>> Fetch(const CycleRequest& request) const;
    // Applies the results of request in slot order, one update per requested slot. The first result that
    // is not a positive finite rate ends the cycle: that slot is Failed with its reason, the rest Dropped.
    // shown, when given, is called with each slot's update as it is made, before the next slot's alarms.
    // The recorder stores each shown rate at its as-of time and with its source when infos tell them.
    std::vector<SlotUpdate> FinishCycle(const CycleRequest& request,
                                        const std::vector<ServiceResult<double>>& results,
                                        const std::function<void(const SlotUpdate&)>& shown = {},
                                        const RateInfoAnswer& infos = std::nullopt);
    // The source and as-of time of the request's rates, asked for after them in the same worker run, when
    // results will show at least one (otherwise nothing is sent). Blocks as the client does; touches no
    // monitor state.
    RateInfoAnswer FetchInfo(const CycleRequest& request,
                             const std::vector<ServiceResult<double>>& results) const;
    // Keeps, for every slot the updates show, its entry of infos (the answer for request). A slot shown
    // without one (no answer, a service without it, an error for the pair) forgets the one it had, so that
    // no age outlives the rate it was for.
    void ApplyInfo(const CycleRequest& request, const std::vector<SlotUpdate>& updates,
                   const RateInfoAnswer& infos);
    // The age of the slot's rate at now (Unix seconds); unknown when the slot's pair has changed since.
    SlotAge Age(int slot, std::int64_t now) const;

    // StartCycle, Fetch and FinishCycle at once.
    std::vector<SlotUpdate> RunCycle(const std::function<void(const SlotUpdate&)>& shown = {});

    // Records one rate for a slot: evaluates its alarms (upper, then lower) against the rate before it is
    // stored, then stores it. An exception of an alarm action passes through, with nothing stored.
    SlotUpdate SetRate(int slot, double rate);

    // Where each finished cycle's rates are written; none by default. It outlives the monitor (or is
    // unset first). The monitor tells it each rate's origin from the cycle's infos.
    void SetRecorder(HistoryRecorder* recorder);

private:
    RateClient& rates_;
    AlarmActions& alarms_;
    MonitorClock clock_;
    QuoteTable quotes_;
    RateHistories histories_{};
    std::array<std::optional<RateInfo>, SlotCount> infos_{};
    HistoryRecorder* recorder_ = nullptr;
    // The finishing cycle's request and infos, while its rates are recorded.
    const CycleRequest* recording_ = nullptr;
    const RateInfoAnswer* recordingInfos_ = nullptr;
};

} // namespace quorvane
