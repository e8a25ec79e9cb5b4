// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Number texts as the window, the run and the output files read and write them. None of this depends
// on the process's locale: "." is always the decimal point.
namespace kestrix::engine {

// A numeric text: optional blanks (space or tab) around it, an optional sign, digits with at most one
// decimal point (at least one digit), an optional exponent "e"/"E" with optional sign and digits.
// Not numeric: the empty text, blanks only, "nan", "inf", hexadecimal forms, digit grouping, and a text
// whose value overflows a double. A value too small for a double reads as zero.
bool isNumericText(std::string_view strText);

// The value of a numeric text, or nothing when the text is not numeric.
std::optional<double> numericValue(std::string_view strText);

// The same as a flag and an out value, for the sample reader's loop: true with the value in dblValue
// for a numeric text, false (dblValue unspecified) otherwise. GCC builds a returned optional in memory
// and reloads it, a store-forwarding stall that took about half of each parse in the reader's profile.
bool readNumericText(std::string_view strText, double& dblValue);

// The fixed-decimal text with intDecimals (0 to 15) decimals: "#0" (0), "#0.00" (2), "#0.000" (3).
// Rounds the value's 15-significant-digit decimal form half away from zero, so 1.0005 gives 1.001
// although its binary value lies below the half. At least one digit before the point, no grouping,
// a leading "-" only when the rounded text is not zero. dblValue must be finite.
std::string fixedDecimalText(double dblValue, int intDecimals);

// The number that the fixed-decimal text of dblValue reads back as. Raises overflow (6) when that
// text lies beyond the double range, as the rounding of a value within 5E+292 of the limit does.
double fixedDecimalValue(double dblValue, int intDecimals);

// The general number text: the value rounded to 15 significant digits, written in the shortest form of
// that rounding ("0.5", "-12", "390.625"); a decimal exponent below -4 or of 15 and more takes the
// exponent form "4.5E-14", "1E+15" (at least two exponent digits). dblValue must be finite.
std::string generalNumberText(double dblValue);

// Appends the general number text of dblValue to strOut.
void appendGeneralNumberText(std::string& strOut, double dblValue);

// Writes the general number text of dblValue at pchOut and returns its end, for the file writers that
// build whole files in one buffer. The text is at most 22 characters, but the writer moves digits in
// fixed blocks: pchOut must have lngGeneralTextRoom characters of room (those past the returned end
// hold scratch).
inline constexpr std::size_t lngGeneralTextRoom = 48;
char* writeGeneralNumberText(char* pchOut, double dblValue);

// The whole number of a text: its value formatted with "#0" and taken as a 32-bit integer.
// Raises type mismatch (13) for a text that is not numeric and overflow (6) when it does not fit.
std::int32_t wholeNumberOfText(std::string_view strText);

// The value of a text formatted with a fixed-decimal pattern of intDecimals decimals, read back as a
// double ("#0.000" for the input range and the band limits). Raises type mismatch (13) when the text
// is not numeric and overflow (6) when the rounded text lies beyond the double range.
double fixedValueOfText(std::string_view strText, int intDecimals);

// The value's general number text taken as a 32-bit integer, ties to even (2.5 gives 2, 3.5 gives 4,
// 3.4999999999999996 gives 4 because its text is 3.5). Raises overflow (6) when the value is not
// finite or the whole number does not fit 32 bits.
std::int32_t wholeNumberOfGeneralText(double dblValue);

// The value rounded to 15 significant digits: lngDigits (0 or 10^14 to 10^15 - 1) times
// 10^(intExponent - 14), with its sign. Exposed for the writers' tests.
struct Decimal15
{
    std::uint64_t lngDigits = 0;
    int intExponent = 0;
    bool blnNegative = false;
};
Decimal15 toDecimal15(double dblValue);
// The reference conversion (std::to_chars with 15 digits), used to check the fast one.
Decimal15 toDecimal15Reference(double dblValue);

} // namespace kestrix::engine
