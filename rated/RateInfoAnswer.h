// RateInfoAnswer: the JSON answer to GET ENDPOINT?rates=FROM-TO,..., each pair's rate with its source and
// as-of time, for Quorvane's own windows and quorvanectl. The SOAP exchange stays as it is.
#pragma once

#include <string>
#include <string_view>

#include "rated/RateFeed.h"
#include "rated/Result.h"

namespace quorvane::rated {

// {"rates":[{"from":"USD","to":"JPY","rate":151.25,"source":"coinbase","asOf":1796888400}, {"from":"USD",
// "to":"AFA","error":"No reference rate for AFA ..."}]}, in the order asked; asOf is in Unix seconds.
// pairs is "USD-JPY,EUR-USD" (codes as the service spells them, at most MaxRateInfoPairs); a list that
// is not one fails with the reason.
Result<std::string> WriteRateInfo(const RateFeed& feed, std::string_view pairs);

} // namespace quorvane::rated
