#include "util/Numbers.h"
#include "util/Util.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace quorvane {

namespace {

constexpr int Decimals = 4;
constexpr int Significant = 15;

// |value| as decimal digits with the decimal point after `point` of them, rounded to 15 significant
// digits and then half away from zero to four decimals.
struct FixedDigits {
    std::string digits;
    int point = 1;
};

FixedDigits ToFixedDigits(double magnitude) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", Significant - 1, magnitude); // d.dddddddddddddde±xx
    FixedDigits f;
    f.digits.reserve(Significant + 8);
    f.digits += buf[0];
    f.digits.append(buf + 2, Significant - 1);
    f.point = std::atoi(buf + Significant + 2) + 1;
    if (f.point < 1) {
        f.digits.insert(0, static_cast<std::size_t>(1 - f.point), '0');
        f.point = 1;
    }
    const std::size_t keep = static_cast<std::size_t>(f.point + Decimals);
    if (f.digits.size() < keep + 1)
        f.digits.resize(keep + 1, '0');
    const bool roundUp = f.digits[keep] >= '5';
    f.digits.resize(keep);
    if (roundUp) {
        std::size_t i = keep;
        while (i > 0 && f.digits[i - 1] == '9')
            f.digits[--i] = '0';
        if (i == 0) {
            f.digits.insert(f.digits.begin(), '1');
            ++f.point;
        } else {
            ++f.digits[i - 1];
        }
    }
    const std::size_t leadingZeros = f.digits.find_first_not_of('0');
    const std::size_t drop = std::min<std::size_t>(leadingZeros, static_cast<std::size_t>(f.point - 1));
    f.digits.erase(0, drop);
    f.point -= static_cast<int>(drop);
    return f;
}

} // namespace

std::string FormatRate(double value, std::string_view thousands, std::string_view decimal) {
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    const FixedDigits f = ToFixedDigits(std::fabs(value));
    const bool zero = f.digits.find_first_not_of('0') == std::string::npos;

    std::string out;
    out.reserve(f.digits.size() + f.digits.size() / 3 * thousands.size() + decimal.size() + 1);
    if (value < 0 && !zero)
        out += '-';
    for (int i = 0; i < f.point; ++i) {
        if (i > 0 && (f.point - i) % 3 == 0)
            out += thousands;
        out += f.digits[static_cast<std::size_t>(i)];
    }
    out += decimal;
    out.append(f.digits, static_cast<std::size_t>(f.point), Decimals);
    return out;
}

std::string FormatRate(double value, char thousands, char decimal) {
    return FormatRate(value, std::string_view(&thousands, 1), std::string_view(&decimal, 1));
}

std::string FormatRate(double value) {
    const NumericSeparators user = UserSeparators();
    return FormatRate(value, user.thousands, user.decimal);
}

} // namespace quorvane
