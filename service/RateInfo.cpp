#include "service/RateInfo.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cmath>

#include "service/HttpTransport.h"
#include "service/ServiceNames.h"

namespace quorvane {

namespace {

using Json = nlohmann::json;

ServiceError Malformed(const std::string& why) {
    return MakeError(ServiceErrorKind::Parse, "rate information: " + why);
}

bool IsString(const Json& item, const char* key, std::string_view expected) {
    const auto found = item.find(key);
    return found != item.end() && found->is_string() && found->get_ref<const std::string&>() == expected;
}

ServiceResult<RateInfo> ReadItem(const Json& item, CurrencyPair pair) {
    RateInfo info;
    info.pair = pair;
    if (!item.is_object() || !IsString(item, "from", CurrencyExternalName(pair.from)) ||
        !IsString(item, "to", CurrencyExternalName(pair.to)))
        return Malformed("an answer for another pair");
    if (const auto error = item.find("error"); error != item.end()) {
        if (!error->is_string())
            return Malformed("an error that is not text");
        info.error = error->get<std::string>().substr(0, 500);
        return info;
    }
    const auto rate = item.find("rate");
    const auto source = item.find("source");
    const auto asOf = item.find("asOf");
    if (rate == item.end() || !rate->is_number() || source == item.end() || !source->is_string() ||
        asOf == item.end() || !asOf->is_number_integer())
        return Malformed("a pair without rate, source and asOf");
    info.rate = rate->get<double>();
    if (!std::isfinite(info.rate) || info.rate <= 0)
        return Malformed("a rate that is not a positive number");
    info.source = source->get<std::string>().substr(0, 40);
    info.asOf = asOf->get<std::int64_t>();
    return info;
}

// Easter Sunday of a Gregorian year (the anonymous Gregorian computus).
std::chrono::sys_days EasterSunday(int year) {
    const int a = year % 19, b = year / 100, c = year % 100, d = b / 4, e = b % 4;
    const int f = (b + 8) / 25, g = (b - f + 1) / 3, h = (19 * a + b - d - g + 15) % 30;
    const int i = c / 4, k = c % 4, l = (32 + 2 * e + 2 * i - h - k) % 7;
    const int m = (a + 11 * h + 22 * l) / 451;
    const int n = h + l - 7 * m + 114;
    return std::chrono::year{year} / static_cast<unsigned>(n / 31) / static_cast<unsigned>(n % 31 + 1);
}

// The TARGET closing days, on which the ECB publishes no rates although they fall on a weekday.
bool IsEcbHoliday(std::int64_t day) {
    using namespace std::chrono;
    const sys_days date{days{day}};
    const year_month_day civil{date};
    const unsigned month = static_cast<unsigned>(civil.month()),
                   dayOfMonth = static_cast<unsigned>(civil.day());
    if ((month == 1 && dayOfMonth == 1) || (month == 5 && dayOfMonth == 1) ||
        (month == 12 && (dayOfMonth == 25 || dayOfMonth == 26)))
        return true;
    const sys_days easter = EasterSunday(static_cast<int>(civil.year()));
    return date == easter - days{2} || date == easter + days{1};
}

// The last ECB publication (a working day, 15:00 UTC) at or before moment.
std::int64_t LastEcbPublication(std::int64_t moment) {
    constexpr std::int64_t Day = 86400, Publication = 15 * 3600;
    std::int64_t day = moment / Day - (moment % Day < Publication ? 1 : 0);
    // 1970-01-01 was a Thursday: day % 7 is 2 on Saturdays and 3 on Sundays.
    while (day % 7 == 2 || day % 7 == 3 || IsEcbHoliday(day))
        --day;
    return day * Day + Publication;
}

} // namespace

bool IsRateStale(const RateInfo& info, std::int64_t now) {
    constexpr std::int64_t IntradayAge = 5 * 60, EcbReadDelay = 2 * 3600;
    if (info.source == "simulated")
        return false;
    if (info.asOf <= 0)
        return true;
    if (info.source == "ecb")
        return info.asOf < LastEcbPublication(now - EcbReadDelay);
    if (info.source == "coinbase")
        return now - info.asOf > IntradayAge;
    return true;
}

std::string RateInfoAddress(std::string_view serviceAddress, const std::vector<CurrencyPair>& pairs) {
    std::string_view base = serviceAddress.empty() ? ServiceEndpointAddress : serviceAddress;
    base = base.substr(0, base.find('?'));
    std::string address = std::string(base) + "?" + std::string(RateInfoParameter) + "=";
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        address += i ? "," : "";
        address += std::string(CurrencyExternalName(pairs[i].from)) + "-" +
                   std::string(CurrencyExternalName(pairs[i].to));
    }
    return address;
}

ServiceResult<std::vector<RateInfo>> ReadRateInfo(std::string_view json,
                                                  const std::vector<CurrencyPair>& pairs) {
    if (json.size() > MaxRateInfoAnswer)
        return Malformed("larger than " + std::to_string(MaxRateInfoAnswer) + " bytes");
    // Three levels hold the answer; deeper parts are dropped while reading.
    const Json::parser_callback_t shallow = [](int depth, Json::parse_event_t, Json&) { return depth <= 3; };
    const Json root = Json::parse(json.begin(), json.end(), shallow, false);
    if (root.is_discarded() || !root.is_object())
        return Malformed("not a JSON object");
    const auto list = root.find("rates");
    if (list == root.end() || !list->is_array() || list->size() != pairs.size())
        return Malformed("not one answer per pair");
    std::vector<RateInfo> infos;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        auto info = ReadItem((*list)[i], pairs[i]);
        if (!info)
            return info.error();
        infos.push_back(std::move(info.value()));
    }
    return infos;
}

ServiceResult<std::vector<RateInfo>> GetRateInfo(const std::vector<CurrencyPair>& pairs,
                                                 std::string_view serviceAddress, HttpTransport* transport) {
    for (const CurrencyPair& pair : pairs)
        if (!IsCurrency(pair.from) || !IsCurrency(pair.to))
            return MakeError(ServiceErrorKind::UnknownCurrency, "a currency code of the pair is unknown");
    if (pairs.empty() || pairs.size() > MaxRateInfoPairs)
        return MakeError(ServiceErrorKind::UnknownCurrency,
                         "from 1 to " + std::to_string(MaxRateInfoPairs) + " pairs at a time");
    HttpTransport own(HttpTimeouts{std::chrono::seconds(2), std::chrono::seconds(5)});
    HttpTransport& http = transport ? *transport : own;
    auto response = http.Get(RateInfoAddress(serviceAddress, pairs));
    if (!response)
        return response.error();
    if (response.value().status != 200) {
        ServiceError error =
            MakeError(ServiceErrorKind::HttpStatus, "HTTP status " + std::to_string(response.value().status));
        error.httpStatus = static_cast<int>(response.value().status);
        return error;
    }
    return ReadRateInfo(response.value().body, pairs);
}

} // namespace quorvane
