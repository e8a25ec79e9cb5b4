// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum.h"

#include "number_text.h"
#include "platform/failure.h"

#include <charconv>
#include <cmath>

namespace kestrix::engine {

void computeAmplitudes(std::int32_t lngNumSamp, std::int32_t lngNumLine, std::span<const double> dblR,
                       std::span<const double> dblI, std::span<double> dblAmpData)
{
    for (std::int32_t i = 0; i < lngNumLine; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const double dblMagnitude = std::sqrt(dblR[k] * dblR[k] + dblI[k] * dblI[k]);
        dblAmpData[k] = (2 * dblMagnitude) * 2 / lngNumSamp;
    }
}

namespace {

// The longest general number text (22 characters, "-1.23456789012345E-308") rounded up; each line is
// written into a buffer sized by it, with lngGeneralTextRoom of slack after the last line for the
// writer's scratch, then cut to its length.
constexpr std::size_t lngNumberMax = 24;
constexpr std::size_t lngCountMax = 11; // "-2147483648", the longest int text

} // namespace

void writeSpectrumCsv(platform::TextWriter& writer, OutputBuffer& buffer, std::int32_t lngNumLine, double dblDeltaFreq,
                      double dblPosScale, std::span<const double> dblAmpData)
{
    const auto lngLines = static_cast<std::size_t>(lngNumLine < 0 ? 0 : lngNumLine);
    for (std::size_t i = 0; i < lngLines; ++i) {
        if (!std::isfinite(static_cast<double>(i) * dblDeltaFreq) || !std::isfinite(dblPosScale * dblAmpData[i])) {
            raiseFailure(err::lngOverflow, "spectrum line " + std::to_string(i) + " is not a finite number");
        }
    }
    constexpr std::size_t lngLineMax = 2 * lngNumberMax + 3; // two numbers, a comma and CR LF
    streamLines(writer, buffer, lngLines, lngLineMax, [&](std::size_t i, char* pch) {
        pch = writeGeneralNumberText(pch, static_cast<double>(i) * dblDeltaFreq);
        *pch++ = ',';
        pch = writeGeneralNumberText(pch, dblPosScale * dblAmpData[i]);
        *pch++ = '\r';
        *pch++ = '\n';
        return pch;
    });
}

std::string formatSpectrumCsv(std::int32_t lngNumLine, double dblDeltaFreq, double dblPosScale,
                              std::span<const double> dblAmpData)
{
    StringWriter writer;
    OutputBuffer buffer;
    writeSpectrumCsv(writer, buffer, lngNumLine, dblDeltaFreq, dblPosScale, dblAmpData);
    return std::move(writer.strContent);
}

void writeBandWaveCsv(platform::TextWriter& writer, OutputBuffer& buffer, double dblDeltaTime,
                      std::span<const double> dblBandWave)
{
    if (!dblBandWave.empty() && !std::isfinite(static_cast<double>(dblBandWave.size() - 1) * dblDeltaTime)) {
        raiseFailure(err::lngOverflow, "band waveform time is not a finite number");
    }
    constexpr std::size_t lngLineMax = lngNumberMax + lngCountMax + 3;
    streamLines(writer, buffer, dblBandWave.size(), lngLineMax, [&](std::size_t i, char* pch) {
        pch = writeGeneralNumberText(pch, static_cast<double>(i) * dblDeltaTime);
        *pch++ = ',';
        // The counts are whole 16-bit numbers already: their "#0" text is their integer text.
        pch = std::to_chars(pch, pch + lngCountMax, static_cast<int>(dblBandWave[i])).ptr;
        *pch++ = '\r';
        *pch++ = '\n';
        return pch;
    });
}

std::string formatBandWaveCsv(double dblDeltaTime, std::span<const double> dblBandWave)
{
    StringWriter writer;
    OutputBuffer buffer;
    writeBandWaveCsv(writer, buffer, dblDeltaTime, dblBandWave);
    return std::move(writer.strContent);
}

void selectBand(std::int32_t lngNumSamp, std::int32_t lngNumLine, double dblDeltaFreq, double dblLowFreq,
                double dblHighFreq, std::span<const double> dblR_SPCData, std::span<const double> dblI_SPCData,
                std::span<double> dblR_BandData, std::span<double> dblI_BandData)
{
    for (std::int32_t i = 0; i < lngNumSamp; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const double dblFreq = static_cast<double>(i) * dblDeltaFreq;
        // Both limits are exclusive, and nothing above the maximum analysis frequency passes (the
        // upper half's mirror images included), so the band spectrum is one-sided.
        if (dblFreq <= dblLowFreq || dblFreq >= dblHighFreq || i >= lngNumLine) {
            dblR_BandData[k] = 0.0;
            dblI_BandData[k] = 0.0;
        } else {
            dblR_BandData[k] = dblR_SPCData[k];
            dblI_BandData[k] = dblI_SPCData[k];
        }
    }
}

} // namespace kestrix::engine
