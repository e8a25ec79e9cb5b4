// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the window's field checks and the run's band-limit checks on any texts: the input's lines
// are the sampling frequency, the input range, the lower and the upper band limit. The properties:
// - no exception escapes a field check or the band-limit checks: a limit whose three-decimal rounding
//   lies beyond the double range is refused as out of its range;
// - each check gives the first of its specified messages whose condition holds, in the specified
//   order, or accepts; in particular a number just below the double limit (1.7976931348623157e308),
//   whose rounding does not read back, is refused;
// - an accepted entry's normal form is accepted again and normalises to itself, and the values derived
//   from it (maximum analysis frequency, resolution) are numeric texts;
// - readAnalysisParameters applies exactly checkBandLimits.

#include "engine/run/analysis_parameters.h"
#include "engine/run/field_checks.h"
#include "engine/run/number_text.h"
#include "fuzz/fuzz_support.h"
#include "platform/failure.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

namespace {

using namespace kestrix;
using engine::FieldCheck;
using fuzz::require;

// A limit's value as the run converts it, or nothing when its rounding lies beyond the double range.
std::optional<double> roundedValue(std::string_view strText, int intDecimals)
{
    return engine::numericValue(engine::fixedDecimalText(*engine::numericValue(strText), intDecimals));
}

template <typename Check> FieldCheck checkedWithoutThrowing(Check&& check, std::string_view strText)
{
    try {
        return check(strText);
    } catch (...) {
        fuzz::propertyBroken("no exception escapes a field check", strText);
    }
}

FieldCheck expectedSampFreq(std::string_view strText)
{
    if (strText.empty()) {
        return {"サンプリング周波数を設定してください！", {}};
    }
    if (!engine::isNumericText(strText)) {
        return {"サンプリング周波数には半角数字を設定してください！", {}};
    }
    const std::string strWhole = engine::fixedDecimalText(*engine::numericValue(strText), 0);
    long long lngWhole = 0;
    const auto result = std::from_chars(strWhole.data(), strWhole.data() + strWhole.size(), lngWhole);
    if (result.ec != std::errc() || lngWhole <= 0 || lngWhole > std::numeric_limits<std::int32_t>::max()) {
        return {"サンプリング周波数には正の整数を設定してください！", {}};
    }
    return {{}, std::to_string(lngWhole)};
}

FieldCheck expectedMaxVolt(std::string_view strText)
{
    if (strText.empty()) {
        return {"入力レンジを設定してください！", {}};
    }
    if (!engine::isNumericText(strText)) {
        return {"入力レンジには半角数字を設定してください！", {}};
    }
    const std::optional<double> dblMaxVolt = roundedValue(strText, 3);
    if (!dblMaxVolt || !(*dblMaxVolt > 0)) {
        return {"入力レンジには正の実数を設定してください！", {}};
    }
    return {{}, engine::generalNumberText(*dblMaxVolt)};
}

// Checks an entry against its expected outcome; an accepted one must come back unchanged from a
// second check of its normal form.
template <typename Check>
void checkField(Check&& check, const FieldCheck& expected, std::string_view strText, std::string_view strField)
{
    const FieldCheck actual = checkedWithoutThrowing(check, strText);
    require(actual.strMessage == expected.strMessage, strField, strText);
    require(actual.strNormalized == expected.strNormalized, strField, strText);
    if (actual.accepted()) {
        const FieldCheck again = checkedWithoutThrowing(check, actual.strNormalized);
        require(again.accepted() && again.strNormalized == actual.strNormalized,
                "an accepted entry's normal form is accepted and normalises to itself", actual.strNormalized);
        require(engine::isNumericText(actual.strNormalized), "a normal form is numeric", actual.strNormalized);
    }
}

// The texts the window derives from an accepted sampling frequency are numbers with their decimals.
void checkDerived(std::int32_t lngSampFreq, std::string_view strNumSampText)
{
    const double dblMaxAnaFreq = engine::maxAnaFreqRounded(lngSampFreq);
    require(engine::isNumericText(engine::maxAnaFreqText(dblMaxAnaFreq)), "the maximum frequency text is numeric",
            std::to_string(lngSampFreq));
    for (const std::string_view strPoints : engine::strPointCounts) {
        const std::string strDelta = engine::deltaFreqText(dblMaxAnaFreq, engine::wholeNumberOfText(strPoints));
        require(engine::isNumericText(strDelta) && strDelta.size() > 4 && strDelta[strDelta.size() - 4] == '.',
                "the resolution is a number with three decimals", strDelta);
    }
    std::optional<std::string> strDelta;
    try {
        strDelta = engine::deltaFreqTextAfterListChange(std::to_string(lngSampFreq), strNumSampText);
    } catch (...) {
        fuzz::propertyBroken("no exception escapes the resolution after a list change", strNumSampText);
    }
    require(!strDelta || engine::isNumericText(*strDelta), "a resolution after a list change is numeric",
            strNumSampText);
}

// The outcome of the band-limit checks: a message, the overflow of a limit's conversion, or the
// two limits.
struct BandOutcome
{
    std::string strMessage;
    bool blnOverflow = false;
    double dblLowFreq = 0.0;
    double dblHighFreq = 0.0;
};

BandOutcome refusal(const char* strMessage)
{
    return {strMessage, false, 0.0, 0.0};
}

BandOutcome expectedBand(std::string_view strLow, std::string_view strHigh, double dblMaxAnaFreq)
{
    if (strLow.empty()) {
        return refusal("下限周波数を設定してください！");
    }
    if (!engine::isNumericText(strLow)) {
        return refusal("下限周波数には半角数字を設定してください！");
    }
    const std::optional<double> dblLow = roundedValue(strLow, 3);
    if (!dblLow || *dblLow < 0) {
        return refusal("下限周波数には 0 以上の実数を設定してください！");
    }
    if (strHigh.empty()) {
        return refusal("上限周波数を設定してください！");
    }
    if (!engine::isNumericText(strHigh)) {
        return refusal("上限周波数には半角数字を設定してください！");
    }
    const std::optional<double> dblHigh = roundedValue(strHigh, 3);
    if (!dblHigh || *dblHigh <= 0) {
        return refusal("上限周波数には正の実数を設定してください！");
    }
    if (*dblLow >= *dblHigh) {
        return refusal("下限周波数は上限周波数より小さくしてください！");
    }
    if (*dblLow >= dblMaxAnaFreq) {
        return refusal("下限周波数は最大解析周波数より小さくしてください！");
    }
    return {{}, false, *dblLow, *dblHigh};
}

// Runs the checks; nothing may leave them as an exception (an escaping overflow is recorded, and no
// expected outcome has one).
template <typename Checks> BandOutcome bandOutcome(Checks&& checks, const engine::AnalysisParameters& params)
{
    BandOutcome outcome;
    try {
        outcome.strMessage = checks();
    } catch (const KestrixError& failure) {
        require(failure.number() == err::lngOverflow, "the band checks raise nothing but an overflow", failure.what());
        outcome.blnOverflow = true;
        return outcome;
    } catch (...) {
        fuzz::propertyBroken("the band checks raise nothing but an overflow", "");
    }
    outcome.dblLowFreq = params.dblLowFreq;
    outcome.dblHighFreq = params.dblHighFreq;
    return outcome;
}

void requireOutcome(const BandOutcome& actual, const BandOutcome& expected, std::string_view strWhich)
{
    require(actual.blnOverflow == expected.blnOverflow, "a limit overflows exactly when its rounding leaves the range",
            strWhich);
    require(actual.strMessage == expected.strMessage, "the first failing band check gives its message", strWhich);
    if (!expected.blnOverflow && expected.strMessage.empty()) {
        require(actual.dblLowFreq == expected.dblLowFreq && actual.dblHighFreq == expected.dblHighFreq,
                "accepted limits are their texts rounded to three decimals", strWhich);
    }
}

void checkBand(const std::string& strSampFreq, const std::string& strMaxVolt, std::string_view strLow,
               std::string_view strHigh)
{
    engine::ControlContents controls;
    controls.strSampFreq = strSampFreq;
    controls.strMaxVolt = strMaxVolt;
    controls.strLowFreq = std::string(strLow);
    controls.strHighFreq = std::string(strHigh);
    engine::AnalysisParameters params;
    params.dblMaxAnaFreq = engine::wholeNumberOfText(strSampFreq) / engine::dblPointsPerLine;
    const BandOutcome expected = expectedBand(strLow, strHigh, params.dblMaxAnaFreq);
    const std::string strSubject = std::string(strLow) + "|" + std::string(strHigh);
    requireOutcome(bandOutcome([&] { return engine::checkBandLimits(controls, params); }, params), expected,
                   "checkBandLimits: " + strSubject);
    engine::ParameterReading reading;
    const BandOutcome run = bandOutcome(
        [&] {
            reading = engine::readAnalysisParameters(controls);
            return reading.strRefusal;
        },
        reading.params);
    requireOutcome(run, expected, "readAnalysisParameters: " + strSubject);
    if (!run.blnOverflow) {
        require(std::isfinite(reading.params.dblPosScale) && reading.params.dblPosScale > 0,
                "an accepted input range gives a finite positive scale", strMaxVolt);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pbytData, std::size_t lngSize)
{
    std::vector<std::string_view> strTexts;
    std::string_view strInput = fuzz::asText(pbytData, lngSize);
    for (int i = 0; i < 4; ++i) {
        const std::size_t lngLf = strInput.find('\n');
        strTexts.push_back(strInput.substr(0, lngLf));
        strInput.remove_prefix(lngLf == std::string_view::npos ? strInput.size() : lngLf + 1);
    }
    const FieldCheck sampFreq = expectedSampFreq(strTexts[0]);
    checkField(engine::checkSampFreq, sampFreq, strTexts[0], "the sampling frequency check");
    const FieldCheck maxVolt = expectedMaxVolt(strTexts[1]);
    checkField(engine::checkMaxVolt, maxVolt, strTexts[1], "the input range check");
    if (sampFreq.accepted()) {
        checkDerived(engine::wholeNumberOfText(sampFreq.strNormalized), strTexts[1]);
    }
    checkBand(sampFreq.accepted() ? sampFreq.strNormalized : "1024", maxVolt.accepted() ? maxVolt.strNormalized : "5",
              strTexts[2], strTexts[3]);
    return 0;
}
