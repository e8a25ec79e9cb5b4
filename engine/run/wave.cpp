// SPDX-License-Identifier: GPL-3.0-or-later
#include "wave.h"

#include "number_text.h"
#include "platform/failure.h"

#include <algorithm>
#include <cmath>
#include <cstring>
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

char* putLe16(char* pch, std::uint16_t lngValue)
{
    *pch++ = static_cast<char>(lngValue & 0xFFu);
    *pch++ = static_cast<char>(lngValue >> 8);
    return pch;
}

char* putLe32(char* pch, std::uint32_t lngValue)
{
    pch = putLe16(pch, static_cast<std::uint16_t>(lngValue & 0xFFFFu));
    return putLe16(pch, static_cast<std::uint16_t>(lngValue >> 16));
}

char* putText(char* pch, std::string_view strText)
{
    std::memcpy(pch, strText.data(), strText.size());
    return pch + strText.size();
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

WaveHeader waveHeader(std::int32_t lngNumSamp, std::int32_t lngSampFreq, std::size_t lngSamples)
{
    const std::int32_t lngRiffSize = checkedSize(std::int64_t{lngNumSamp} * 2 + 36);
    const std::int32_t lngBytesPerSec = checkedSize(std::int64_t{lngSampFreq} * 2);
    const std::int32_t lngDataSize = checkedSize(std::int64_t{lngNumSamp} * 2);
    if (lngSampFreq <= 0 || lngNumSamp < 0 || lngSamples != static_cast<std::size_t>(lngNumSamp)) {
        raiseFailure(err::lngInvalidCall, "Wave file parameters");
    }
    constexpr std::uint16_t intFormatPcm = 1;
    constexpr std::uint16_t intChannels = 1;
    constexpr std::uint16_t intBlockAlign = 2; // bytes per mono 16-bit frame
    constexpr std::uint16_t intBitsPerSample = 16;
    constexpr std::uint32_t lngFmtSize = 16;

    WaveHeader header;
    char* pch = header.chrBytes.data();
    pch = putText(pch, "RIFF");
    pch = putLe32(pch, static_cast<std::uint32_t>(lngRiffSize));
    pch = putText(pch, "WAVEfmt ");
    pch = putLe32(pch, lngFmtSize);
    pch = putLe16(pch, intFormatPcm);
    pch = putLe16(pch, intChannels);
    pch = putLe32(pch, static_cast<std::uint32_t>(lngSampFreq));
    pch = putLe32(pch, static_cast<std::uint32_t>(lngBytesPerSec));
    pch = putLe16(pch, intBlockAlign);
    pch = putLe16(pch, intBitsPerSample);
    pch = putText(pch, "data");
    putLe32(pch, static_cast<std::uint32_t>(lngDataSize));
    return header;
}

void writeWaveData(platform::TextWriter& writer, OutputBuffer& buffer, const WaveHeader& header,
                   std::span<const std::int16_t> intData)
{
    writer.write(std::string_view(header.chrBytes.data(), header.chrBytes.size()));
    constexpr std::size_t lngPerBlock = OutputBuffer::lngBytes / 2;
    for (std::size_t lngFirst = 0; lngFirst < intData.size(); lngFirst += lngPerBlock) {
        const std::size_t lngEnd = std::min(intData.size(), lngFirst + lngPerBlock);
        char* pch = buffer.data();
        for (std::size_t i = lngFirst; i < lngEnd; ++i) {
            pch = putLe16(pch, static_cast<std::uint16_t>(intData[i]));
        }
        writer.write(std::string_view(buffer.data(), static_cast<std::size_t>(pch - buffer.data())));
    }
}

std::vector<std::uint8_t> buildWaveFile(std::span<const std::int16_t> intData, std::int32_t lngNumSamp,
                                        std::int32_t lngSampFreq)
{
    const WaveHeader header = waveHeader(lngNumSamp, lngSampFreq, intData.size());
    StringWriter writer;
    OutputBuffer buffer;
    writeWaveData(writer, buffer, header, intData);
    return std::vector<std::uint8_t>(writer.strContent.begin(), writer.strContent.end());
}

void OutWaveFile(std::span<const std::int16_t> intData, const std::string& strDstFileName, std::int32_t lngNumSamp,
                 std::int32_t lngSampFreq, platform::TextFiles& files, OutputBuffer& buffer)
{
    // Every size is checked before the file is touched.
    const WaveHeader header = waveHeader(lngNumSamp, lngSampFreq, intData.size());
    const auto writer = files.createBinaryFile(strDstFileName + ".wav");
    writeWaveData(*writer, buffer, header, intData);
    writer->close();
}

void OutWaveFile(std::span<const std::int16_t> intData, const std::string& strDstFileName, std::int32_t lngNumSamp,
                 std::int32_t lngSampFreq, platform::TextFiles& files)
{
    OutputBuffer buffer;
    OutWaveFile(intData, strDstFileName, lngNumSamp, lngSampFreq, files, buffer);
}

} // namespace kestrix::engine
