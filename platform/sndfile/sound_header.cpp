// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound_header.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

namespace kestrix::platform {

namespace {

bool startsWith(std::span<const std::uint8_t> bytData, std::size_t lngAt, std::string_view strTag)
{
    return bytData.size() >= lngAt + strTag.size() &&
           std::memcmp(bytData.data() + lngAt, strTag.data(), strTag.size()) == 0;
}

std::uint64_t bigEndian(std::span<const std::uint8_t> bytData, std::size_t lngAt, std::size_t lngBytes)
{
    std::uint64_t lngValue = 0;
    for (std::size_t i = 0; i < lngBytes; ++i) {
        lngValue = (lngValue << 8) | bytData[lngAt + i];
    }
    return lngValue;
}

// An 80-bit IEEE extended number, big-endian: sign, 15-bit exponent (bias 16383), 64-bit mantissa with
// its integer bit.
double extendedValue(std::span<const std::uint8_t> bytTen)
{
    const bool blnNegative = (bytTen[0] & 0x80) != 0;
    const int intExponent = static_cast<int>(bigEndian(bytTen, 0, 2) & 0x7FFF);
    const std::uint64_t lngMantissa = bigEndian(bytTen, 2, 8);
    if (intExponent == 0x7FFF) {
        return (lngMantissa << 1) == 0 ? (blnNegative ? -1.0 : 1.0) * std::numeric_limits<double>::infinity()
                                       : std::numeric_limits<double>::quiet_NaN();
    }
    const double dblValue = std::ldexp(static_cast<double>(lngMantissa), intExponent - 16383 - 63);
    return blnNegative ? -dblValue : dblValue;
}

std::optional<double> aiffRate(std::span<const std::uint8_t> bytHead)
{
    // FORM size AIFF|AIFC, then chunks: id, size (big-endian), data padded to an even length.
    std::size_t lngAt = 12;
    while (lngAt + 8 <= bytHead.size()) {
        const std::uint64_t lngSize = bigEndian(bytHead, lngAt + 4, 4);
        if (startsWith(bytHead, lngAt, "COMM")) {
            constexpr std::size_t lngRateAt = 8 + 2 + 4 + 2;
            if (lngSize < lngRateAt - 8 + 10 || lngAt + lngRateAt + 10 > bytHead.size()) {
                return std::nullopt;
            }
            return extendedValue(bytHead.subspan(lngAt + lngRateAt, 10));
        }
        lngAt += 8 + static_cast<std::size_t>(std::min<std::uint64_t>(lngSize + (lngSize & 1), bytHead.size()));
    }
    return std::nullopt;
}

std::optional<double> cafRate(std::span<const std::uint8_t> bytHead)
{
    // caff, version, flags; the first chunk is desc (type, 64-bit size) whose data starts with the rate.
    constexpr std::size_t lngRateAt = 8 + 4 + 8;
    if (!startsWith(bytHead, 8, "desc") || bytHead.size() < lngRateAt + 8) {
        return std::nullopt;
    }
    const std::uint64_t lngBits = bigEndian(bytHead, lngRateAt, 8);
    double dblRate = 0.0;
    std::memcpy(&dblRate, &lngBits, sizeof dblRate);
    return dblRate;
}

} // namespace

HeadKind sniffSoundHead(std::span<const std::uint8_t> bytHead)
{
    if (bytHead.size() >= 2 &&
        ((bytHead[0] == 0xFF && bytHead[1] == 0xFE) || (bytHead[0] == 0xFE && bytHead[1] == 0xFF))) {
        return HeadKind::Utf16Text;
    }
    if (startsWith(bytHead, 0, "ID3") || (bytHead.size() >= 2 && bytHead[0] == 0xFF && (bytHead[1] & 0xE0) == 0xE0)) {
        return HeadKind::Mpeg;
    }
    return HeadKind::Other;
}

std::optional<double> statedFloatRate(std::span<const std::uint8_t> bytHead)
{
    if (startsWith(bytHead, 0, "FORM") && (startsWith(bytHead, 8, "AIFF") || startsWith(bytHead, 8, "AIFC"))) {
        return aiffRate(bytHead);
    }
    if (startsWith(bytHead, 0, "caff")) {
        return cafRate(bytHead);
    }
    return std::nullopt;
}

std::string statedRateRefusal(std::span<const std::uint8_t> bytHead)
{
    const std::optional<double> dblStated = statedFloatRate(bytHead);
    if (!dblStated ||
        (std::isfinite(*dblStated) && *dblStated >= 1.0 && *dblStated <= std::numeric_limits<std::int32_t>::max())) {
        return {};
    }
    const std::string strRate = std::isnan(*dblStated)   ? "NaN"
                                : std::isinf(*dblStated) ? (*dblStated > 0 ? "infinity" : "-infinity")
                                                         : std::to_string(*dblStated);
    return "the sound file states a sampling frequency of " + strRate +
           " Hz; a sampling frequency is a number of hertz from 1 to 2147483647";
}

std::string rateRefusal(std::span<const std::uint8_t> bytHead, std::int32_t lngLibraryRate)
{
    if (lngLibraryRate <= 0) {
        return "the sound file states no sampling frequency";
    }
    const std::optional<double> dblStated = statedFloatRate(bytHead);
    if (dblStated && !(std::fabs(*dblStated - lngLibraryRate) < 1.0)) {
        return "the sound file states a sampling frequency of " + std::to_string(*dblStated) +
               " Hz, which the sound library reads as " + std::to_string(lngLibraryRate) + " Hz";
    }
    return {};
}

} // namespace kestrix::platform
