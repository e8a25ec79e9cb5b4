// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the number texts. Any bytes are read as a text: it must be numeric exactly when an independent
// reading of the grammar says so and glibc's strtod finds the value within the double range, with the
// value strtod gives. Eight bytes are also taken as a double, and every finite double met (that one and
// the value read) goes through every written text and back: the general text and the fixed-decimal
// texts are the 15-significant-digit rounding written as promised, and read back as numeric whenever
// that rounding lies within the double range.

#include "engine/run/number_text.h"
#include "fuzz/fuzz_support.h"
#include "platform/failure.h"

#include <bit>
#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>

namespace {

using namespace kestrix;
using fuzz::require;

// A numeric text as the grammar defines it, found without the engine's scanner.
struct GrammarReading
{
    bool blnNumeric = false;
    bool blnNegative = false;
    std::string strBody; // without blanks and sign
};

bool allDigits(std::string_view strText)
{
    return strText.find_first_not_of("0123456789") == std::string_view::npos;
}

GrammarReading readGrammar(std::string_view strText)
{
    const std::size_t lngFirst = strText.find_first_not_of(" \t");
    if (lngFirst == std::string_view::npos) {
        return {};
    }
    std::string_view strCore = strText.substr(lngFirst, strText.find_last_not_of(" \t") + 1 - lngFirst);
    GrammarReading reading;
    if (strCore.starts_with('+') || strCore.starts_with('-')) {
        reading.blnNegative = strCore.front() == '-';
        strCore.remove_prefix(1);
    }
    const std::size_t lngE = strCore.find_first_of("eE");
    const std::string_view strMantissa = strCore.substr(0, lngE);
    const std::size_t lngPoint = strMantissa.find('.');
    const std::string_view strWhole = strMantissa.substr(0, lngPoint);
    const std::string_view strFraction =
        lngPoint == std::string_view::npos ? std::string_view() : strMantissa.substr(lngPoint + 1);
    if (!allDigits(strWhole) || !allDigits(strFraction) || strWhole.size() + strFraction.size() == 0) {
        return {};
    }
    if (lngE != std::string_view::npos) {
        std::string_view strExponent = strCore.substr(lngE + 1);
        if (strExponent.starts_with('+') || strExponent.starts_with('-')) {
            strExponent.remove_prefix(1);
        }
        if (strExponent.empty() || !allDigits(strExponent)) {
            return {};
        }
    }
    reading.blnNumeric = true;
    reading.strBody = std::string(strCore);
    return reading;
}

bool sameDouble(double dblA, double dblB)
{
    return std::bit_cast<std::uint64_t>(dblA) == std::bit_cast<std::uint64_t>(dblB);
}

// The failure number an action raises, or 0 when it raises none.
template <typename Action> std::int32_t failureOf(Action&& action)
{
    try {
        action();
    } catch (const KestrixError& failure) {
        return failure.number();
    }
    return 0;
}

// The text's value as strtod reads it (the process keeps the "C" locale), or nothing when the grammar
// refuses the text or its value overflows.
std::optional<double> expectedValue(std::string_view strText)
{
    const GrammarReading reading = readGrammar(strText);
    if (!reading.blnNumeric) {
        return std::nullopt;
    }
    errno = 0;
    char* pchEnd = nullptr;
    const double dblValue = std::strtod(reading.strBody.c_str(), &pchEnd);
    require(pchEnd == reading.strBody.c_str() + reading.strBody.size(), "strtod reads the whole body", strText);
    if (errno == ERANGE && std::isinf(dblValue)) {
        return std::nullopt;
    }
    return reading.blnNegative ? -dblValue : dblValue;
}

// The 15-significant-digit rounding of a double, from std::to_chars's scientific text.
struct Rounded15
{
    bool blnZero = true;
    bool blnNegative = false;
    std::string strDigits;     // 15 digits, the first not 0
    int intExponent = 0;       // the decimal exponent of the first digit
    std::string strScientific; // "d.dddddddddddddde+XX"
};

Rounded15 rounded15(double dblValue)
{
    Rounded15 rounded;
    rounded.blnNegative = std::signbit(dblValue);
    if (dblValue == 0.0) {
        return rounded;
    }
    char chrText[64];
    const auto result =
        std::to_chars(chrText, chrText + sizeof chrText, std::fabs(dblValue), std::chars_format::scientific, 14);
    rounded.strScientific.assign(chrText, result.ptr);
    const std::size_t lngE = rounded.strScientific.find('e');
    rounded.strDigits = rounded.strScientific.substr(0, 1) + rounded.strScientific.substr(2, lngE - 2);
    const char* pchExponent = chrText + lngE + (chrText[lngE + 1] == '+' ? 2 : 1);
    std::from_chars(pchExponent, result.ptr, rounded.intExponent);
    rounded.blnZero = false;
    return rounded;
}

// Whether the rounding reads back as a double: 1.79769313486231E+308 does, but 1.79769313486232E+308
// lies beyond the largest double (1.7976931348623157E+308) by more than half its last step.
bool withinRange(const Rounded15& rounded)
{
    return rounded.blnZero || rounded.intExponent < 308 ||
           (rounded.intExponent == 308 && rounded.strDigits <= "179769313486231");
}

std::string expectedGeneralText(const Rounded15& rounded)
{
    if (rounded.blnZero) {
        return "0";
    }
    const std::string strSignificant = rounded.strDigits.substr(0, rounded.strDigits.find_last_not_of('0') + 1);
    std::string strText = rounded.blnNegative ? "-" : "";
    const int intExponent = rounded.intExponent;
    if (intExponent < -4 || intExponent >= 15) {
        strText += strSignificant.substr(0, 1);
        if (strSignificant.size() > 1) {
            strText += '.';
            strText += strSignificant.substr(1);
        }
        const int intMagnitude = std::abs(intExponent);
        strText += intExponent < 0 ? "E-" : "E+";
        strText += intMagnitude < 10 ? "0" : "";
        strText += std::to_string(intMagnitude);
    } else if (intExponent >= 0) {
        const auto lngWhole = static_cast<std::size_t>(intExponent + 1);
        std::string strPadded = strSignificant;
        strPadded.append(lngWhole > strPadded.size() ? lngWhole - strPadded.size() : 0, '0');
        strText += strPadded.substr(0, lngWhole);
        if (strPadded.size() > lngWhole) {
            strText += '.';
            strText += strPadded.substr(lngWhole);
        }
    } else {
        strText += "0.";
        strText.append(static_cast<std::size_t>(-intExponent - 1), '0');
        strText += strSignificant;
    }
    return strText;
}

// The digits with one added ("" counts as 0).
std::string incremented(std::string strDigits)
{
    std::size_t i = strDigits.size();
    while (i > 0 && strDigits[i - 1] == '9') {
        strDigits[--i] = '0';
    }
    if (i == 0) {
        return strDigits.insert(0, 1, '1');
    }
    ++strDigits[i - 1];
    return strDigits;
}

// The rounding to intDecimals decimals, halves away from zero, as "#0.000" writes it.
std::string expectedFixedText(const Rounded15& rounded, int intDecimals)
{
    std::string strScaled; // the whole part of the value times 10^intDecimals
    if (!rounded.blnZero) {
        const int intKeep = rounded.intExponent + intDecimals + 1;
        if (intKeep >= 15) {
            strScaled = rounded.strDigits;
            strScaled.append(static_cast<std::size_t>(intKeep - 15), '0');
        } else if (intKeep >= 0) {
            const auto lngKeep = static_cast<std::size_t>(intKeep);
            strScaled = rounded.strDigits.substr(0, lngKeep);
            if (rounded.strDigits[lngKeep] >= '5') {
                strScaled = incremented(strScaled);
            }
        }
    }
    const auto lngDecimals = static_cast<std::size_t>(intDecimals);
    strScaled.insert(0, strScaled.size() < lngDecimals + 1 ? lngDecimals + 1 - strScaled.size() : 0, '0');
    const bool blnZero = strScaled.find_first_not_of('0') == std::string::npos;
    std::string strText = rounded.blnNegative && !blnZero ? "-" : "";
    strText += strScaled.substr(0, strScaled.size() - lngDecimals);
    if (intDecimals > 0) {
        strText += '.';
        strText += strScaled.substr(strScaled.size() - lngDecimals);
    }
    return strText;
}

// The three ways of writing the general text agree, and the fixed-room writer stays in its room (a
// heap block of exactly that size, which AddressSanitizer guards).
void checkGeneralWriters(double dblValue, const std::string& strGeneral, std::string_view strSubject)
{
    const std::unique_ptr<char[]> pchRoom(new char[engine::lngGeneralTextRoom]);
    const char* pchEnd = engine::writeGeneralNumberText(pchRoom.get(), dblValue);
    require(std::string_view(pchRoom.get(), static_cast<std::size_t>(pchEnd - pchRoom.get())) == strGeneral,
            "writeGeneralNumberText writes the general text", strSubject);
    std::string strLine = "1,";
    engine::appendGeneralNumberText(strLine, dblValue);
    require(strLine == "1," + strGeneral, "appendGeneralNumberText appends the general text", strSubject);
}

void checkFixedTexts(double dblValue, const Rounded15& rounded, std::string_view strSubject)
{
    for (int intDecimals = 0; intDecimals <= 15; ++intDecimals) {
        const std::string strFixed = engine::fixedDecimalText(dblValue, intDecimals);
        require(strFixed == expectedFixedText(rounded, intDecimals),
                "the fixed text rounds the 15-digit form half away from zero", strSubject);
        const std::optional<double> dblBack = engine::numericValue(strFixed);
        require(dblBack.has_value() == withinRange(rounded), "a fixed text reads back within the double range",
                strSubject);
        double dblFixedValue = 0.0;
        const std::int32_t lngFailure =
            failureOf([&] { dblFixedValue = engine::fixedDecimalValue(dblValue, intDecimals); });
        if (dblBack) {
            require(sameDouble(*dblBack, *expectedValue(strFixed)), "a fixed text reads back as its value", strSubject);
            require(lngFailure == 0 && sameDouble(dblFixedValue, *dblBack), "fixedDecimalValue reads the fixed text",
                    strSubject);
        } else {
            require(lngFailure == err::lngOverflow, "a fixed text beyond the double range overflows", strSubject);
        }
    }
}

void checkRoundTrip(double dblValue)
{
    char chrShortest[64];
    const std::string strSubject(chrShortest, std::to_chars(chrShortest, chrShortest + 64, dblValue).ptr);
    const Rounded15 rounded = rounded15(dblValue);
    const engine::Decimal15 fast = engine::toDecimal15(dblValue);
    require(fast.blnNegative == rounded.blnNegative &&
                fast.lngDigits == (rounded.blnZero ? 0 : std::stoull(rounded.strDigits)) &&
                (rounded.blnZero || fast.intExponent == rounded.intExponent),
            "the fast 15-digit conversion is exact", strSubject);
    const std::string strGeneral = engine::generalNumberText(dblValue);
    require(strGeneral == expectedGeneralText(rounded), "the general text is the shortest form of 15 digits",
            strSubject);
    checkGeneralWriters(dblValue, strGeneral, strSubject);
    const std::optional<double> dblBack = engine::numericValue(strGeneral);
    require(dblBack.has_value() == withinRange(rounded), "the general text reads back within the double range",
            strSubject);
    std::int32_t lngWhole = 0;
    const std::int32_t lngWholeFailure = failureOf([&] { lngWhole = engine::wholeNumberOfGeneralText(dblValue); });
    if (dblBack) {
        const double dblRounded15 = rounded.blnZero ? 0.0 : *expectedValue(rounded.strScientific);
        require(std::fabs(*dblBack) == dblRounded15, "the general text reads back as the 15-digit rounding",
                strSubject);
        // The text's value to a whole number, ties to even (the default rounding mode).
        const double dblWhole = std::nearbyint(*dblBack);
        const bool blnFits = dblWhole >= std::numeric_limits<std::int32_t>::min() &&
                             dblWhole <= std::numeric_limits<std::int32_t>::max();
        require(blnFits ? lngWholeFailure == 0 && lngWhole == dblWhole : lngWholeFailure == err::lngOverflow,
                "wholeNumberOfGeneralText rounds the text ties to even or overflows", strSubject);
    } else {
        require(lngWholeFailure == err::lngOverflow, "a general text beyond the double range overflows", strSubject);
    }
    checkFixedTexts(dblValue, rounded, strSubject);
}

// Any text: numeric exactly as the grammar and the range say, with strtod's value; the conversions
// that raise (whole number, fixed value) raise type mismatch for a text that is not numeric, and
// otherwise give the value's fixed text or overflow exactly when it does not fit.
void checkReading(std::string_view strText)
{
    const std::optional<double> dblExpected = expectedValue(strText);
    const std::optional<double> dblRead = engine::numericValue(strText);
    double dblFlagged = 0.0;
    const bool blnFlagged = engine::readNumericText(strText, dblFlagged);
    require(dblRead.has_value() == dblExpected.has_value(), "numeric exactly when the grammar and range allow",
            strText);
    require(engine::isNumericText(strText) == dblExpected.has_value(), "isNumericText agrees", strText);
    require(blnFlagged == dblExpected.has_value(), "readNumericText agrees", strText);
    std::int32_t lngWhole = 0;
    double dblFixed = 0.0;
    const std::int32_t lngWholeFailure = failureOf([&] { lngWhole = engine::wholeNumberOfText(strText); });
    const std::int32_t lngFixedFailure = failureOf([&] { dblFixed = engine::fixedValueOfText(strText, 3); });
    if (!dblExpected) {
        require(lngWholeFailure == err::lngTypeMismatch, "a text that is not numeric has no whole number", strText);
        require(lngFixedFailure == err::lngTypeMismatch, "a text that is not numeric has no fixed value", strText);
        return;
    }
    require(sameDouble(*dblRead, *dblExpected), "the value is the correctly rounded one", strText);
    require(sameDouble(dblFlagged, *dblExpected), "readNumericText gives the same value", strText);
    const Rounded15 rounded = rounded15(*dblExpected);
    const std::string strWhole = expectedFixedText(rounded, 0);
    long long lngExpectedWhole = 0;
    const bool blnWholeFits =
        strWhole.size() <= 11 &&
        std::from_chars(strWhole.data(), strWhole.data() + strWhole.size(), lngExpectedWhole).ec == std::errc() &&
        lngExpectedWhole >= std::numeric_limits<std::int32_t>::min() &&
        lngExpectedWhole <= std::numeric_limits<std::int32_t>::max();
    require(blnWholeFits ? lngWholeFailure == 0 && lngWhole == lngExpectedWhole : lngWholeFailure == err::lngOverflow,
            "the whole number is the \"#0\" text when it fits 32 bits, else overflow", strText);
    const std::optional<double> dblFixedExpected = expectedValue(expectedFixedText(rounded, 3));
    require(dblFixedExpected ? lngFixedFailure == 0 && sameDouble(dblFixed, *dblFixedExpected)
                             : lngFixedFailure == err::lngOverflow,
            "the fixed value is the \"#0.000\" text's, or overflow beyond the double range", strText);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pbytData, std::size_t lngSize)
{
    require(std::strcmp(std::localeconv()->decimal_point, ".") == 0, "the fuzz process keeps the C locale", "");
    const std::string_view strText = fuzz::asText(pbytData, lngSize);
    checkReading(strText);
    if (const std::optional<double> dblRead = engine::numericValue(strText)) {
        // The value read and its neighbours: a text near a half of the 15th digit lands on both sides.
        for (const double dblValue : {*dblRead, std::nextafter(*dblRead, 0.0), std::nextafter(*dblRead, HUGE_VAL)}) {
            if (std::isfinite(dblValue)) {
                checkRoundTrip(dblValue);
            }
        }
    }
    if (lngSize >= sizeof(double)) {
        std::uint64_t lngBits = 0;
        std::memcpy(&lngBits, pbytData, sizeof lngBits);
        const auto dblBits = std::bit_cast<double>(lngBits);
        if (std::isfinite(dblBits)) {
            checkRoundTrip(dblBits);
        }
    }
    return 0;
}
