#include "wave.h"

#include "number_text.h"
#include "platform/failure.h"

#include <cmath>
#include <limits>

namespace kestrix::engine {

namespace {

std::int16_t clipToCount(std::int64_t lngWhole)
{
    if (lngWhole > std::numeric_limits<std::int16_t>::max()) {
        return std::numeric_limits<std::int16_t>::max();
    }
    if (lngWhole < std::numeric_limits<std::int16_t>::min()) {
        return std::numeric_limits<std::int16_t>::min();
    }
    return static_cast<std::int16_t>(lngWhole);
}

void putLe16(std::vector<std::uint8_t>& bytOut, std::uint16_t lngValue)
{
    bytOut.push_back(static_cast<std::uint8_t>(lngValue & 0xFFu));
    bytOut.push_back(static_cast<std::uint8_t>(lngValue >> 8));
}

void putLe32(std::vector<std::uint8_t>& bytOut, std::uint32_t lngValue)
{
    putLe16(bytOut, static_cast<std::uint16_t>(lngValue & 0xFFFFu));
    putLe16(bytOut, static_cast<std::uint16_t>(lngValue >> 16));
}

void putText(std::vector<std::uint8_t>& bytOut, std::string_view strText)
{
    bytOut.insert(bytOut.end(), strText.begin(), strText.end());
}

// A size field: a 32-bit signed product that must not overflow.
std::int32_t checkedSize(std::int64_t lngValue)
{
    if (lngValue > std::numeric_limits<std::int32_t>::max()) {
        raiseFailure(err::lngOverflow, "Wave file size field exceeds 32 bits");
    }
    return static_cast<std::int32_t>(lngValue);
}

} // namespace

std::int16_t waveCount(double dblValue)
{
    // Below 1e9 the 15-digit text moves the value by at most 5e-7, so only a fraction within that
    // of one half can round differently from the double itself.
    constexpr double dblFastLimit = 1e9;
    constexpr double dblHalfMargin = 1e-6;
    if (std::fabs(dblValue) < dblFastLimit) {
        const double dblFloor = std::floor(dblValue);
        const double dblFraction = dblValue - dblFloor;
        if (std::fabs(dblFraction - 0.5) > dblHalfMargin) {
            return clipToCount(static_cast<std::int64_t>(dblFloor) + (dblFraction > 0.5 ? 1 : 0));
        }
    }
    return clipToCount(wholeNumberOfGeneralText(dblValue));
}

std::vector<std::uint8_t> buildWaveFile(std::span<const std::int16_t> intData, std::int32_t lngNumSamp,
                                        std::int32_t lngSampFreq)
{
    const std::int32_t lngRiffSize = checkedSize(std::int64_t{lngNumSamp} * 2 + 36);
    const std::int32_t lngBytesPerSec = checkedSize(std::int64_t{lngSampFreq} * 2);
    const std::int32_t lngDataSize = checkedSize(std::int64_t{lngNumSamp} * 2);
    if (lngSampFreq <= 0 || lngNumSamp < 0 || intData.size() != static_cast<std::size_t>(lngNumSamp)) {
        raiseFailure(err::lngInvalidCall, "Wave file parameters");
    }
    constexpr std::uint16_t intFormatPcm = 1;
    constexpr std::uint16_t intChannels = 1;
    constexpr std::uint16_t intBlockAlign = 2; // bytes per mono 16-bit frame
    constexpr std::uint16_t intBitsPerSample = 16;
    constexpr std::uint32_t lngFmtSize = 16;

    std::vector<std::uint8_t> bytFile;
    bytFile.reserve(44 + 2 * intData.size());
    putText(bytFile, "RIFF");
    putLe32(bytFile, static_cast<std::uint32_t>(lngRiffSize));
    putText(bytFile, "WAVEfmt ");
    putLe32(bytFile, lngFmtSize);
    putLe16(bytFile, intFormatPcm);
    putLe16(bytFile, intChannels);
    putLe32(bytFile, static_cast<std::uint32_t>(lngSampFreq));
    putLe32(bytFile, static_cast<std::uint32_t>(lngBytesPerSec));
    putLe16(bytFile, intBlockAlign);
    putLe16(bytFile, intBitsPerSample);
    putText(bytFile, "data");
    putLe32(bytFile, static_cast<std::uint32_t>(lngDataSize));
    for (const std::int16_t intSample : intData) {
        putLe16(bytFile, static_cast<std::uint16_t>(intSample));
    }
    return bytFile;
}

void OutWaveFile(std::span<const std::int16_t> intData, const std::string& strDstFileName, std::int32_t lngNumSamp,
                 std::int32_t lngSampFreq, platform::TextFiles& files)
{
    const std::vector<std::uint8_t> bytFile = buildWaveFile(intData, lngNumSamp, lngSampFreq);
    files.writeBinaryFile(strDstFileName + ".wav", bytFile);
}

} // namespace kestrix::engine
