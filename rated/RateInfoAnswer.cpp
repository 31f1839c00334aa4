#include "rated/RateInfoAnswer.h"

#include <nlohmann/json.hpp>

#include "service/ServiceNames.h"

namespace quorvane::rated {

namespace {

Result<Currency> CodeOf(std::string_view code) {
    const int c = CurrencyFromExternalName(code);
    if (c < 0)
        return Error{"unknown currency code '" + std::string(code.substr(0, 8)) + "'"};
    return static_cast<Currency>(c);
}

} // namespace

Result<std::string> WriteRateInfo(const RateFeed& feed, std::string_view pairs) {
    nlohmann::json list = nlohmann::json::array();
    std::size_t count = 0;
    while (!pairs.empty()) {
        const std::size_t comma = pairs.find(',');
        const std::string_view pair = pairs.substr(0, comma);
        pairs = comma == std::string_view::npos ? std::string_view() : pairs.substr(comma + 1);
        const std::size_t dash = pair.find('-');
        if (++count > MaxRateInfoPairs)
            return Error{"at most " + std::to_string(MaxRateInfoPairs) + " pairs"};
        if (dash == std::string_view::npos)
            return Error{"a pair is written FROM-TO, as USD-JPY"};
        const auto from = CodeOf(pair.substr(0, dash));
        const auto to = CodeOf(pair.substr(dash + 1));
        if (!from || !to)
            return from ? to.error() : from.error();
        nlohmann::json item = {{"from", CurrencyExternalName(from.value())},
                               {"to", CurrencyExternalName(to.value())}};
        const auto quote = feed.Quote(from.value(), to.value());
        if (quote) {
            item["rate"] = quote.value().rate;
            item["source"] = RateOriginName(quote.value().origin);
            item["asOf"] = quote.value().asOf;
        } else {
            item["error"] = quote.error().text;
        }
        list.push_back(std::move(item));
    }
    if (count == 0)
        return Error{"no pair asked for"};
    return nlohmann::json{{"rates", std::move(list)}}.dump(-1, ' ', false,
                                                           nlohmann::json::error_handler_t::replace);
}

} // namespace quorvane::rated
