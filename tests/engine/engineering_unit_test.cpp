// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/recordings/engineering_unit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace kestrix::engine {
namespace {

const std::string strMicro = "\xC2\xB5";
const std::string strSquared = "\xC2\xB2";
const std::string strGreekMu = "\xCE\xBC";

TEST(Sensitivity, EveryWayOfWritingOneSensitivityReadsAlike)
{
    struct Case
    {
        std::string strText;
        double dblVoltsPerUnit;
        std::string strUnit;
    };
    const Case cases[] = {
        {"100 mV/g", 0.1, "g"},
        {"100mV/g", 0.1, "g"},
        {"  100 mV / g ", 0.1, "g"},
        {"0.1 V/g", 0.1, "g"},
        {"1e2 mV/(g)", 0.1, "g"},
        {"100000 " + strMicro + "V/g", 0.1, "g"},
        {"100000 " + strGreekMu + "V/g", 0.1, "g"},
        {"100000 uV/g", 0.1, "g"},
        {"10.2 mV/(m/s" + strSquared + ")", 0.0102, "m/s" + strSquared},
        {"10.2 mV/(m/s^2)", 0.0102, "m/s" + strSquared},
        {"10.2 mV/m/s^2", 0.0102, "m/s" + strSquared},
        {"10.2mV/m/s2", 0.0102, "m/s" + strSquared},
        {"10200 uV/( m/s^2 )", 0.0102, "m/s" + strSquared},
        {"50 mV/Pa", 0.05, "Pa"},
        {"1 V/V", 1.0, "V"},
        {"7.87 V/mm", 7.87, "mm"},
        {"20 mV/" + strGreekMu + "m", 0.02, strMicro + "m"},
        {"20 mV/um", 0.02, strMicro + "m"},
        {"2.25 mV/N", 0.00225, "N"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strText);
        const SensitivityReading reading = parseSensitivity(c.strText);
        ASSERT_FALSE(reading.refusal) << unitTextRefusalText("sensitivity", c.strText, *reading.refusal);
        EXPECT_NEAR(reading.unit.dblVoltsPerUnit, c.dblVoltsPerUnit, 1e-15 * c.dblVoltsPerUnit);
        EXPECT_EQ(reading.unit.strUnit, c.strUnit);
        // Written back, it reads as itself: the heading's text is a sensitivity too.
        const SensitivityReading again = parseSensitivity(sensitivityText(reading.unit));
        ASSERT_FALSE(again.refusal) << sensitivityText(reading.unit);
        EXPECT_EQ(again.unit.strUnit, c.strUnit);
        EXPECT_NEAR(again.unit.dblVoltsPerUnit, c.dblVoltsPerUnit, 1e-14 * c.dblVoltsPerUnit);
    }
}

TEST(Sensitivity, NonsenseIsRefusedNamingTheFieldAndWhatStoodThere)
{
    struct Case
    {
        std::string strText;
        UnitTextField field;
        std::string strFound;
        std::string strMessagePart;
    };
    const Case cases[] = {
        {"", UnitTextField::Number, "", "no number at the start"},
        {"abc", UnitTextField::Number, "abc", "\"abc\" is not a positive number"},
        {"mV/g", UnitTextField::Number, "mV", "\"mV\" is not a positive number"},
        {"0 mV/g", UnitTextField::Number, "0", "\"0\" is not a positive number"},
        {"-100 mV/g", UnitTextField::Number, "-100", "\"-100\" is not a positive number"},
        {"1e999 mV/g", UnitTextField::Number, "1e999", "\"1e999\" is not a positive number"},
        {"1.2.3 mV/g", UnitTextField::Number, "1.2.3", "\"1.2.3\""},
        {"100 mA/g", UnitTextField::VoltUnit, "mA", "the voltage unit \"mA\" is not V, mV, " + strMicro + "V or uV"},
        {"100 mv/g", UnitTextField::VoltUnit, "mv", "\"mv\""},
        {"100 kV/g", UnitTextField::VoltUnit, "kV", "\"kV\""},
        {"100 /g", UnitTextField::VoltUnit, "", "the voltage unit (V, mV, " + strMicro + "V or uV) is missing"},
        {"100", UnitTextField::VoltUnit, "", "is missing"},
        {"100 mV g", UnitTextField::Slash, "g", "\"/\" expected after the voltage unit, found \"g\""},
        {"100 mV", UnitTextField::Slash, "", "\"/\" expected after the voltage unit"},
        {"100 mV/", UnitTextField::Unit, "", "the unit is missing"},
        {"100 mV/ ()", UnitTextField::Unit, "()", "\"()\" is not a unit"},
        {"100 mV/42", UnitTextField::Unit, "42", "\"42\" is not a unit"},
        {"100 mV/(m/s^2", UnitTextField::Unit, "(m/s^2", "\"(m/s^2\" is not a unit"},
        {"100 mV/g\x01", UnitTextField::Unit, "g\x01", "is not a unit"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strText);
        const SensitivityReading reading = parseSensitivity(c.strText);
        ASSERT_TRUE(reading.refusal);
        EXPECT_EQ(reading.refusal->field, c.field);
        EXPECT_EQ(reading.refusal->strFound, c.strFound);
        const std::string strMessage = unitTextRefusalText("sensitivity", c.strText, *reading.refusal);
        EXPECT_TRUE(strMessage.starts_with("sensitivity \"" + c.strText + "\": ")) << strMessage;
        EXPECT_NE(strMessage.find(c.strMessagePart), std::string::npos) << strMessage;
    }
}

// ISO 1683's references, checked in the units of their own quantity: a level in dB is the same whatever
// unit the value is read in.
TEST(Sensitivity, TheDecibelReferencesAreIsoOnesInEveryUnit)
{
    struct Case
    {
        std::string strUnit;
        double dblReferenceInSi; // the ISO value in the SI unit of the quantity
        double dblSiPerUnit;
        std::string strText;
    };
    const Case cases[] = {
        {"Pa", 20e-6, 1.0, "20 " + strMicro + "Pa"},
        {"m/s" + strSquared, 1e-6, 1.0, "1 " + strMicro + "m/s" + strSquared},
        {"g", 1e-6, 9.80665, "1 " + strMicro + "m/s" + strSquared},
        {"m/s", 1e-9, 1.0, "1 nm/s"},
        {"mm/s", 1e-9, 1e-3, "1 nm/s"},
        {"m", 1e-12, 1.0, "1 pm"},
        {"mm", 1e-12, 1e-3, "1 pm"},
        {strMicro + "m", 1e-12, 1e-6, "1 pm"},
        {"N", 1e-6, 1.0, "1 " + strMicro + "N"},
        {"V", 1.0, 1.0, "1 V"},
        {"lbf", 1.0, 1.0, "1 lbf"},
        {"%", 1.0, 1.0, "1 %"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strUnit);
        const DbReference reference = isoDbReference(c.strUnit);
        EXPECT_NEAR(reference.dblValue * c.dblSiPerUnit, c.dblReferenceInSi, 1e-12 * c.dblReferenceInSi);
        EXPECT_EQ(reference.strText, c.strText);
        const EngineeringUnit unit = engineeringUnit(c.strUnit, 0.5);
        EXPECT_EQ(unit.dblDbReference, reference.dblValue);
        EXPECT_EQ(unit.strDbReference, reference.strText);
        EXPECT_EQ(unit.dblVoltsPerUnit, 0.5);
    }
    EXPECT_EQ(accelerationPerUnit("g"), 9.80665);
    EXPECT_EQ(accelerationPerUnit("m/s" + strSquared), 1.0);
    EXPECT_FALSE(accelerationPerUnit("Pa"));
    EXPECT_FALSE(accelerationPerUnit("mm/s"));
    EXPECT_FALSE(accelerationPerUnit("V"));
}

TEST(Sensitivity, VoltsAreWrittenWithTheirPrefixAndDigits)
{
    struct Case
    {
        double dblVolts;
        int intDigits;
        const char* strText;
    };
    const Case cases[] = {
        {0.07052, 4, "70.52 mV"},          {0.0498731, 4, "49.87 mV"},     {1.5, 15, "1.5 V"},      {0.1, 15, "100 mV"},
        {0.0102, 15, "10.2 mV"},           {2.5e-5, 4, "25.00 \xC2\xB5V"}, {12.3456, 4, "12.35 V"}, {0.001, 15, "1 mV"},
        {0.00099999, 3, "1000 \xC2\xB5V"}, {0.0, 15, "0 \xC2\xB5V"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strText);
        EXPECT_EQ(voltsText(c.dblVolts, c.intDigits), c.strText);
    }
    EXPECT_EQ(sensitivityText(engineeringUnit("m/s" + strSquared, 0.0102)), "10.2 mV/(m/s" + strSquared + ")");
    EXPECT_EQ(sensitivityText(engineeringUnit("Pa", 0.0498731), 4), "49.87 mV/Pa");
}

TEST(UnitValue, LevelsOfCalibratorsReadInTheirUnits)
{
    struct Case
    {
        std::string strText;
        double dblValue;
        std::string strUnit;
    };
    const Case cases[] = {
        {"1 g", 1.0, "g"},
        {"9.80665 m/s" + strSquared, 9.80665, "m/s" + strSquared},
        {"10 m/s^2", 10.0, "m/s" + strSquared},
        {"1 Pa", 1.0, "Pa"},
        {"1Pa", 1.0, "Pa"},
        {"10 mm/s", 10.0, "mm/s"},
        // 20 uPa x 10^(94 / 20) and x 10^(114 / 20): 1.0024 Pa and 10.024 Pa.
        {"94 dB SPL", 1.0023744672545445, "Pa"},
        {"114 dB SPL", 10.023744672545445, "Pa"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strText);
        const UnitValueReading reading = parseUnitValue(c.strText);
        ASSERT_FALSE(reading.refusal);
        EXPECT_NEAR(reading.value.dblValue, c.dblValue, 1e-14 * c.dblValue);
        EXPECT_EQ(reading.value.strUnit, c.strUnit);
    }
    const struct
    {
        const char* strText;
        UnitTextField field;
    } refused[] = {{"g", UnitTextField::Number},   {"-1 g", UnitTextField::Number}, {"1", UnitTextField::Unit},
                   {"94 dB", UnitTextField::Unit}, {"1 (Pa", UnitTextField::Unit},  {"", UnitTextField::Number}};
    for (const auto& r : refused) {
        SCOPED_TRACE(r.strText);
        const UnitValueReading reading = parseUnitValue(r.strText);
        ASSERT_TRUE(reading.refusal);
        EXPECT_EQ(reading.refusal->field, r.field);
    }
}

} // namespace
} // namespace kestrix::engine
