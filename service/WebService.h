// WebService: the one kept rate service proxy and the calls the rest of the program makes.
#pragma once

#include <memory>
#include <string>

#include "util/Currency.h"
#include "service/CurrencyConvertor.h"
#include "service/ServiceResult.h"

namespace quorvane {

// Makes and keeps the proxy for the service description at descriptionAddress (the SERVICE_URL setting;
// empty: the local rate service). Sends nothing; false when no proxy could be made.
bool InitRateService(const std::string& descriptionAddress);

// The current rate of the pair. Blocks for the HTTP exchange (bounded by our time-outs); 0 on any
// failure, including a missing proxy or an ordinal that names no Currency. Never throws.
double GetConversionRate(Currency from, Currency to);

// The same call with the reason of a failure kept (HTTP status, fault string, parse error, time-out,
// unknown code, no proxy), for quorvanectl and diagnostics. Never throws.
ServiceResult<double> RequestConversionRate(Currency from, Currency to);

// The kept proxy; empty until InitRateService succeeds.
extern std::shared_ptr<CurrencyConvertorSoap> RateService;

} // namespace quorvane
