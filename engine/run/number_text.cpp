// SPDX-License-Identifier: GPL-3.0-or-later
#include "number_text.h"

#include "platform/failure.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <system_error>

namespace kestrix::engine {

namespace {

constexpr int intMaxPlainDigits = 15; // an integer of up to 15 digits converts exactly by hand

bool isBlank(char chr)
{
    return chr == ' ' || chr == '\t';
}

bool isDigit(char chr)
{
    return chr >= '0' && chr <= '9';
}

// The parts of a text that passed the numeric grammar.
struct NumberSpan
{
    std::string_view strBody; // the number without blanks and sign
    bool blnNegative = false;
    bool blnPlainInteger = false; // digits only, at most intMaxPlainDigits of them
};

std::optional<NumberSpan> scanNumber(std::string_view strText)
{
    std::size_t i = 0;
    const std::size_t n = strText.size();
    while (i < n && isBlank(strText[i])) {
        ++i;
    }
    NumberSpan span;
    if (i < n && (strText[i] == '+' || strText[i] == '-')) {
        span.blnNegative = strText[i] == '-';
        ++i;
    }
    const std::size_t lngBodyStart = i;
    std::size_t lngIntDigits = 0;
    while (i < n && isDigit(strText[i])) {
        ++i;
        ++lngIntDigits;
    }
    std::size_t lngFracDigits = 0;
    bool blnPoint = false;
    if (i < n && strText[i] == '.') {
        blnPoint = true;
        ++i;
        while (i < n && isDigit(strText[i])) {
            ++i;
            ++lngFracDigits;
        }
    }
    if (lngIntDigits + lngFracDigits == 0) {
        return std::nullopt;
    }
    bool blnExponent = false;
    if (i < n && (strText[i] == 'e' || strText[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < n && (strText[j] == '+' || strText[j] == '-')) {
            ++j;
        }
        if (j >= n || !isDigit(strText[j])) {
            return std::nullopt;
        }
        while (j < n && isDigit(strText[j])) {
            ++j;
        }
        i = j;
        blnExponent = true;
    }
    const std::size_t lngBodyEnd = i;
    while (i < n && isBlank(strText[i])) {
        ++i;
    }
    if (i != n) {
        return std::nullopt;
    }
    span.strBody = strText.substr(lngBodyStart, lngBodyEnd - lngBodyStart);
    span.blnPlainInteger = !blnPoint && !blnExponent && lngIntDigits <= intMaxPlainDigits;
    return span;
}

// The common line of a recording, a whole count such as " -1234", read in one pass: blanks, a sign,
// 1 to intMaxPlainDigits digits, blanks. False for any other text, which the general scanner then
// reads (giving the same value for these forms, so this is only a shortcut).
bool readPlainWhole(std::string_view strText, double& dblOut)
{
    const char* pch = strText.data();
    const char* const pchEnd = pch + strText.size();
    while (pch != pchEnd && isBlank(*pch)) {
        ++pch;
    }
    bool blnNegative = false;
    if (pch != pchEnd && (*pch == '+' || *pch == '-')) {
        blnNegative = *pch == '-';
        ++pch;
    }
    const char* const pchDigits = pch;
    std::uint64_t lngValue = 0;
    while (pch != pchEnd && isDigit(*pch)) {
        lngValue = lngValue * 10 + static_cast<std::uint64_t>(*pch - '0');
        ++pch;
    }
    const auto lngDigits = pch - pchDigits;
    if (lngDigits == 0 || lngDigits > intMaxPlainDigits) {
        return false;
    }
    while (pch != pchEnd && isBlank(*pch)) {
        ++pch;
    }
    if (pch != pchEnd) {
        return false;
    }
    const auto dblValue = static_cast<double>(lngValue);
    dblOut = blnNegative ? -dblValue : dblValue;
    return true;
}

// Whether a body that std::from_chars found out of range is too large (true) or too small (false).
bool bodyOverflows(std::string_view strBody)
{
    // Decimal exponent of the first significant digit, from the digits before the point and the
    // position of that digit, then the written exponent.
    long long lngIntDigits = 0;
    long long lngFirstSignificant = -1; // position among all mantissa digits
    long long lngPosition = 0;
    bool blnSeenPoint = false;
    std::size_t i = 0;
    for (; i < strBody.size() && strBody[i] != 'e' && strBody[i] != 'E'; ++i) {
        if (strBody[i] == '.') {
            blnSeenPoint = true;
            continue;
        }
        if (!blnSeenPoint) {
            ++lngIntDigits;
        }
        if (lngFirstSignificant < 0 && strBody[i] != '0') {
            lngFirstSignificant = lngPosition;
        }
        ++lngPosition;
    }
    if (lngFirstSignificant < 0) {
        return false;
    }
    long long lngExponent = 0;
    bool blnExponentNegative = false;
    if (i < strBody.size()) {
        ++i;
        if (i < strBody.size() && (strBody[i] == '+' || strBody[i] == '-')) {
            blnExponentNegative = strBody[i] == '-';
            ++i;
        }
        for (; i < strBody.size(); ++i) {
            if (lngExponent < 1000000000LL) {
                lngExponent = lngExponent * 10 + (strBody[i] - '0');
            }
        }
    }
    const long long lngLeadExponent = lngIntDigits - 1 - lngFirstSignificant;
    return lngLeadExponent + (blnExponentNegative ? -lngExponent : lngExponent) > 0;
}

} // namespace

bool isNumericText(std::string_view strText)
{
    double dblValue = 0.0;
    return readNumericText(strText, dblValue);
}

std::optional<double> numericValue(std::string_view strText)
{
    double dblValue = 0.0;
    if (!readNumericText(strText, dblValue)) {
        return std::nullopt;
    }
    return dblValue;
}

bool readNumericText(std::string_view strText, double& dblOut)
{
    if (readPlainWhole(strText, dblOut)) {
        return true;
    }
    const auto span = scanNumber(strText);
    if (!span) {
        return false;
    }
    double dblValue = 0.0;
    if (span->blnPlainInteger) {
        std::uint64_t lngValue = 0;
        for (const char chr : span->strBody) {
            lngValue = lngValue * 10 + static_cast<std::uint64_t>(chr - '0');
        }
        dblValue = static_cast<double>(lngValue);
    } else {
        const char* pchEnd = span->strBody.data() + span->strBody.size();
        const auto result = std::from_chars(span->strBody.data(), pchEnd, dblValue);
        if (result.ec == std::errc::result_out_of_range) {
            if (bodyOverflows(span->strBody)) {
                return false;
            }
            dblValue = 0.0;
        } else if (result.ec != std::errc() || result.ptr != pchEnd) {
            return false;
        }
        if (!std::isfinite(dblValue)) {
            return false;
        }
    }
    dblOut = span->blnNegative ? -dblValue : dblValue;
    return true;
}

std::int32_t wholeNumberOfText(std::string_view strText)
{
    const auto dblValue = numericValue(strText);
    if (!dblValue) {
        raiseFailure(err::lngTypeMismatch);
    }
    const std::string strWhole = fixedDecimalText(*dblValue, 0);
    long long lngWhole = 0;
    const auto result = std::from_chars(strWhole.data(), strWhole.data() + strWhole.size(), lngWhole);
    if (result.ec != std::errc() || lngWhole < std::numeric_limits<std::int32_t>::min() ||
        lngWhole > std::numeric_limits<std::int32_t>::max()) {
        raiseFailure(err::lngOverflow);
    }
    return static_cast<std::int32_t>(lngWhole);
}

double fixedValueOfText(std::string_view strText, int intDecimals)
{
    const auto dblValue = numericValue(strText);
    if (!dblValue) {
        raiseFailure(err::lngTypeMismatch);
    }
    return fixedDecimalValue(*dblValue, intDecimals);
}

} // namespace kestrix::engine
