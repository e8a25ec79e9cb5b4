#include "spectrum.h"

#include "failure.h"
#include "number_text.h"

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

std::string formatSpectrumCsv(std::int32_t lngNumLine, double dblDeltaFreq, double dblPosScale,
                              std::span<const double> dblAmpData)
{
    constexpr std::size_t lngLineReserve = 48; // two general number texts, a comma and CR LF
    std::string strContent;
    strContent.reserve(static_cast<std::size_t>(lngNumLine) * lngLineReserve);
    for (std::int32_t i = 0; i < lngNumLine; ++i) {
        const double dblFreq = static_cast<double>(i) * dblDeltaFreq;
        const double dblVolts = dblPosScale * dblAmpData[static_cast<std::size_t>(i)];
        if (!std::isfinite(dblFreq) || !std::isfinite(dblVolts)) {
            raiseFailure(err::lngOverflow, "spectrum line " + std::to_string(i) + " is not a finite number");
        }
        appendGeneralNumberText(strContent, dblFreq);
        strContent += ',';
        appendGeneralNumberText(strContent, dblVolts);
        strContent += "\r\n";
    }
    return strContent;
}

std::string formatBandWaveCsv(double dblDeltaTime, std::span<const double> dblBandWave)
{
    constexpr std::size_t lngLineReserve = 32;
    std::string strContent;
    strContent.reserve(dblBandWave.size() * lngLineReserve);
    for (std::size_t i = 0; i < dblBandWave.size(); ++i) {
        const double dblTime = static_cast<double>(i) * dblDeltaTime;
        if (!std::isfinite(dblTime)) {
            raiseFailure(err::lngOverflow, "band waveform time is not a finite number");
        }
        appendGeneralNumberText(strContent, dblTime);
        strContent += ',';
        // The counts are whole 16-bit numbers already: their "#0" text is their integer text.
        char chrCount[8];
        const auto result = std::to_chars(chrCount, chrCount + sizeof chrCount, static_cast<int>(dblBandWave[i]));
        strContent.append(chrCount, result.ptr);
        strContent += "\r\n";
    }
    return strContent;
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

void writeTextFile(platform::TextFiles& files, const std::string& strPath, std::string_view strContent)
{
    const auto writer = files.createTextFile(strPath);
    writer->write(strContent);
    writer->close();
}

} // namespace kestrix::engine
