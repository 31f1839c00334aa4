#include "rated/RateSet.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>

#include "util/Xml.h"

namespace quorvane::rated {

namespace {

constexpr std::string_view EcbNamespace = "http://www.ecb.int/vocabulary/2002-08-01/eurofxref";

bool IsCube(const xmlNode* node) {
    return xml::IsElement(node, EcbNamespace, "Cube");
}

// The Cube that holds the rate Cubes: the first one with a time attribute, else the outer Cube itself.
const xmlNode* FindDayCube(const xmlNode* root, std::string& date) {
    for (const xmlNode* outer = xml::FirstElementChild(root); outer; outer = xml::NextElementSibling(outer)) {
        if (!IsCube(outer))
            continue;
        for (const xmlNode* day = xml::FirstElementChild(outer); day; day = xml::NextElementSibling(day)) {
            if (!IsCube(day))
                continue;
            if (auto time = xml::Attribute(day, "time")) {
                date = std::move(*time);
                return day;
            }
        }
        return outer;
    }
    return nullptr;
}

Result<double> ParseRate(const std::string& code, const std::string& text) {
    double value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || !std::isfinite(value) || value <= 0)
        return Error{"the rate of " + code.substr(0, 16) + " is not a positive number: '" +
                     text.substr(0, 40) + "'"};
    return value;
}

} // namespace

std::string_view RateOriginName(RateOrigin origin) {
    switch (origin) {
    case RateOrigin::Ecb:
        return "ecb";
    case RateOrigin::Coinbase:
        return "coinbase";
    case RateOrigin::Simulated:
        return "simulated";
    case RateOrigin::None:
        break;
    }
    return "unknown";
}

std::int64_t EcbPublicationTime(std::string_view date) {
    int year = 0, month = 0, day = 0;
    if (date.size() != 10 || date[4] != '-' || date[7] != '-')
        return 0;
    auto number = [&](std::size_t at, std::size_t length, int& value) {
        auto [ptr, ec] = std::from_chars(date.data() + at, date.data() + at + length, value);
        return ec == std::errc() && ptr == date.data() + at + length;
    };
    if (!number(0, 4, year) || !number(5, 2, month) || !number(8, 2, day) || month < 1 || month > 12 ||
        day < 1 || day > 31)
        return 0;
    const std::chrono::year_month_day ymd{std::chrono::year(year), std::chrono::month(unsigned(month)),
                                          std::chrono::day(unsigned(day))};
    if (!ymd.ok())
        return 0;
    const auto days = std::chrono::sys_days(ymd).time_since_epoch().count();
    return std::int64_t(days) * 86400 + 15 * 3600; // 16:00 CET is 15:00 UTC
}

PairOrigin OriginOf(const RateSet& rates, Currency from, Currency to) {
    const RateOrigin a = rates.origin[from], b = rates.origin[to];
    PairOrigin pair;
    pair.origin = a == b                                           ? a
                  : (a == RateOrigin::Ecb || b == RateOrigin::Ecb) ? RateOrigin::Ecb
                                                                   : std::max(a, b);
    pair.asOf = std::min(rates.asOf[from], rates.asOf[to]);
    if (pair.asOf == 0)
        pair.asOf = std::max(rates.asOf[from], rates.asOf[to]);
    return pair;
}

int CurrencyFromExternalName(std::string_view code) {
    // Asked twice a request: a sorted index, not a walk through every name. Equal names keep the first.
    static const auto index = [] {
        std::array<std::pair<std::string_view, int>, CurrencyCount> sorted;
        for (int i = 0; i < CurrencyCount; ++i)
            sorted[i] = {CurrencyExternalName(static_cast<Currency>(i)), i};
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }();
    const auto found = std::lower_bound(index.begin(), index.end(), code,
                                        [](const auto& entry, std::string_view key) { return entry.first < key; });
    return found != index.end() && found->first == code ? found->second : -1;
}

int RateSet::CoveredCount() const {
    int count = 0;
    for (double rate : perEuro)
        count += rate > 0.0;
    return count;
}

Result<RateSet> ParseEcbRates(std::string_view document) {
    auto parsed = xml::Parse(document);
    if (!parsed.doc)
        return Error{"rates: " + parsed.error};
    std::string date;
    const xmlNode* day = FindDayCube(xmlDocGetRootElement(parsed.doc.get()), date);
    if (!day)
        return Error{"rates: no Cube element of the euro reference rates"};
    return ReadDayCube(day, std::move(date));
}

Result<RateSet> ReadDayCube(const xmlNode* day, std::string date) {
    RateSet rates;
    rates.date = std::move(date);
    int read = 0;
    for (const xmlNode* cube = xml::FirstElementChild(day); cube; cube = xml::NextElementSibling(cube)) {
        if (!IsCube(cube))
            continue;
        const auto code = xml::Attribute(cube, "currency");
        if (!code)
            continue;
        const auto text = xml::Attribute(cube, "rate");
        if (!text)
            return Error{"rates: " + *code + " has no rate"};
        auto rate = ParseRate(*code, *text);
        if (!rate)
            return Error{"rates: " + rate.error().text};
        ++read;
        const int c = CurrencyFromExternalName(*code);
        if (c < 0)
            ++rates.ignored;
        else if (c != EUR) // the euro is the base, whatever the source says
            rates.perEuro[c] = rate.value();
    }
    if (read == 0)
        return Error{"rates: the document holds no rates"};
    const std::int64_t asOf = EcbPublicationTime(rates.date);
    for (int c = 0; c < CurrencyCount; ++c) {
        if (rates.perEuro[c] > 0) {
            rates.origin[c] = RateOrigin::Ecb;
            rates.asOf[c] = asOf;
        }
    }
    return rates;
}

} // namespace quorvane::rated
