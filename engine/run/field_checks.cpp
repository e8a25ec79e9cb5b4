// SPDX-License-Identifier: GPL-3.0-or-later
#include "field_checks.h"

#include "number_text.h"
#include "platform/failure.h"

#include <cmath>
#include <limits>

namespace kestrix::engine {

namespace {

constexpr const char* strMsgSampFreqEmpty = "サンプリング周波数を設定してください！";
constexpr const char* strMsgSampFreqDigits = "サンプリング周波数には半角数字を設定してください！";
constexpr const char* strMsgSampFreqPositive = "サンプリング周波数には正の整数を設定してください！";
constexpr const char* strMsgMaxVoltEmpty = "入力レンジを設定してください！";
constexpr const char* strMsgMaxVoltDigits = "入力レンジには半角数字を設定してください！";
constexpr const char* strMsgMaxVoltPositive = "入力レンジには正の実数を設定してください！";
constexpr const char* strMsgLowEmpty = "下限周波数を設定してください！";
constexpr const char* strMsgLowDigits = "下限周波数には半角数字を設定してください！";
constexpr const char* strMsgLowNegative = "下限周波数には 0 以上の実数を設定してください！";
constexpr const char* strMsgHighEmpty = "上限周波数を設定してください！";
constexpr const char* strMsgHighDigits = "上限周波数には半角数字を設定してください！";
constexpr const char* strMsgHighNotPositive = "上限周波数には正の実数を設定してください！";
constexpr const char* strMsgLowNotBelowHigh = "下限周波数は上限周波数より小さくしてください！";
constexpr const char* strMsgLowNotBelowMax = "下限周波数は最大解析周波数より小さくしてください！";

FieldCheck refuse(const char* strMessage)
{
    return FieldCheck{strMessage, {}};
}

// A numeric text's value rounded to three decimals, or nothing when the rounding lies beyond the double
// range (the text of a value just below the limit rounds up past it).
std::optional<double> threeDecimalValue(std::string_view strText)
{
    try {
        return fixedValueOfText(strText, 3);
    } catch (const KestrixError&) {
        return std::nullopt;
    }
}

// A text's value taken as a 32-bit integer with ties to even, or nothing.
std::optional<std::int32_t> roundedInt32(std::string_view strText)
{
    const auto dblValue = numericValue(strText);
    if (!dblValue) {
        return std::nullopt;
    }
    const double dblRounded = std::nearbyint(*dblValue);
    if (dblRounded < std::numeric_limits<std::int32_t>::min() ||
        dblRounded > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(dblRounded);
}

} // namespace

FieldCheck checkSampFreq(std::string_view strText)
{
    if (strText.empty()) {
        return refuse(strMsgSampFreqEmpty);
    }
    if (!isNumericText(strText)) {
        return refuse(strMsgSampFreqDigits);
    }
    std::int32_t lngSampFreq = 0;
    try {
        lngSampFreq = wholeNumberOfText(strText);
    } catch (const KestrixError&) {
        return refuse(strMsgSampFreqPositive); // beyond 32 bits
    }
    if (lngSampFreq <= 0) {
        return refuse(strMsgSampFreqPositive);
    }
    return FieldCheck{{}, std::to_string(lngSampFreq)};
}

FieldCheck checkMaxVolt(std::string_view strText)
{
    if (strText.empty()) {
        return refuse(strMsgMaxVoltEmpty);
    }
    if (!isNumericText(strText)) {
        return refuse(strMsgMaxVoltDigits);
    }
    const std::optional<double> dblMaxVolt = threeDecimalValue(strText);
    if (dblMaxVolt && *dblMaxVolt > 0) {
        return FieldCheck{{}, generalNumberText(*dblMaxVolt)};
    }
    return refuse(strMsgMaxVoltPositive);
}

std::string checkBandLimits(AnalysisControls& controls, AnalysisParameters& params)
{
    const std::string strLow = controls.lowFreqText();
    if (strLow.empty()) {
        return strMsgLowEmpty;
    }
    if (!isNumericText(strLow)) {
        return strMsgLowDigits;
    }
    const std::optional<double> dblLow = threeDecimalValue(strLow);
    if (!dblLow) {
        return strMsgLowNegative;
    }
    params.dblLowFreq = *dblLow;
    if (params.dblLowFreq < 0) {
        return strMsgLowNegative;
    }
    const std::string strHigh = controls.highFreqText();
    if (strHigh.empty()) {
        return strMsgHighEmpty;
    }
    if (!isNumericText(strHigh)) {
        return strMsgHighDigits;
    }
    const std::optional<double> dblHigh = threeDecimalValue(strHigh);
    if (!dblHigh) {
        return strMsgHighNotPositive;
    }
    params.dblHighFreq = *dblHigh;
    if (params.dblHighFreq <= 0) {
        return strMsgHighNotPositive;
    }
    if (params.dblLowFreq >= params.dblHighFreq) {
        return strMsgLowNotBelowHigh;
    }
    if (params.dblLowFreq >= params.dblMaxAnaFreq) {
        return strMsgLowNotBelowMax;
    }
    return {};
}

double maxAnaFreqRounded(std::int32_t lngSampFreq)
{
    return fixedDecimalValue(lngSampFreq / dblPointsPerLine, 2);
}

std::string maxAnaFreqText(double dblMaxAnaFreq)
{
    return generalNumberText(dblMaxAnaFreq);
}

std::string deltaFreqText(double dblMaxAnaFreq, std::int32_t lngNumSamp)
{
    return fixedDecimalText(dblMaxAnaFreq / (lngNumSamp / dblPointsPerLine), 3);
}

std::optional<std::string> deltaFreqTextAfterListChange(std::string_view strSampFreqText,
                                                        std::string_view strNumSampText)
{
    const auto lngSampFreq = roundedInt32(strSampFreqText);
    if (!lngSampFreq || !isNumericText(strNumSampText)) {
        return std::nullopt;
    }
    std::int32_t lngNumSamp = 0;
    try {
        lngNumSamp = wholeNumberOfText(strNumSampText);
    } catch (const KestrixError&) {
        return std::nullopt;
    }
    if (lngNumSamp == 0) {
        return std::nullopt;
    }
    const double dblMaxAnaFreq15 = *numericValue(generalNumberText(*lngSampFreq / dblPointsPerLine));
    return deltaFreqText(dblMaxAnaFreq15, lngNumSamp);
}

} // namespace kestrix::engine
