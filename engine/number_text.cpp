#include "number_text.h"

#include "failure.h"

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

constexpr std::uint64_t lngTen14 = 100000000000000ULL;
constexpr std::uint64_t lngTen15 = 1000000000000000ULL;
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

// Two-digit texts "00" to "99" for the fast writers.
constexpr std::array<char, 200> makeDigitPairs()
{
    std::array<char, 200> chrPairs{};
    for (int i = 0; i < 100; ++i) {
        chrPairs[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
        chrPairs[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
    }
    return chrPairs;
}
constexpr std::array<char, 200> chrDigitPairs = makeDigitPairs();

// Writes the four digits of lngGroup (below 10^4) to chrOut.
void writeFourDigits(char* chrOut, std::uint32_t lngGroup)
{
    const std::uint32_t lngHigh = lngGroup / 100;
    const std::uint32_t lngLow = lngGroup % 100;
    chrOut[0] = chrDigitPairs[2 * lngHigh];
    chrOut[1] = chrDigitPairs[2 * lngHigh + 1];
    chrOut[2] = chrDigitPairs[2 * lngLow];
    chrOut[3] = chrDigitPairs[2 * lngLow + 1];
}

// Writes the 15 digits of lngDigits (10^14 <= lngDigits < 10^15) to chrOut. The number is split into
// groups of 3, 4, 4 and 4 digits first, so the divisions of the groups run side by side rather than
// as one chain of 7.
void writeFifteenDigits(char* chrOut, std::uint64_t lngDigits)
{
    constexpr std::uint64_t lngTen8 = 100000000;
    constexpr std::uint32_t lngTen4 = 10000;
    const auto lngHigh = static_cast<std::uint32_t>(lngDigits / lngTen8); // 7 digits
    const auto lngLow = static_cast<std::uint32_t>(lngDigits % lngTen8);  // 8 digits
    const std::uint32_t lngFirst = lngHigh / lngTen4;                       // 3 digits
    const std::uint32_t lngFirstPair = lngFirst % 100;
    chrOut[0] = static_cast<char>('0' + lngFirst / 100);
    chrOut[1] = chrDigitPairs[2 * lngFirstPair];
    chrOut[2] = chrDigitPairs[2 * lngFirstPair + 1];
    writeFourDigits(chrOut + 3, lngHigh % lngTen4);
    writeFourDigits(chrOut + 7, lngLow / lngTen4);
    writeFourDigits(chrOut + 11, lngLow % lngTen4);
}

// Powers of ten 10^k = lngMantissa * 2^intExponent, the mantissa of 64 bits with its top bit set,
// correctly rounded (a relative error of at most 2^-64), for the fast 15-digit conversion.
constexpr int intMinPow10 = -310;
constexpr int intMaxPow10 = 345;

struct Pow10
{
    std::uint64_t lngMantissa = 0;
    int intExponent = 0;
};

class Pow10Table
{
public:
    Pow10Table()
    {
        char chrText[16] = {'1', 'e'};
        for (int k = intMinPow10; k <= intMaxPow10; ++k) {
            const auto result = std::to_chars(chrText + 2, chrText + sizeof chrText - 1, k);
            *result.ptr = '\0';
            // strtold reads "1e-300" the same under every locale: there is no decimal point in it. Its
            // 64-bit mantissa is taken whole: frexpl gives it in [0.5, 1), times 2^64 it is an integer.
            int intBinary = 0;
            const long double dblFraction = std::frexp(std::strtold(chrText, nullptr), &intBinary);
            Pow10& entry = entries[static_cast<std::size_t>(k - intMinPow10)];
            entry.lngMantissa = static_cast<std::uint64_t>(std::ldexp(dblFraction, 64));
            entry.intExponent = intBinary - 64;
        }
    }
    const Pow10& operator()(int k) const
    {
        return entries[static_cast<std::size_t>(k - intMinPow10)];
    }

private:
    std::array<Pow10, intMaxPow10 - intMinPow10 + 1> entries{};
};

// GCC's 128-bit integer: one multiplication gives the exact product of two 64-bit mantissas.
__extension__ typedef unsigned __int128 Uint128;

const Pow10Table& pow10Table()
{
    static const Pow10Table table;
    return table;
}

constexpr bool blnExtendedPrecision = std::numeric_limits<long double>::digits >= 64;

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

Decimal15 toDecimal15Reference(double dblValue)
{
    Decimal15 dec;
    dec.blnNegative = std::signbit(dblValue);
    if (dblValue == 0.0) {
        return dec;
    }
    // "d.dddddddddddddde+XXX": 15 significant digits, correctly rounded from the binary value.
    char chrText[40];
    const auto result =
        std::to_chars(chrText, chrText + sizeof chrText, std::fabs(dblValue), std::chars_format::scientific, 14);
    std::uint64_t lngDigits = 0;
    const char* pch = chrText;
    for (; *pch != 'e'; ++pch) {
        if (*pch != '.') {
            lngDigits = lngDigits * 10 + static_cast<std::uint64_t>(*pch - '0');
        }
    }
    int intExponent = 0;
    std::from_chars(pch + (pch[1] == '+' ? 2 : 1), result.ptr, intExponent);
    dec.lngDigits = lngDigits;
    dec.intExponent = intExponent;
    return dec;
}

Decimal15 toDecimal15(double dblValue)
{
    if constexpr (!blnExtendedPrecision) {
        return toDecimal15Reference(dblValue);
    } else {
        const auto lngBits = std::bit_cast<std::uint64_t>(dblValue);
        const auto intBiased = static_cast<int>((lngBits >> 52) & 0x7FF);
        // Zero, subnormals, infinities and NaN take the exact conversion.
        if (intBiased == 0 || intBiased == 0x7FF) {
            return toDecimal15Reference(dblValue);
        }
        // |dblValue| = lngMantissa * 2^(intBiased - 1086), lngMantissa with its top bit set.
        const std::uint64_t lngMantissa = ((lngBits & 0xFFFFFFFFFFFFFULL) | (1ULL << 52)) << 11;
        // floor(e * log10(2)) for |dblValue| in [2^e, 2^(e+1)): the decimal exponent, or one below it.
        int intExponent = ((intBiased - 1023) * 78913) >> 18;
        const Pow10Table& pow10 = pow10Table();
        // The value times 10^(14 - intExponent) as a 128-bit product: an integer part of about 50 bits
        // and the fraction below it. The table's rounding moves it by at most 2^-14 of a unit.
        const auto scale = [&](int intDecimal, std::uint64_t& lngWhole, std::uint64_t& lngFraction) {
            const Pow10& power = pow10(14 - intDecimal);
            const Uint128 lngProduct = static_cast<Uint128>(lngMantissa) * power.lngMantissa;
            const int intFractionBits = 1086 - intBiased - power.intExponent; // 64 < bits < 128
            lngWhole = static_cast<std::uint64_t>(lngProduct >> intFractionBits);
            lngFraction = static_cast<std::uint64_t>((lngProduct << (128 - intFractionBits)) >> 64);
        };
        std::uint64_t lngWhole = 0;
        std::uint64_t lngFraction = 0; // in units of 2^-64
        scale(intExponent, lngWhole, lngFraction);
        if (lngWhole >= lngTen15) {
            ++intExponent;
            scale(intExponent, lngWhole, lngFraction);
        }
        // A fraction within 0.001 of one half needs the exact conversion to decide the rounding.
        constexpr std::uint64_t lngHalf = 1ULL << 63;
        constexpr std::uint64_t lngMargin = 1ULL << 54; // about 0.001 in units of 2^-64
        if (lngFraction > lngHalf - lngMargin && lngFraction < lngHalf + lngMargin) {
            return toDecimal15Reference(dblValue);
        }
        std::uint64_t lngDigits = lngWhole + (lngFraction > lngHalf ? 1 : 0);
        if (lngDigits >= lngTen15) {
            lngDigits /= 10;
            ++intExponent;
        } else if (lngDigits < lngTen14) {
            return toDecimal15Reference(dblValue);
        }
        Decimal15 dec;
        dec.lngDigits = lngDigits;
        dec.intExponent = intExponent;
        dec.blnNegative = (lngBits >> 63) != 0;
        return dec;
    }
}

void appendGeneralNumberText(std::string& strOut, double dblValue)
{
    const Decimal15 dec = toDecimal15(dblValue);
    if (dec.lngDigits == 0) {
        strOut += '0';
        return;
    }
    // The digits are copied in fixed 16-byte moves (the buffers leave room), which the compiler does
    // in registers; only the final append has a variable length.
    constexpr std::size_t lngMove = 16;
    char chrDigits[32] = {};
    writeFifteenDigits(chrDigits, dec.lngDigits);
    int intSignificant = 15;
    while (chrDigits[intSignificant - 1] == '0') {
        --intSignificant;
    }
    char chrText[64];
    char* pch = chrText;
    if (dec.blnNegative) {
        *pch++ = '-';
    }
    const int intExponent = dec.intExponent;
    if (intExponent < -4 || intExponent >= 15) {
        *pch++ = chrDigits[0];
        if (intSignificant > 1) {
            *pch++ = '.';
            std::memcpy(pch, chrDigits + 1, lngMove);
            pch += intSignificant - 1;
        }
        *pch++ = 'E';
        *pch++ = intExponent < 0 ? '-' : '+';
        const int intMagnitude = intExponent < 0 ? -intExponent : intExponent;
        if (intMagnitude >= 100) {
            *pch++ = static_cast<char>('0' + intMagnitude / 100);
        }
        const auto lngPair = static_cast<std::size_t>(intMagnitude % 100);
        *pch++ = chrDigitPairs[2 * lngPair];
        *pch++ = chrDigitPairs[2 * lngPair + 1];
    } else if (intExponent >= 0) {
        // The whole part is the first intExponent + 1 of the 15 digits, its trailing zeros included.
        const int intWhole = intExponent + 1;
        std::memcpy(pch, chrDigits, lngMove);
        pch += intWhole;
        if (intSignificant > intWhole) {
            *pch++ = '.';
            std::memcpy(pch, chrDigits + intWhole, lngMove);
            pch += intSignificant - intWhole;
        }
    } else {
        // "0." and the zeros before the first digit: -intExponent - 1 of them, at most 3.
        std::memcpy(pch, "0.000", 5);
        pch += 1 - intExponent;
        std::memcpy(pch, chrDigits, lngMove);
        pch += intSignificant;
    }
    strOut.append(chrText, pch);
}

std::string generalNumberText(double dblValue)
{
    std::string strText;
    appendGeneralNumberText(strText, dblValue);
    return strText;
}

std::string fixedDecimalText(double dblValue, int intDecimals)
{
    const Decimal15 dec = toDecimal15(dblValue);
    // strRounded holds the value times 10^intDecimals, rounded half away from zero, as digits.
    std::string strRounded;
    if (dec.lngDigits != 0) {
        char chrDigits[15];
        writeFifteenDigits(chrDigits, dec.lngDigits);
        const int intKeep = dec.intExponent + 1 + intDecimals;
        if (intKeep >= 15) {
            strRounded.assign(chrDigits, 15);
            strRounded.append(static_cast<std::size_t>(intKeep - 15), '0');
        } else if (intKeep > 0) {
            strRounded.assign(chrDigits, static_cast<std::size_t>(intKeep));
            if (chrDigits[intKeep] >= '5') {
                std::size_t i = strRounded.size();
                while (i > 0 && strRounded[i - 1] == '9') {
                    strRounded[--i] = '0';
                }
                if (i == 0) {
                    strRounded.insert(strRounded.begin(), '1');
                } else {
                    ++strRounded[i - 1];
                }
            }
        } else if (intKeep == 0 && chrDigits[0] >= '5') {
            strRounded = "1";
        }
    }
    const bool blnZero = strRounded.find_first_not_of('0') == std::string::npos;
    const auto lngDecimals = static_cast<std::size_t>(intDecimals);
    if (strRounded.size() < lngDecimals + 1) {
        strRounded.insert(0, lngDecimals + 1 - strRounded.size(), '0');
    }
    std::string strText;
    if (dec.blnNegative && !blnZero) {
        strText += '-';
    }
    strText.append(strRounded, 0, strRounded.size() - lngDecimals);
    if (intDecimals > 0) {
        strText += '.';
        strText.append(strRounded, strRounded.size() - lngDecimals, lngDecimals);
    }
    return strText;
}

double fixedDecimalValue(double dblValue, int intDecimals)
{
    // The fixed-decimal text is numeric by construction.
    return *numericValue(fixedDecimalText(dblValue, intDecimals));
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

std::int32_t wholeNumberOfGeneralText(double dblValue)
{
    if (!std::isfinite(dblValue)) {
        raiseFailure(err::lngOverflow);
    }
    const Decimal15 dec = toDecimal15(dblValue);
    if (dec.lngDigits == 0) {
        return 0;
    }
    if (dec.intExponent >= 10) {
        raiseFailure(err::lngOverflow);
    }
    // value = lngDigits * 10^(intExponent - 14): split into whole part and the fraction's digits.
    std::uint64_t lngWhole = 0;
    std::uint64_t lngFraction = dec.lngDigits; // the fraction, scaled by lngScale
    std::uint64_t lngScale = 1;
    const int intFractionDigits = 14 - dec.intExponent; // from 5 upwards
    if (intFractionDigits <= 15) {
        for (int i = 0; i < intFractionDigits; ++i) {
            lngScale *= 10;
        }
        lngWhole = dec.lngDigits / lngScale;
        lngFraction = dec.lngDigits % lngScale;
    } else {
        // Below 0.1: the fraction lies under one half.
        lngFraction = 0;
        lngScale = 1;
    }
    // Ties to even, as a conversion of a text to a whole number rounds.
    const std::uint64_t lngTwiceFraction = 2 * lngFraction;
    if (lngTwiceFraction > lngScale || (lngTwiceFraction == lngScale && (lngWhole % 2) == 1)) {
        ++lngWhole;
    }
    const long long lngSigned = dec.blnNegative ? -static_cast<long long>(lngWhole) : static_cast<long long>(lngWhole);
    if (lngSigned < std::numeric_limits<std::int32_t>::min() || lngSigned > std::numeric_limits<std::int32_t>::max()) {
        raiseFailure(err::lngOverflow);
    }
    return static_cast<std::int32_t>(lngSigned);
}

} // namespace kestrix::engine
