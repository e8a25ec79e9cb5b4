// SPDX-License-Identifier: GPL-3.0-or-later
#include "readable_number.h"

#include "engine/run/number_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <utility>

namespace kestrix::engine {
namespace {

// The prefixes by their power of ten divided by 3, from f (-5) to T (4).
constexpr std::array<const char*, 10> strPrefixes = {"f", "p", "n", "µ", "m", "", "k", "M", "G", "T"};
constexpr int intFirstPrefixPower = -5;

int floorDiv3(int intValue)
{
    return intValue >= 0 ? intValue / 3 : -((-intValue + 2) / 3);
}

// The rounded digits and their decimal exponent, from the scientific text of the magnitude.
std::pair<std::string, int> roundedDigits(double dblMagnitude, int intDigits)
{
    char chrBuffer[64];
    const auto result = std::to_chars(chrBuffer, chrBuffer + sizeof chrBuffer, dblMagnitude,
                                      std::chars_format::scientific, intDigits - 1);
    const std::string_view strScientific(chrBuffer, static_cast<std::size_t>(result.ptr - chrBuffer));
    const std::size_t lngE = strScientific.find('e');
    std::string strDigits(strScientific.substr(0, lngE));
    strDigits.erase(std::remove(strDigits.begin(), strDigits.end(), '.'), strDigits.end());
    int intExponent = 0;
    std::from_chars(strScientific.data() + lngE + 1 + (strScientific[lngE + 1] == '+' ? 1 : 0),
                    strScientific.data() + strScientific.size(), intExponent);
    return {strDigits, intExponent};
}

} // namespace

std::string siText(double dblValue, int intDigits, std::string_view strUnit)
{
    if (dblValue == 0.0) {
        return "0 " + std::string(strUnit);
    }
    auto [strDigits, intExponent] = roundedDigits(std::fabs(dblValue), std::clamp(intDigits, 1, 15));
    std::string strText = dblValue < 0.0 ? "-" : "";
    const int intPrefix = floorDiv3(intExponent);
    if (intPrefix < intFirstPrefixPower || intPrefix >= intFirstPrefixPower + static_cast<int>(strPrefixes.size())) {
        strText += strDigits.substr(0, 1);
        if (strDigits.size() > 1) {
            strText += '.' + strDigits.substr(1);
        }
        return strText + (intExponent < 0 ? "E-" : "E+") + (std::abs(intExponent) < 10 ? "0" : "") +
               std::to_string(std::abs(intExponent)) + " " + std::string(strUnit);
    }
    const auto lngWhole = static_cast<std::size_t>(intExponent - 3 * intPrefix + 1); // 1 to 3 digits
    if (strDigits.size() < lngWhole) {
        strDigits.append(lngWhole - strDigits.size(), '0');
    }
    strText += strDigits.substr(0, lngWhole);
    if (strDigits.size() > lngWhole) {
        strText += '.' + strDigits.substr(lngWhole);
    }
    return strText + " " + strPrefixes[static_cast<std::size_t>(intPrefix - intFirstPrefixPower)] +
           std::string(strUnit);
}

std::string lineFrequencyText(double dblFreq, double dblDeltaFreq)
{
    // Rounding to a unit no larger than the spacing keeps neighbouring lines apart.
    constexpr int intMaxDecimals = 9;
    const int intDecimals =
        dblDeltaFreq > 0.0
            ? std::clamp(static_cast<int>(std::ceil(-std::log10(dblDeltaFreq) - 1e-9)), 0, intMaxDecimals)
            : intMaxDecimals;
    return fixedDecimalText(dblFreq, intDecimals);
}

std::string dbvText(double dblVolts)
{
    if (!(dblVolts > 0.0)) {
        return "-∞ dBV";
    }
    return fixedDecimalText(20.0 * std::log10(dblVolts), 2) + " dBV";
}

} // namespace kestrix::engine
