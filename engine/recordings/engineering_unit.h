// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

// What one volt at the converter's input stands for. A sensor's sensitivity turns volts into the
// engineering unit (EU) the user measures in (g, m/s², Pa, ...), and levels in decibels refer to that
// unit's reference value. The default is the converter's own unit: volts, dB re 1 V.
namespace kestrix::engine {

struct EngineeringUnit
{
    std::string strUnit = "V";          // the EU as headings and axes write it: "V", "g", "m/s²", "Pa", "mm/s", "µm"
    double dblVoltsPerUnit = 1.0;       // the sensitivity: volts for one EU (0.1 for 100 mV/g); > 0
    double dblDbReference = 1.0;        // the value 0 dB stands for, in EU (20e-6 for Pa); > 0
    std::string strDbReference = "1 V"; // that value as written after "dB re " ("20 µPa")

    bool operator==(const EngineeringUnit&) const = default;
};

// A value in volts (or volts rms, peak, ...) in the unit's EU.
inline double euOfVolts(double dblVolts, const EngineeringUnit& unit)
{
    return dblVolts / unit.dblVoltsPerUnit;
}

// Standard gravity: m/s² in one g.
inline constexpr double dblStandardGravity = 9.80665;

// The reference value of levels in decibels for a quantity measured in strUnit, in that unit, and as
// written after "dB re ". ISO 1683's for the units of its quantities: Pa 20 µPa; m/s² and g 1 µm/s²;
// m/s and mm/s 1 nm/s; m, mm and µm 1 pm; N 1 µN; V 1 V. Any other unit: 1 of it ("1 lbf").
struct DbReference
{
    double dblValue = 1.0; // in strUnit, > 0
    std::string strText;   // "20 µPa"
};
DbReference isoDbReference(std::string_view strUnit);

// The unit strUnit (written as canonicalUnit gives it) with the sensitivity dblVoltsPerUnit (V, > 0)
// and its ISO 1683 reference for levels.
EngineeringUnit engineeringUnit(std::string strUnit, double dblVoltsPerUnit);

// m/s² in one strUnit when it is a unit of acceleration (g, m/s²); nothing for any other unit.
std::optional<double> accelerationPerUnit(std::string_view strUnit);

// A unit as users write it, in the form headings use: one pair of parentheses around it dropped,
// the Greek small mu read as the micro sign, "m/s^2" and "m/s2" read as "m/s²", "um" as "µm". Blanks
// around it removed; anything else kept as written.
std::string canonicalUnit(std::string_view strUnit);

// Which part of a text of the form "NUMBER [blank] UNIT" (a calibrator's level) or "NUMBER [blank]
// V|mV|µV|uV / EU" (a sensitivity) is wrong.
enum class UnitTextField {
    Number,   // missing, not a number, or (where it must be) not a positive finite number
    VoltUnit, // missing, or not V, mV, µV (micro sign or Greek mu) or uV
    Slash,    // no "/" after the voltage unit
    Unit,     // the unit missing, or not a unit: no letter, a control character, a parenthesis left
};

struct UnitTextRefusal
{
    UnitTextField field = UnitTextField::Number;
    std::string strFound; // the text found in that field; empty when it is missing
};

// A sensitivity as users write it: a number, an optional blank, V, mV, µV or uV, "/", and the EU
// (canonicalUnit), blanks allowed around "/": "100 mV/g", "10.2 mV/(m/s²)", "50mV/Pa", "1 V/V",
// "2.5E-2 V/(m/s^2)". The number must be positive and finite; the EU holds at least one letter (or a
// character beyond ASCII), no control character and no parenthesis once one enclosing pair is dropped,
// and is not a level in decibels ("dB...").
struct SensitivityReading
{
    EngineeringUnit unit;                   // with its ISO 1683 reference, when read
    std::optional<UnitTextRefusal> refusal; // why the text is not a sensitivity
};
SensitivityReading parseSensitivity(std::string_view strText);

// A value with its unit, as a calibrator's level is stated.
struct UnitValue
{
    double dblValue = 0.0;
    std::string strUnit; // as canonicalUnit gives it
};

// A value as users write it: a number, an optional blank and a unit ("1 g", "9.80665 m/s^2", "1 Pa",
// "10 mm/s"), or a sound pressure level "L dB SPL", read as 20 µPa x 10^(L / 20) in Pa: 94 dB SPL is
// 1.00237 Pa (a calibrator sold as "94 dB, 1 Pa" is taken at its decibels: 1 Pa is 93.98 dB SPL). The
// number must be positive and finite; the unit as for a sensitivity's EU.
struct UnitValueReading
{
    UnitValue value;
    std::optional<UnitTextRefusal> refusal;
};
UnitValueReading parseUnitValue(std::string_view strText);

// The refusal in English, naming the field and what was found, for a text strGiven read as strWhat
// ("sensitivity", "calibration level"): `sensitivity "100 mA/g": the voltage unit "mA" is not V, mV,
// µV or uV`.
std::string unitTextRefusalText(std::string_view strWhat, std::string_view strGiven, const UnitTextRefusal& refusal);

// Volts written with the prefix that keeps the number from 1 to 1000 (V, mV or µV; µV below that):
// intDigits significant digits (1 to 15), 15 as the files write numbers ("70.52 mV", "1.5 V").
std::string voltsText(double dblVolts, int intDigits);

// The sensitivity as a text parseSensitivity reads back: voltsText of the volts per unit, "/", the
// unit (in parentheses when it holds a "/"): "100 mV/g", "10.2 mV/(m/s²)", "49.87 mV/Pa".
std::string sensitivityText(const EngineeringUnit& unit, int intDigits = 15);

} // namespace kestrix::engine
