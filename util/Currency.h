// The currency codes the CurrencyConvertor service accepts, in the service's own order.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace quorvane {

// Ordinals travel to the rate service and into the settings; the order is the service's, not alphabetical.
enum Currency : std::uint8_t {
    AFA, ALL, DZD, ARS, AWG, AUD, BSD, BHD, BDT, BBD, BZD, BMD, BTN, BOB, BWP,
    BRL, GBP, BND, BIF, XOF, XAF, KHR, CAD, CVE, KYD, CLP, CNY, COP, KMF, CRC,
    HRK, CUP, CYP, CZK, DKK, DJF, DOP, XCD, EGP, SVC, EEK, ETB, EUR, FKP, GMD,
    GHC, GIP, XAU, GTQ, GNF, GYD, HTG, HNL, HKD, HUF, ISK, INR, IDR, IQD, ILS,
    JMD, JPY, JOD, KZT, KES, KRW, KWD, LAK, LVL, LBP, LSL, LRD, LYD, LTL, MOP,
    MKD, MGF, MWK, MYR, MVR, MTL, MRO, MUR, MXN, MDL, MNT, MAD, MZM, MMK, NAD,
    NPR, ANG, NZD, NIO, NGN, KPW, NOK, OMR, XPF, PKR, XPD, PAB, PGK, PYG, PEN,
    PHP, XPT, PLN, QAR, ROL, RUB, WST, STD, SAR, SCR, SLL, XAG, SGD, SKK, SIT,
    SBD, SOS, ZAR, LKR, SHP, SDD, SRG, SZL, SEK, CHF, SYP, TWD, TZS, THB, TOP,
    TTD, TND, TRL, USD, AED, UGX, UAH, UYU, VUV, VEB, VND, YER, YUM, ZMK, ZWD,
    TRY_
};

inline constexpr int CurrencyCount = 151;

// Member names, "TRY_" included; index is the ordinal.
extern const std::array<std::string_view, CurrencyCount> CurrencyNames;

// True when the one-byte ordinal names a member (a slot with an unknown code holds 255).
constexpr bool IsCurrency(int ordinal) { return ordinal >= 0 && ordinal < CurrencyCount; }

// The code as the rate service spells it: the member name, except TRY_ which travels as "TRY".
std::string_view CurrencyExternalName(Currency c);

// Ordinal of the member whose name equals code (ASCII case ignored), -1 when none. "TRY" gives -1.
int CurrencyFromCode(std::string_view code);

} // namespace quorvane
