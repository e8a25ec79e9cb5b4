// SPDX-License-Identifier: GPL-3.0-or-later
#include "orders.h"

#include "engine/run/number_text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>

namespace kestrix::engine {
namespace {

constexpr double dblSecondsPerMinute = 60.0;

struct UnitName
{
    std::string_view strName;
    SpeedUnit unit;
};

constexpr std::array<UnitName, 5> unitNames = {{
    {"rpm", SpeedUnit::Rpm},
    {"r/min", SpeedUnit::Rpm},
    {"1/min", SpeedUnit::Rpm},
    {"min-1", SpeedUnit::Rpm},
    {"hz", SpeedUnit::Hz},
}};

std::string lowered(std::string_view strText)
{
    std::string strLower(strText);
    std::transform(strLower.begin(), strLower.end(), strLower.begin(),
                   [](unsigned char chr) { return static_cast<char>(std::tolower(chr)); });
    return strLower;
}

std::string_view trimmed(std::string_view strText)
{
    const auto lngFirst = strText.find_first_not_of(" \t");
    if (lngFirst == std::string_view::npos) {
        return {};
    }
    const auto lngLast = strText.find_last_not_of(" \t");
    return strText.substr(lngFirst, lngLast - lngFirst + 1);
}

} // namespace

std::optional<RunningSpeed> parseRunningSpeed(std::string_view strText, SpeedUnit defaultUnit)
{
    const std::string strLower = lowered(trimmed(strText));
    std::string_view strNumber = strLower;
    SpeedUnit unit = defaultUnit;
    for (const UnitName& name : unitNames) {
        if (strNumber.ends_with(name.strName)) {
            strNumber.remove_suffix(name.strName.size());
            unit = name.unit;
            break;
        }
    }
    // A unit alone ("rpm") leaves no number: numericValue refuses the empty text.
    const std::optional<double> dblValue = numericValue(strNumber);
    if (!dblValue) {
        return std::nullopt;
    }
    const double dblHz = rotationFrequency(*dblValue, unit);
    if (!(dblHz >= dblMinRunningHz && dblHz <= dblMaxRunningHz)) {
        return std::nullopt;
    }
    return RunningSpeed{dblHz, unit};
}

double rotationFrequency(double dblSpeed, SpeedUnit unit)
{
    return unit == SpeedUnit::Rpm ? dblSpeed / dblSecondsPerMinute : dblSpeed;
}

double speedInUnit(double dblHz, SpeedUnit unit)
{
    return unit == SpeedUnit::Rpm ? dblHz * dblSecondsPerMinute : dblHz;
}

std::string speedValueText(double dblHz, SpeedUnit unit)
{
    constexpr int intDigits = 6;
    // Rounded to six significant digits through their text, so 1500 rpm reads back as typed.
    std::array<char, 32> chrDigits{};
    const double dblValue = speedInUnit(dblHz, unit);
    const auto result = std::to_chars(chrDigits.data(), chrDigits.data() + chrDigits.size(), dblValue,
                                      std::chars_format::general, intDigits);
    double dblRounded = dblValue;
    std::from_chars(chrDigits.data(), result.ptr, dblRounded);
    return generalNumberText(dblRounded);
}

std::string speedText(const RunningSpeed& speed)
{
    return speedValueText(speed.dblHz, speed.unit) + (speed.unit == SpeedUnit::Rpm ? " rpm" : " Hz");
}

double orderOf(double dblFreq, double dblRunHz)
{
    return dblFreq / dblRunHz;
}

double frequencyOfOrder(double dblOrder, double dblRunHz)
{
    return dblOrder * dblRunHz;
}

} // namespace kestrix::engine
