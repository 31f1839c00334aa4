// RateInfo: each pair's rate with its source and as-of time, from the local rate service's JSON answer
// (GET ENDPOINT?rates=USD-JPY,...). The SOAP exchange is untouched by it; a service without this answer
// (any other CurrencyConvertor) simply fails the call.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "service/CurrencyConvertor.h"
#include "service/ServiceResult.h"

namespace quorvane {

class HttpTransport;

struct RateInfo {
    CurrencyPair pair{};
    double rate = 0;       // 0 when error is set
    std::string source;    // "coinbase", "ecb" or "simulated"
    std::int64_t asOf = 0; // the time the rate holds for, Unix seconds; 0 unknown
    std::string error;     // the service's reason when it has no rate for the pair
};

// The address of the answer for pairs at the service whose description or endpoint is serviceAddress
// (empty: the local rate service); its query is replaced.
std::string RateInfoAddress(std::string_view serviceAddress, const std::vector<CurrencyPair>& pairs);

// Reads the answer for pairs, one RateInfo per pair in their order. Fails (Parse) on bytes that are not
// such an answer, or one for other pairs. No sockets; bounded in size and depth.
ServiceResult<std::vector<RateInfo>> ReadRateInfo(std::string_view json,
                                                  const std::vector<CurrencyPair>& pairs);

// Asks the service at serviceAddress (as RateInfoAddress) for pairs, at most MaxRateInfoPairs. Blocks for
// one GET bounded by the transport's time-outs (a transport of its own with short ones when none is
// given). Fails with the reason: network, time-out, HTTP status (404 from a service without the answer),
// parse. Never throws but for memory.
ServiceResult<std::vector<RateInfo>> GetRateInfo(const std::vector<CurrencyPair>& pairs,
                                                 std::string_view serviceAddress = {},
                                                 HttpTransport* transport = nullptr);

// Whether the rate is older than its source's normal age at now (Unix seconds): intraday rates after 5
// minutes; ECB rates once a later working day's publication (16:00 CET, with 2 hours for it to be read) has
// passed, so that Friday's rates are not stale on Monday morning. TARGET closing days (1 January, Good
// Friday, Easter Monday, 1 May, 25 and 26 December) are no working days. Simulated rates never are stale;
// a rate of an unknown source or time always is.
bool IsRateStale(const RateInfo& info, std::int64_t now);

// Answers larger than this are not ones.
inline constexpr std::size_t MaxRateInfoAnswer = 64 * 1024;

} // namespace quorvane
