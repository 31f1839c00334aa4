// Coinbase's public exchange rates (no key needed) as an intraday Source.
#include <nlohmann/json.hpp>

#include <charconv>
#include <chrono>
#include <cmath>
#include <limits>

#include "rated/Source.h"

namespace quorvane::rated {

namespace {

using Json = nlohmann::json;

// The answer is two objects deep; anything deeper is discarded while parsing, so that a hostile
// document cannot make the tree large.
constexpr int MaxDepth = 3;

double DecimalValue(const Json& value) {
    if (!value.is_string())
        return std::numeric_limits<double>::quiet_NaN();
    const auto& text = value.get_ref<const std::string&>();
    double number = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, number, std::chars_format::fixed);
    if (text.empty() || ec != std::errc() || ptr != end)
        return std::numeric_limits<double>::quiet_NaN();
    return number;
}

std::int64_t Now() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

class CoinbaseSource final : public Source {
public:
    CoinbaseSource(std::string address, ReadLimits limits) : address_(std::move(address)), limits_(limits) {
        limits_.maxBytes = std::min(limits_.maxBytes, MaxCoinbaseDocument);
    }
    RateOrigin Origin() const override { return RateOrigin::Coinbase; }

    Result<FetchedRates> Fetch(Currency base, const std::atomic<bool>* cancel) override {
        if (base != EUR)
            return Error{"rates are kept against the euro"};
        const std::string url =
            address_ + (address_.find('?') == std::string::npos ? "?" : "&") + "currency=EUR";
        auto bytes = ReadRatesSource(url, cancel, limits_);
        if (!bytes)
            return bytes.error();
        auto rates = ParseCoinbaseRates(bytes.value(), Now()); // the time of the answer
        if (!rates)
            return Error{url + ": " + rates.error().text};
        return FetchedRates{std::move(rates.value()), std::move(bytes.value())};
    }

private:
    std::string address_;
    ReadLimits limits_;
};

} // namespace

std::unique_ptr<Source> MakeCoinbaseSource(std::string address, ReadLimits limits) {
    return std::make_unique<CoinbaseSource>(std::move(address), limits);
}

Result<RateSet> ParseCoinbaseRates(std::string_view document, std::int64_t asOf) {
    if (document.size() > MaxCoinbaseDocument)
        return Error{"larger than " + std::to_string(MaxCoinbaseDocument) + " bytes"};
    const Json::parser_callback_t shallow = [](int depth, Json::parse_event_t, Json&) {
        return depth <= MaxDepth;
    };
    const Json root = Json::parse(document.begin(), document.end(), shallow, false);
    if (root.is_discarded() || !root.is_object())
        return Error{"not a JSON object"};
    const auto data = root.find("data");
    if (data == root.end() || !data->is_object())
        return Error{"no \"data\" object"};
    const auto currency = data->find("currency");
    if (currency == data->end() || !currency->is_string() || currency->get_ref<const std::string&>() != "EUR")
        return Error{"the rates are not against EUR"};
    const auto list = data->find("rates");
    if (list == data->end() || !list->is_object() || list->empty())
        return Error{"no \"rates\" object"};
    RateSet rates;
    rates.origin[EUR] = RateOrigin::Coinbase;
    rates.asOf[EUR] = asOf;
    for (const auto& [code, value] : list->items()) {
        const int c = CurrencyFromExternalName(code);
        if (c < 0) {
            ++rates.ignored;
            continue;
        }
        if (c == EUR)
            continue; // the base, whatever the answer says
        rates.perEuro[c] = DecimalValue(value);
        rates.origin[c] = RateOrigin::Coinbase;
        rates.asOf[c] = asOf;
    }
    return rates;
}

} // namespace quorvane::rated
