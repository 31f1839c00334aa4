// WebService: the one kept rate service proxy and the calls the rest of the program makes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "util/Currency.h"
#include "service/CurrencyConvertor.h"
#include "service/RateInfo.h"
#include "service/ServiceResult.h"

namespace quorvane {

// Makes and keeps the proxy for the service description at descriptionAddress (the SERVICE_URL setting;
// empty: the local rate service). Sends nothing; false when no proxy could be made.
bool InitRateService(const std::string& descriptionAddress);

// Points the rate service at the description at address (empty: the built-in default) from the next
// request on, with a proxy made anew. Sends nothing. False when no proxy could be made; requests then
// fail until one can.
bool UseServiceDescription(const std::string& address);

// The current rate of the pair. Blocks for the HTTP exchange (bounded by our time-outs); 0 on any
// failure, including a missing proxy or an ordinal that names no Currency. Never throws.
double GetConversionRate(Currency from, Currency to);

// The same call with the reason of a failure kept (HTTP status, fault string, parse error, time-out,
// unknown code, no proxy), for quorvanectl and diagnostics. Never throws.
ServiceResult<double> RequestConversionRate(Currency from, Currency to);

// The rates of several pairs, in their order, asked for together on the proxy's kept connections
// (ConversionRates): one round trip and one time-out for all of them, not one each. Each rate is
// 0 when its pair failed, including an answer that is not a finite number. Never throws.
std::vector<double> GetConversionRates(const std::vector<CurrencyPair>& pairs);

// The same with the reason of every failure kept. Never throws.
std::vector<ServiceResult<double>> RequestConversionRates(const std::vector<CurrencyPair>& pairs);

// The source and as-of time of the pairs' rates from the service the proxy was made for (GetRateInfo with
// its own short time-outs). A service without that answer fails it, as does one not set up. Never throws.
ServiceResult<std::vector<RateInfo>> RequestRateInfo(const std::vector<CurrencyPair>& pairs);

// The kept proxy; empty until InitRateService succeeds.
extern std::shared_ptr<CurrencyConvertorSoap> RateService;

} // namespace quorvane
