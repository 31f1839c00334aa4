#include "service/DailyHistory.h"

#include <charconv>
#include <cmath>

namespace quorvane {

namespace {

bool IsDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return false;
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

ServiceError BadLine(std::size_t number, std::string_view why) {
    return MakeError(ServiceErrorKind::Parse,
                     "history line " + std::to_string(number) + ": " + std::string(why));
}

} // namespace

ServiceResult<std::vector<DailyRate>> ParseDailyHistory(std::string_view body) {
    std::vector<DailyRate> days;
    std::size_t number = 0;
    while (!body.empty()) {
        const std::size_t end = body.find('\n');
        std::string_view line = body.substr(0, end);
        body = end == std::string_view::npos ? std::string_view() : body.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (++number == 1) {
            if (line != "date,rate")
                return BadLine(number, "expected the heading date,rate");
            continue;
        }
        if (days.size() == MaxDailyHistoryDays)
            return BadLine(number, "more days than a history of ours holds");
        const std::size_t comma = line.find(',');
        if (comma == std::string_view::npos || !IsDate(line.substr(0, comma)))
            return BadLine(number, "expected YYYY-MM-DD,RATE");
        const std::string_view text = line.substr(comma + 1);
        double rate = 0;
        auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), rate);
        if (ec != std::errc() || ptr != text.data() + text.size() || !std::isfinite(rate) || rate <= 0)
            return BadLine(number, "the rate is not a positive number");
        days.push_back({std::string(line.substr(0, comma)), rate});
    }
    if (number == 0)
        return BadLine(1, "expected the heading date,rate");
    return days;
}

std::string DailyHistoryUrl(const std::string& endpoint, Currency from, Currency to) {
    const std::size_t scheme = endpoint.find("://");
    if (scheme == std::string::npos ||
        (endpoint.compare(0, scheme, "http") != 0 && endpoint.compare(0, scheme, "https") != 0))
        return {};
    const std::size_t path = endpoint.find_first_of("/?#", scheme + 3);
    return endpoint.substr(0, path) + "/history?from=" + std::string(CurrencyExternalName(from)) +
           "&to=" + std::string(CurrencyExternalName(to));
}

ServiceResult<std::vector<DailyRate>> FetchDailyHistory(HttpTransport& transport, const std::string& endpoint,
                                                        Currency from, Currency to) {
    const std::string url = DailyHistoryUrl(endpoint, from, to);
    if (url.empty())
        return MakeError(ServiceErrorKind::Network, "no history beside the service address " + endpoint);
    auto response = transport.Get(url);
    if (!response)
        return response.error();
    if (response.value().status != 200) {
        const std::string& body = response.value().body;
        ServiceError error = MakeError(ServiceErrorKind::HttpStatus,
                                       "HTTP status " + std::to_string(response.value().status) + ": " +
                                           body.substr(0, std::min<std::size_t>(body.find('\n'), 200)));
        error.httpStatus = static_cast<int>(response.value().status);
        return error;
    }
    return ParseDailyHistory(response.value().body);
}

} // namespace quorvane
