// SPDX-License-Identifier: GPL-3.0-or-later
#include "engineering_unit.h"

#include "engine/run/number_text.h"

#include <algorithm>
#include <cmath>

namespace kestrix::engine {

namespace {

constexpr std::string_view strMicro = "\xC2\xB5";   // U+00B5 MICRO SIGN, as headings write it
constexpr std::string_view strGreekMu = "\xCE\xBC"; // U+03BC GREEK SMALL LETTER MU, typed for it alike
constexpr std::string_view strBlanks = " \t";

struct IsoReference
{
    std::string_view strUnit;
    double dblValue; // in strUnit
    std::string_view strText;
};

// ISO 1683's references, each in the units its quantity is written in here.
const IsoReference isoReferences[] = {
    {"Pa", 20e-6, "20 \xC2\xB5Pa"},
    {"m/s\xC2\xB2", 1e-6, "1 \xC2\xB5m/s\xC2\xB2"},
    {"g", 1e-6 / dblStandardGravity, "1 \xC2\xB5m/s\xC2\xB2"},
    {"m/s", 1e-9, "1 nm/s"},
    {"mm/s", 1e-6, "1 nm/s"},
    {"m", 1e-12, "1 pm"},
    {"mm", 1e-9, "1 pm"},
    {"\xC2\xB5m", 1e-6, "1 pm"},
    {"N", 1e-6, "1 \xC2\xB5N"},
    {"V", 1.0, "1 V"},
};

std::string_view trimmed(std::string_view strText)
{
    const auto lngFirst = strText.find_first_not_of(strBlanks);
    if (lngFirst == std::string_view::npos) {
        return {};
    }
    return strText.substr(lngFirst, strText.find_last_not_of(strBlanks) - lngFirst + 1);
}

std::string replacedAll(std::string strText, std::string_view strFrom, std::string_view strTo)
{
    for (auto lngAt = strText.find(strFrom); lngAt != std::string::npos; lngAt = strText.find(strFrom, lngAt)) {
        strText.replace(lngAt, strFrom.size(), strTo);
        lngAt += strTo.size();
    }
    return strText;
}

// The unit written as strRaw in its canonical form, or nothing with refusal set: no letter, a control
// character or parenthesis, a level in decibels ("dB SPL" is read before this).
std::optional<std::string> unitOf(std::string_view strRaw, std::optional<UnitTextRefusal>& refusal)
{
    std::string strUnit = canonicalUnit(strRaw);
    const bool blnLetter = std::any_of(strUnit.begin(), strUnit.end(), [](char chr) {
        const auto byte = static_cast<unsigned char>(chr);
        return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || byte >= 0x80;
    });
    const bool blnBad = std::any_of(strUnit.begin(), strUnit.end(), [](char chr) {
        const auto byte = static_cast<unsigned char>(chr);
        return byte < 0x20 || byte == 0x7F || chr == '(' || chr == ')';
    });
    if (!blnLetter || blnBad || strUnit.starts_with("dB")) {
        refusal = UnitTextRefusal{UnitTextField::Unit, std::string(trimmed(strRaw))};
        return std::nullopt;
    }
    return strUnit;
}

// The number at the start of strText: the longest run of characters a number can hold, which must be
// numeric, positive and finite; strRest gets what follows it. Nothing, with refusal set, otherwise.
std::optional<double> leadingNumber(std::string_view strText, std::string_view& strRest,
                                    std::optional<UnitTextRefusal>& refusal)
{
    strText = trimmed(strText);
    const auto lngEnd = std::min(strText.find_first_not_of("0123456789.+-eE"), strText.size());
    const std::string_view strNumber = strText.substr(0, lngEnd);
    strRest = trimmed(strText.substr(lngEnd));
    const std::optional<double> dblValue = numericValue(strNumber);
    if (dblValue && *dblValue > 0.0 && std::isfinite(*dblValue)) {
        return dblValue;
    }
    // Nothing like a number: the field is the first word, so the message shows what stood there.
    const std::string_view strWord = strNumber.empty() ? strText.substr(0, strText.find_first_of(" \t/")) : strNumber;
    refusal = UnitTextRefusal{UnitTextField::Number, std::string(strWord)};
    return std::nullopt;
}

// Volts in a voltage unit as a sensitivity writes it; nothing for any other text.
std::optional<double> voltsPerVoltUnit(std::string_view strVoltUnit)
{
    const std::string strUnit = replacedAll(std::string(strVoltUnit), strGreekMu, strMicro);
    if (strUnit == "V") {
        return 1.0;
    }
    if (strUnit == "mV") {
        return 1e-3;
    }
    if (strUnit == std::string(strMicro) + "V" || strUnit == "uV") {
        return 1e-6;
    }
    return std::nullopt;
}

} // namespace

DbReference isoDbReference(std::string_view strUnit)
{
    for (const IsoReference& reference : isoReferences) {
        if (reference.strUnit == strUnit) {
            return {reference.dblValue, std::string(reference.strText)};
        }
    }
    return {1.0, "1 " + std::string(strUnit)};
}

EngineeringUnit engineeringUnit(std::string strUnit, double dblVoltsPerUnit)
{
    DbReference reference = isoDbReference(strUnit);
    return {std::move(strUnit), dblVoltsPerUnit, reference.dblValue, std::move(reference.strText)};
}

std::optional<double> accelerationPerUnit(std::string_view strUnit)
{
    if (strUnit == "g") {
        return dblStandardGravity;
    }
    if (strUnit == "m/s\xC2\xB2") {
        return 1.0;
    }
    return std::nullopt;
}

std::string canonicalUnit(std::string_view strUnit)
{
    strUnit = trimmed(strUnit);
    if (strUnit.size() >= 2 && strUnit.front() == '(' && strUnit.back() == ')') {
        strUnit = trimmed(strUnit.substr(1, strUnit.size() - 2));
    }
    const std::string strMicroUnit = replacedAll(std::string(strUnit), strGreekMu, strMicro);
    if (strMicroUnit == "m/s^2" || strMicroUnit == "m/s2") {
        return "m/s\xC2\xB2";
    }
    if (strMicroUnit == "um") {
        return std::string(strMicro) + "m";
    }
    return strMicroUnit;
}

SensitivityReading parseSensitivity(std::string_view strText)
{
    SensitivityReading reading;
    std::string_view strRest;
    const std::optional<double> dblNumber = leadingNumber(strText, strRest, reading.refusal);
    if (!dblNumber) {
        return reading;
    }
    const std::string_view strVoltUnit = strRest.substr(0, strRest.find_first_of(" \t/"));
    const std::optional<double> dblVolts = voltsPerVoltUnit(strVoltUnit);
    if (!dblVolts) {
        reading.refusal = UnitTextRefusal{UnitTextField::VoltUnit, std::string(strVoltUnit)};
        return reading;
    }
    strRest = trimmed(strRest.substr(strVoltUnit.size()));
    if (!strRest.starts_with('/')) {
        reading.refusal = UnitTextRefusal{UnitTextField::Slash, std::string(strRest)};
        return reading;
    }
    if (std::optional<std::string> strUnit = unitOf(strRest.substr(1), reading.refusal)) {
        reading.unit = engineeringUnit(std::move(*strUnit), *dblNumber * *dblVolts);
    }
    return reading;
}

UnitValueReading parseUnitValue(std::string_view strText)
{
    constexpr double dblSplReference = 20e-6; // Pa: 0 dB SPL
    UnitValueReading reading;
    std::string_view strRest;
    const std::optional<double> dblNumber = leadingNumber(strText, strRest, reading.refusal);
    if (!dblNumber) {
        return reading;
    }
    if (strRest == "dB SPL") {
        reading.value = {dblSplReference * std::pow(10.0, *dblNumber / 20.0), "Pa"};
    } else if (std::optional<std::string> strUnit = unitOf(strRest, reading.refusal)) {
        reading.value = {*dblNumber, std::move(*strUnit)};
    }
    return reading;
}

std::string unitTextRefusalText(std::string_view strWhat, std::string_view strGiven, const UnitTextRefusal& refusal)
{
    const std::string strStart = std::string(strWhat) + " \"" + std::string(strGiven) + "\": ";
    const std::string strFound = "\"" + refusal.strFound + "\"";
    const bool blnMissing = refusal.strFound.empty();
    switch (refusal.field) {
    case UnitTextField::Number:
        return strStart + (blnMissing ? "no number at the start" : strFound + " is not a positive number");
    case UnitTextField::VoltUnit:
        return strStart + (blnMissing ? "the voltage unit (V, mV, \xC2\xB5V or uV) is missing"
                                      : "the voltage unit " + strFound + " is not V, mV, \xC2\xB5V or uV");
    case UnitTextField::Slash:
        return strStart + "\"/\" expected after the voltage unit" + (blnMissing ? "" : ", found " + strFound);
    case UnitTextField::Unit:
        return strStart + (blnMissing ? "the unit is missing" : strFound + " is not a unit");
    }
    return strStart;
}

std::string voltsText(double dblVolts, int intDigits)
{
    const double dblMagnitude = std::fabs(dblVolts);
    std::string_view strPrefix = "\xC2\xB5";
    double dblScaled = dblVolts * 1e6;
    if (dblMagnitude >= 1.0) {
        strPrefix = "";
        dblScaled = dblVolts;
    } else if (dblMagnitude >= 1e-3) {
        strPrefix = "m";
        dblScaled = dblVolts * 1e3;
    }
    std::string strNumber;
    if (intDigits >= 15 || dblScaled == 0.0) {
        strNumber = generalNumberText(dblScaled);
    } else {
        const int intWhole = static_cast<int>(std::floor(std::log10(std::fabs(dblScaled))));
        strNumber = fixedDecimalText(dblScaled, std::clamp(intDigits - 1 - intWhole, 0, 15));
    }
    return strNumber + " " + std::string(strPrefix) + "V";
}

std::string sensitivityText(const EngineeringUnit& unit, int intDigits)
{
    const bool blnCompound = unit.strUnit.find('/') != std::string::npos;
    return voltsText(unit.dblVoltsPerUnit, intDigits) + "/" + (blnCompound ? "(" + unit.strUnit + ")" : unit.strUnit);
}

} // namespace kestrix::engine
