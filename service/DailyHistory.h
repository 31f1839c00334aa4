// DailyHistory: the local rate service's daily ECB rates of a pair over the last 90 days.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "service/HttpTransport.h"
#include "service/ServiceResult.h"
#include "util/Currency.h"

namespace quorvane {

struct DailyRate {
    std::string date; // YYYY-MM-DD
    double rate = 0;
    bool operator==(const DailyRate&) const = default;
};

// More lines than a year of working days is not an answer of ours.
inline constexpr std::size_t MaxDailyHistoryDays = 400;

// Reads the service's answer to GET /history: the line "date,rate", then "YYYY-MM-DD,RATE" lines (CR LF
// or LF). Pure. Fails with Parse naming the line on anything else: a bad date, a rate that is not a
// positive finite number, more than MaxDailyHistoryDays lines.
ServiceResult<std::vector<DailyRate>> ParseDailyHistory(std::string_view body);

// The history address beside the service's endpoint: http://HOST:PORT/history?from=USD&to=JPY for
// http://HOST:PORT/CurrencyConvertor.asmx. Empty when endpoint is not an http(s) address.
std::string DailyHistoryUrl(const std::string& endpoint, Currency from, Currency to);

// GETs and reads the pair's history through transport; blocks within the transport's time-outs.
// Fails with HttpStatus (the body's first line as the reason), Network, Timeout or Parse.
ServiceResult<std::vector<DailyRate>> FetchDailyHistory(HttpTransport& transport, const std::string& endpoint,
                                                        Currency from, Currency to);

} // namespace quorvane
