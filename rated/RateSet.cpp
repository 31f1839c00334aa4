#include "rated/RateSet.h"

#include <charconv>
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

int CurrencyFromExternalName(std::string_view code) {
    for (int i = 0; i < CurrencyCount; ++i)
        if (CurrencyExternalName(static_cast<Currency>(i)) == code)
            return i;
    return -1;
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
    return rates;
}

} // namespace quorvane::rated
