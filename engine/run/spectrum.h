// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "output_buffer.h"
#include "platform/text_files.h"

#include <cstdint>
#include <span>
#include <string>

namespace kestrix::engine {

// Amplitude of every line i < lngNumLine in input counts: (2 * |X[i]|) * 2 / N, four times the
// magnitude over N on every line alike (a tone of peak a on a line gives 2a, a constant c gives 4c).
void computeAmplitudes(std::int32_t lngNumSamp, std::int32_t lngNumLine, std::span<const double> dblR,
                       std::span<const double> dblI, std::span<double> dblAmpData);

// Writes a spectrum file: one line "frequency,volts" CR LF per spectrum line, frequency
// i * dblDeltaFreq in Hz, volts dblPosScale * dblAmpData[i], both general number texts, through
// buffer. Raises overflow (6) when any of these numbers is not finite, before anything is written, so
// such a value never reaches a file. Does not close the writer.
void writeSpectrumCsv(platform::TextWriter& writer, OutputBuffer& buffer, std::int32_t lngNumLine, double dblDeltaFreq,
                      double dblPosScale, std::span<const double> dblAmpData);

// The same text in memory.
std::string formatSpectrumCsv(std::int32_t lngNumLine, double dblDeltaFreq, double dblPosScale,
                              std::span<const double> dblAmpData);

// Writes the band waveform file: one line "time,count" CR LF per sample, time i * dblDeltaTime in
// seconds as a general number text, count the whole number dblBandWave[i] written with "#0". Raises
// overflow (6) for a time that is not finite, before anything is written. Does not close the writer.
void writeBandWaveCsv(platform::TextWriter& writer, OutputBuffer& buffer, double dblDeltaTime,
                      std::span<const double> dblBandWave);

// The same text in memory.
std::string formatBandWaveCsv(double dblDeltaTime, std::span<const double> dblBandWave);

// Band selection: copies the lines strictly between dblLowFreq and dblHighFreq (frequency
// i * dblDeltaFreq) and below lngNumLine; every other index of the N becomes 0.
void selectBand(std::int32_t lngNumSamp, std::int32_t lngNumLine, double dblDeltaFreq, double dblLowFreq,
                double dblHighFreq, std::span<const double> dblR_SPCData, std::span<const double> dblI_SPCData,
                std::span<double> dblR_BandData, std::span<double> dblI_BandData);

// Creates strPath (replacing an earlier one at close), lets write fill it, and closes it.
template <typename Write> void writeTextFile(platform::TextFiles& files, const std::string& strPath, Write&& write)
{
    const auto writer = files.createTextFile(strPath);
    write(*writer);
    writer->close();
}

} // namespace kestrix::engine
