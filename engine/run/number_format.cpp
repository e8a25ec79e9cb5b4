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

// The number texts written: the general form of 15 significant digits and the fixed decimals, fast and
// exact (each checked against a reference conversion in the tests).
namespace kestrix::engine {

namespace {

constexpr std::uint64_t lngTen14 = 100000000000000ULL;
constexpr std::uint64_t lngTen15 = 1000000000000000ULL;

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

// The eight decimal digits of lngValue (below 10^8, leading zeros included) as characters, the most
// significant first in memory on a little-endian host. The number is split into the lanes of one
// word, two of 4 digits, then four of 2, then eight of 1; each multiplication stays within its lane,
// and the reciprocals 10486 / 2^20 and 103 / 2^10 divide exactly by 100 and 10 in these ranges.
std::uint64_t eightDigitsWord(std::uint32_t lngValue)
{
    std::uint64_t lngLanes = (lngValue / 10000) | (std::uint64_t{lngValue % 10000} << 32);
    const std::uint64_t lngHundreds = ((lngLanes * 10486) >> 20) & 0x0000007F0000007FULL;
    lngLanes = ((lngLanes - lngHundreds * 100) << 16) | lngHundreds;
    const std::uint64_t lngTens = ((lngLanes * 103) >> 10) & 0x000F000F000F000FULL;
    lngLanes = ((lngLanes - lngTens * 10) << 8) | lngTens;
    return lngLanes + 0x3030303030303030ULL;
}

// The 15 digits of a number 10^14 <= lngDigits < 10^15 as the characters of two words, in memory
// order (byte 0 the lowest): a '0' and the first 7 digits, then the last 8. Kept in registers: the
// text writer shifts the characters it needs out of them, where reading them back from a buffer just
// written byte-wise would stall on every number.
struct DigitWords
{
    std::uint64_t lngHigh = 0;
    std::uint64_t lngLow = 0;

    // The character at position intIndex of the 16 ('0' first, then the digits).
    char at(int intIndex) const
    {
        const std::uint64_t lngWord = intIndex < 8 ? lngHigh : lngLow;
        return static_cast<char>((lngWord >> (8 * (intIndex % 8))) & 0xFF);
    }
};

DigitWords fifteenDigitWords(std::uint64_t lngDigits)
{
    constexpr std::uint64_t lngTen8 = 100000000;
    return {eightDigitsWord(static_cast<std::uint32_t>(lngDigits / lngTen8)),
            eightDigitsWord(static_cast<std::uint32_t>(lngDigits % lngTen8))};
}

// Stores the 8 characters of a word at pchOut in their memory order, whatever the host's byte order.
void storeCharacters(char* pchOut, std::uint64_t lngWord)
{
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(pchOut, &lngWord, sizeof lngWord);
    } else {
        for (int i = 0; i < 8; ++i) {
            pchOut[i] = static_cast<char>((lngWord >> (8 * i)) & 0xFF);
        }
    }
}

// Stores the 16 characters from position intStart (1 to 15) of the digit words on: the digits wanted
// and whatever follows them, which the caller's room takes.
void storeDigitsFrom(char* pchOut, const DigitWords& digits, int intStart)
{
    if (intStart < 8) {
        const int intShift = 8 * intStart;
        storeCharacters(pchOut, (digits.lngHigh >> intShift) | (digits.lngLow << (64 - intShift)));
        storeCharacters(pchOut + 8, digits.lngLow >> intShift);
    } else {
        storeCharacters(pchOut, digits.lngLow >> (8 * (intStart - 8)));
    }
}

// The number of digits up to the last that is not 0 (1 to 15; the first digit is never 0).
int significantDigits(const DigitWords& digits)
{
    constexpr std::uint64_t lngZeros = 0x3030303030303030ULL;
    const std::uint64_t lngLowDiff = digits.lngLow ^ lngZeros;
    if (lngLowDiff != 0) {
        return 15 - std::countl_zero(lngLowDiff) / 8;
    }
    return 7 - std::countl_zero(digits.lngHigh ^ lngZeros) / 8;
}

// Writes the 15 digits of lngDigits (10^14 <= lngDigits < 10^15) to chrOut.
void writeFifteenDigits(char* chrOut, std::uint64_t lngDigits)
{
    const DigitWords digits = fifteenDigitWords(lngDigits);
    for (int i = 0; i < 15; ++i) {
        chrOut[i] = digits.at(i + 1);
    }
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

char* writeGeneralNumberText(char* pchOut, double dblValue)
{
    const Decimal15 dec = toDecimal15(dblValue);
    if (dec.lngDigits == 0) {
        *pchOut = '0';
        return pchOut + 1;
    }
    // Digits are stored 16 characters at a time; the room the caller leaves (lngGeneralTextRoom) takes
    // what lies past the end returned.
    const DigitWords digits = fifteenDigitWords(dec.lngDigits);
    const int intSignificant = significantDigits(digits);
    char* pch = pchOut;
    if (dec.blnNegative) {
        *pch++ = '-';
    }
    const int intExponent = dec.intExponent;
    if (intExponent < -4 || intExponent >= 15) {
        *pch++ = digits.at(1);
        if (intSignificant > 1) {
            *pch++ = '.';
            storeDigitsFrom(pch, digits, 2);
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
        storeDigitsFrom(pch, digits, 1);
        pch += intWhole;
        if (intSignificant > intWhole) {
            *pch++ = '.';
            storeDigitsFrom(pch, digits, 1 + intWhole);
            pch += intSignificant - intWhole;
        }
    } else {
        // "0." and the zeros before the first digit: -intExponent - 1 of them, at most 3.
        std::memcpy(pch, "0.000", 5);
        pch += 1 - intExponent;
        storeDigitsFrom(pch, digits, 1);
        pch += intSignificant;
    }
    return pch;
}

void appendGeneralNumberText(std::string& strOut, double dblValue)
{
    char chrText[lngGeneralTextRoom];
    strOut.append(chrText, writeGeneralNumberText(chrText, dblValue));
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
    // The text has the form of a number, but the rounding of a value just below the double limit
    // (1.7976931348623157E+308 gives 1.79769313486232E+308) lies beyond it.
    const std::optional<double> dblRounded = numericValue(fixedDecimalText(dblValue, intDecimals));
    if (!dblRounded) {
        raiseFailure(err::lngOverflow, "the rounded value lies beyond the range of a double");
    }
    return *dblRounded;
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
