// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording_measures.h"

#include "csv_line.h"
#include "engine/run/analysis.h"
#include "engine/run/analysis_parameters.h"
#include "engine/run/number_text.h"

#include <cmath>

namespace kestrix::engine {

namespace {

// Why the band RMS cannot be taken over band: not a band, or no line of the spectrum (N points at
// lngSampFreq, lines to fs / 2.56) inside it.
std::string bandRmsRefusal(const FrequencyBand& band, const AverageSettings& settings, std::int32_t lngSampFreq)
{
    if (!(band.dblLowHz >= 0.0) || !(band.dblHighHz >= band.dblLowHz) || !std::isfinite(band.dblHighHz)) {
        return "the band RMS needs a band from 0 Hz or more up to a higher frequency, not " + bandText(band);
    }
    const double dblDeltaFreq = static_cast<double>(lngSampFreq) / settings.lngNumSamp;
    const double dblLastLine = static_cast<double>(averagedLineCount(settings) - 1) * dblDeltaFreq;
    if (std::ceil(band.dblLowHz / dblDeltaFreq) * dblDeltaFreq > std::min(band.dblHighHz, dblLastLine)) {
        return "the band RMS's band " + bandText(band) + " holds no line of the spectrum (lines every " +
               generalNumberText(dblDeltaFreq) + " Hz from 0 to " + generalNumberText(dblLastLine) + " Hz)";
    }
    return {};
}

// The envelope is averaged as the recording is, but with each segment's mean removed: the envelope's mean
// is the band's level, whose window leakage would otherwise bury the lowest lines.
AverageRequest envelopeRequest(const AverageRequest& request)
{
    AverageRequest envelope = request;
    envelope.settings.detrend = Detrend::Mean;
    envelope.settings.blnToHalfRate = false;
    envelope.quantity = recordedQuantity(request.quantity);
    return envelope;
}

} // namespace

RecordingMeasures::RecordingMeasures(const AverageRequest& request, std::int32_t lngSampFreq, double dblPI)
{
    if (const std::optional<QuantityRefusal> refused = checkQuantity(request.quantity)) {
        strRefusal = quantityRefusalText(*refused, request.quantity.quantity);
        return;
    }
    if (request.blnLevels) {
        const FrequencyBand band = request.bandRms.value_or(defaultBandRms(request.quantity.quantity, lngSampFreq));
        strRefusal = bandRmsRefusal(band, request.settings, lngSampFreq);
        moments.emplace();
    }
    if (request.envelope && strRefusal.empty()) {
        const EnvelopeDesign design = designEnvelopeFilter(*request.envelope, lngSampFreq);
        if (design.refusal) {
            strRefusal = envelopeRefusalText(*design.refusal);
            return;
        }
        envelopeAverager.emplace(envelopeRequest(request).settings, dblPI, SegmentHandler{},
                                 analysisThreads(request.lngThreads));
        detector.emplace(*request.envelope, lngSampFreq, dblPI,
                         [this](std::span<const double> dblEnvelope) { envelopeAverager->addSamples(dblEnvelope); });
    }
}

void RecordingMeasures::addSamples(std::span<const double> dblCounts)
{
    if (moments) {
        moments->addSamples(dblCounts);
    }
    if (detector) {
        detector->addSamples(dblCounts);
    }
}

void RecordingMeasures::finish(const AverageRequest& request, AverageFileResult& result)
{
    const double dblVoltsPerCount = request.dblMaxVolt / dblFullScaleCount;
    if (moments) {
        result.levels = conditionLevels(*moments, dblVoltsPerCount, request.quantity.sensor);
        const FrequencyBand band =
            request.bandRms.value_or(defaultBandRms(request.quantity.quantity, result.lngSampFreq));
        result.bandRms = bandRms(result.average, result.lngSampFreq, dblVoltsPerCount, request.quantity, band);
    }
    if (!detector) {
        return;
    }
    detector->finish();
    EnvelopeSpectrum envelope;
    envelope.band = *request.envelope;
    envelope.lngTaps = detector->taps();
    envelope.average = envelopeAverager->finish();
    if (envelope.average.lngSegments == 0) {
        result.strRefusal =
            "too few samples for one segment of the envelope: " + std::to_string(envelope.average.lngSamples) +
            " envelope samples (the filter takes " + std::to_string(envelope.lngTaps - 1) + " of the recording's), " +
            std::to_string(request.settings.lngNumSamp) + " needed";
        return;
    }
    fillEnvelopeSpectrum(request, result.lngSampFreq, result.strSource, envelope);
    result.envelope = std::move(envelope);
}

void fillEnvelopeSpectrum(const AverageRequest& request, std::int32_t lngSampFreq, const std::string& strSource,
                          EnvelopeSpectrum& envelope)
{
    const AverageRequest shown = envelopeRequest(request);
    envelope.dblValues = spectrumInUnits(envelope.average, request.units, lngSampFreq,
                                         request.dblMaxVolt / dblFullScaleCount, shown.quantity);
    std::vector<std::string> strFields = {"frequency (Hz)", unitsHeading(request.units, shown.quantity),
                                          "envelope=" + bandText(envelope.band)};
    const std::vector<std::string> strSettings = settingsFields(shown, envelope.average, lngSampFreq, strSource);
    strFields.insert(strFields.end(), strSettings.begin(), strSettings.end());
    envelope.strHeading = csvLine(strFields);
}

LevelsTable levelsTable(const AverageRequest& request, const AverageFileResult& result)
{
    std::vector<std::string> strFields = {"name", "value", "unit"};
    const std::vector<std::string> strSettings =
        settingsFields(request, result.average, result.lngSampFreq, result.strSource);
    strFields.insert(strFields.end(), strSettings.begin(), strSettings.end());
    LevelsTable table{csvLine(strFields), {}};
    if (result.levels) {
        table.rows = levelRows(*result.levels);
    }
    if (result.bandRms) {
        table.rows.push_back(bandRmsRow(*result.bandRms));
    }
    return table;
}

std::string envelopeOutputName(platform::TextFiles& files, const std::string& strFileName,
                               const AverageRequest& request)
{
    return recordingOutputBase(files, strFileName, request.choice, request.strOutputFolder) + "_ENV_SPC.csv";
}

std::string levelsOutputName(platform::TextFiles& files, const std::string& strFileName, const AverageRequest& request)
{
    return levelsOutputName(files, strFileName, request.choice, request.strOutputFolder);
}

std::string levelsOutputName(platform::TextFiles& files, const std::string& strFileName, const RecordingChoice& choice,
                             const std::string& strOutputFolder)
{
    return recordingOutputBase(files, strFileName, choice, strOutputFolder) + "_LEVELS.csv";
}

void writeEnvelopeSpectrum(platform::TextFiles& files, const std::string& strPath, const AverageFileResult& result)
{
    writeSpectrumFile(files, strPath, result.envelope->strHeading, result.dblDeltaFreq, result.envelope->dblValues);
}

RecordingCalibration calibrateRecording(const AverageRequest& request, const UnitValue& level,
                                        const std::string& strFileName, platform::TextFiles& files,
                                        platform::SoundFiles& sounds, double dblPI, const AverageHooks& hooks)
{
    // The request's input and settings, but read in volts by the flat top, to half the rate, and nothing
    // else measured.
    AverageRequest calibrating = request;
    calibrating.settings.window = WindowKind::FlatTop;
    calibrating.blnMetrics = true;
    calibrating.dblFundamentalHz.reset();
    calibrating.quantity = {};
    calibrating.blnLevels = false;
    calibrating.envelope.reset();
    const AverageFileResult result = averageRecording(calibrating, strFileName, files, sounds, dblPI, hooks);
    RecordingCalibration calibration;
    calibration.strRefusal = result.strRefusal;
    if (result.analysed() && result.figures) {
        calibration.calibration = calibrationOf(*result.figures, level);
    }
    return calibration;
}

} // namespace kestrix::engine
