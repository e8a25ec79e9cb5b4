// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "average_analysis.h"
#include "calibration.h"
#include "condition_levels.h"
#include "envelope_spectrum.h"
#include "platform/sound_files.h"
#include "platform/text_files.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

// What the one pass over a recording measures beside its averaged spectrum (the condition measures, the
// band RMS, the envelope's spectrum), their files, and the calibration from a calibrator's recording.
namespace kestrix::engine {

// Fed the samples the averager is fed, in counts; averageRecording runs it.
class RecordingMeasures
{
public:
    // Checks the request's quantity, band RMS and envelope band at lngSampFreq (Hz); refusal() then
    // says, in English, why they are refused (checkQuantity's, the band's, designEnvelopeFilter's).
    RecordingMeasures(const AverageRequest& request, std::int32_t lngSampFreq, double dblPI);
    RecordingMeasures(const RecordingMeasures&) = delete;
    RecordingMeasures& operator=(const RecordingMeasures&) = delete;

    const std::string& refusal() const
    {
        return strRefusal;
    }

    void addSamples(std::span<const double> dblCounts);

    // Fills result's levels, band RMS and envelope spectrum (with its heading) as the request asks;
    // result's average, fs, line spacing and source are set. An envelope too short for one segment
    // refuses the result (strRefusal). Call once, last.
    void finish(const AverageRequest& request, AverageFileResult& result);

private:
    std::string strRefusal;
    std::optional<MomentAccumulator> moments;
    std::optional<SpectrumAverager> envelopeAverager;
    std::optional<EnvelopeDetector> detector;
};

// Fills the values and the heading of an envelope spectrum (its band, taps and average set) for the
// request's units and quantity, as its file holds them: the envelope is read in the quantity as recorded
// (recordedQuantity), lngSampFreq (Hz) and strSource as the recording was analysed.
void fillEnvelopeSpectrum(const AverageRequest& request, std::int32_t lngSampFreq, const std::string& strSource,
                          EnvelopeSpectrum& envelope);

// The levels file's table of an analysis made with blnLevels: the heading "name,value,unit" and the
// settings (settingsFields), the rows levelRows and the band RMS; other analyses may append rows.
LevelsTable levelsTable(const AverageRequest& request, const AverageFileResult& result);

// The envelope spectrum and the levels files of an input: its base path (recordingOutputBase, for the
// request's part and output folder) + "_ENV_SPC.csv" and "_LEVELS.csv".
std::string envelopeOutputName(platform::TextFiles& files, const std::string& strFileName,
                               const AverageRequest& request);
std::string levelsOutputName(platform::TextFiles& files, const std::string& strFileName, const AverageRequest& request);
// The same for any analysis of a recording's part (the octave bands' levels among them).
std::string levelsOutputName(platform::TextFiles& files, const std::string& strFileName, const RecordingChoice& choice,
                             const std::string& strOutputFolder = {});

// Writes the envelope spectrum of an analysis made with an envelope band, as writeAverageSpectrum
// writes the spectrum: its heading (the columns, "envelope=LO-HI Hz", the settings), then the lines.
void writeEnvelopeSpectrum(platform::TextFiles& files, const std::string& strPath, const AverageFileResult& result);

struct RecordingCalibration
{
    std::string strRefusal;  // why the recording was not analysed, as averageRecording refuses; else empty
    Calibration calibration; // of an analysed recording (which may hold no tone: blnToneFound)
};

// Analyses the calibrator's recording strFileName with the request's settings and choice of input, but
// with the flat top window, to half the rate, in volts, and finds the sensitivity that makes its tone
// read level (calibrationOf). Raises KestrixError as averageRecording does; hooks as there (a progress
// handler that returns false cancels: the result then holds no tone).
RecordingCalibration calibrateRecording(const AverageRequest& request, const UnitValue& level,
                                        const std::string& strFileName, platform::TextFiles& files,
                                        platform::SoundFiles& sounds, double dblPI, const AverageHooks& hooks = {});

} // namespace kestrix::engine
