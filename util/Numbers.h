// Numbers as text: the settings file's forms, the alarm fields' forms and the user's separators.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

// The separators of the user's locale (LC_ALL, LC_NUMERIC, LANG), read from the environment on every
// call and independent of setlocale; the C locale's ("." and none) when that names none.
struct NumericSeparators {
    std::string decimal;
    std::string thousands;
};
NumericSeparators UserSeparators();

// Parsers return nothing for a text they cannot read, so the caller's default applies.
// Integers: decimal with an optional sign, or "$" / "0x" / "0X" and hexadecimal digits (up to 32 bits,
// wrapping to negative as the Windows program did).
std::optional<std::int32_t> ParseInteger(std::string_view text);
// Reals: "." and the user's decimal separator are both accepted; no grouping.
std::optional<double> ParseReal(std::string_view text);
// 15 significant digits, shortest form, always with "." : "0", "110.25", "5E-5", "1.5E20".
std::string FormatReal(double value);

// A number field's text: FormatReal's form with the user's decimal separator.
std::string FieldText(double value);
// Reads what a user typed into a number field: blanks around it are ignored; where the user's
// separator is not ".", a "." is no number (it would be taken for grouping).
std::optional<double> ParseFieldText(std::string_view text);

} // namespace quorvane
