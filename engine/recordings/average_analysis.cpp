// SPDX-License-Identifier: GPL-3.0-or-later
#include "average_analysis.h"

#include "csv_line.h"
#include "engine/run/analysis.h"
#include "engine/run/analysis_parameters.h"
#include "engine/run/number_text.h"
#include "engine/run/output_set.h"
#include "engine/run/spectrum.h"
#include "platform/failure.h"
#include "read_ahead.h"
#include "recording_measures.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kestrix::engine {

namespace {

// The sample of the largest magnitude averaged: its number (from 1) and its value in counts.
struct LargestSample
{
    std::int64_t lngNumber = 0;
    double dblValue = 0.0;

    void take(std::span<const double> dblCounts, std::int64_t lngFirstNumber)
    {
        // The block's largest magnitude first, four lanes at once (the compiler keeps them in vector
        // registers); the block is searched for its place only when it beats the largest so far.
        double dblLanes[4] = {};
        std::size_t j = 0;
        for (; j + 4 <= dblCounts.size(); j += 4) {
            for (std::size_t l = 0; l < 4; ++l) {
                dblLanes[l] = std::max(dblLanes[l], std::fabs(dblCounts[j + l]));
            }
        }
        for (; j < dblCounts.size(); ++j) {
            dblLanes[0] = std::max(dblLanes[0], std::fabs(dblCounts[j]));
        }
        if (std::max(std::max(dblLanes[0], dblLanes[1]), std::max(dblLanes[2], dblLanes[3])) <= std::fabs(dblValue)) {
            return;
        }
        for (std::size_t i = 0; i < dblCounts.size(); ++i) {
            if (std::fabs(dblCounts[i]) > std::fabs(dblValue)) {
                dblValue = dblCounts[i];
                lngNumber = lngFirstNumber + static_cast<std::int64_t>(i);
            }
        }
    }
};

void writeMetricsLines(platform::TextWriter& writer, const AverageRequest& request, const AverageFileResult& result)
{
    const FigureSettings measured{request.settings, result.average.lngSegments, result.lngSampFreq, request.dblMaxVolt,
                                  result.average.lngSamples};
    writer.writeLine("name,value,unit");
    for (const FigureLine& line : figureTable(*result.figures, measured)) {
        writer.writeLine(csvField(line.strName) + "," + csvField(line.strValue) + "," + csvField(line.strUnit));
    }
}

// The heading line, then the values, line k at k * dblDeltaFreq Hz.
void writeSpectrumLines(platform::TextWriter& writer, const std::string& strHeading, double dblDeltaFreq,
                        std::span<const double> dblValues)
{
    OutputBuffer buffer;
    writer.writeLine(strHeading);
    writeSpectrumCsv(writer, buffer, static_cast<std::int32_t>(dblValues.size()), dblDeltaFreq, 1.0, dblValues);
}

// The converter figures of an average taken to half the rate; the spectrum then keeps its lines to
// fs / 2.56, as without the figures. The refusal of figures that would mean nothing, or the empty text.
std::string takeFigures(const AverageRequest& request, AverageFileResult& result)
{
    result.figures = toneFiguresOf(result.average, result.lngSampFreq, request.dblMaxVolt / dblFullScaleCount,
                                   request.dblMaxVolt, request.dblFundamentalHz);
    switch (result.figures->problem) {
    case FiguresProblem::None:
        break;
    case FiguresProblem::FundamentalOutside: // refused before the averaging
    case FiguresProblem::Overflow:
        return "the converter figures' powers exceed the largest number at an input range of " +
               generalNumberText(request.dblMaxVolt) + " V";
    case FiguresProblem::NoTone:
        return "no tone to measure: the fundamental's power is 0";
    }
    result.figuresPower = result.average;
    result.average.dblPower.resize(static_cast<std::size_t>(spectrumLineCount(request.settings.lngNumSamp)));
    result.average.settings.blnToHalfRate = false;
    return {};
}

// Why an averaged spectrum cannot be written, or the empty text: its powers in counts^2, or its values in
// the request's units, beyond the largest number (the samples or the input range too large).
std::string overflowRefusal(const AverageRequest& request, const AverageFileResult& result,
                            const LargestSample& largest)
{
    const auto finite = [](std::span<const double> dblValues) {
        return std::all_of(dblValues.begin(), dblValues.end(), [](double dblValue) { return std::isfinite(dblValue); });
    };
    if (!finite(result.average.dblPower) || !finite(result.figuresPower.dblPower)) {
        return "the recording's values are too large: their spectrum's power exceeds the largest number (sample " +
               std::to_string(largest.lngNumber) + " is " + generalNumberText(largest.dblValue) + " counts)";
    }
    if (!finite(result.dblValues)) {
        return "the spectrum in " + std::string(unitsName(request.units)) +
               " units exceeds the largest number at an input range of " + generalNumberText(request.dblMaxVolt) + " V";
    }
    return {};
}

} // namespace

double averagedLineSpacing(std::int32_t lngSampFreq, std::int32_t lngNumSamp)
{
    // The line spacing as the classic run computes it, so both files give the same frequencies.
    const double dblMaxAnaFreq = lngSampFreq / dblPointsPerLine;
    return dblMaxAnaFreq / (lngNumSamp / dblPointsPerLine);
}

std::string tooFewSamplesRefusal(std::int64_t lngSamples, std::int32_t lngNumSamp)
{
    return "too few samples for one segment: " + std::to_string(lngSamples) + " found, " + std::to_string(lngNumSamp) +
           " needed";
}

std::string recordingOutputBase(platform::TextFiles& files, const std::string& strFileName,
                                const RecordingChoice& choice, const std::string& strOutputFolder)
{
    std::string strBase;
    if (strOutputFolder.empty()) {
        strBase = outputBaseName(files, strFileName);
    } else {
        strBase = strOutputFolder;
        while (strBase.size() > 1 && strBase.back() == files.pathSeparator()) {
            strBase.pop_back();
        }
        if (strBase.back() != files.pathSeparator()) {
            strBase += files.pathSeparator();
        }
        strBase += files.getBaseName(strFileName);
    }
    if (choice.lngChannel && *choice.lngChannel != 1) {
        strBase += "_ch" + std::to_string(*choice.lngChannel);
    }
    if (choice.column && choice.column->lngNumber > 1) {
        strBase += "_col" + std::to_string(choice.column->lngNumber);
    }
    if (choice.column && choice.column->lngNumber == 0) {
        strBase += "_col-";
        for (const char chr : choice.column->strName) {
            const bool blnUnfit = static_cast<unsigned char>(chr) < 0x20 || chr == 0x7F ||
                                  std::string_view("/\\ :*?\"<>|").find(chr) != std::string_view::npos;
            strBase += blnUnfit ? '_' : chr;
        }
    }
    return strBase;
}

namespace {

constexpr std::string_view strAverageSuffix = "_AVG_SPC.csv";

} // namespace

std::string averageOutputName(platform::TextFiles& files, const std::string& strFileName, const RecordingChoice& choice)
{
    return recordingOutputBase(files, strFileName, choice) + std::string(strAverageSuffix);
}

std::string averageOutputName(platform::TextFiles& files, const std::string& strFileName, const AverageRequest& request)
{
    return recordingOutputBase(files, strFileName, request.choice, request.strOutputFolder) +
           std::string(strAverageSuffix);
}

std::string metricsOutputName(platform::TextFiles& files, const std::string& strFileName, const AverageRequest& request)
{
    return recordingOutputBase(files, strFileName, request.choice, request.strOutputFolder) + "_METRICS.csv";
}

std::vector<std::string> segmentSettingsFields(const AverageSettings& settings, std::int64_t lngSegments,
                                               std::int32_t lngSampFreq, double dblMaxVolt)
{
    return {
        "window=" + std::string(windowName(settings.window)),
        "N=" + std::to_string(settings.lngNumSamp),
        "overlap=" + generalNumberText(settings.dblOverlap) + "%",
        "segments=" + std::to_string(lngSegments),
        std::string("averaging=") + (settings.averaging == Averaging::Mean ? "mean" : "peak"),
        std::string("detrend=") + (settings.detrend == Detrend::Mean ? "mean" : "none"),
        "fs=" + std::to_string(lngSampFreq) + " Hz",
        "range=" + generalNumberText(dblMaxVolt) + " V",
    };
}

std::vector<std::string> settingsFields(const AverageRequest& request, const AveragedPower& average,
                                        std::int32_t lngSampFreq, const std::string& strSource)
{
    std::vector<std::string> strFields =
        segmentSettingsFields(request.settings, average.lngSegments, lngSampFreq, request.dblMaxVolt);
    const std::vector<std::string> strQuantity = quantityFields(request.quantity);
    strFields.insert(strFields.end(), strQuantity.begin(), strQuantity.end());
    strFields.push_back("samples=" + std::to_string(average.lngSamples));
    strFields.push_back("source=" + strSource);
    return strFields;
}

std::string averageHeading(const AverageRequest& request, const AveragedPower& average, std::int32_t lngSampFreq,
                           const std::string& strSource)
{
    std::vector<std::string> strFields = {"frequency (Hz)", unitsHeading(request.units, request.quantity)};
    const std::vector<std::string> strSettings = settingsFields(request, average, lngSampFreq, strSource);
    strFields.insert(strFields.end(), strSettings.begin(), strSettings.end());
    return csvLine(strFields);
}

void writeSpectrumFile(platform::TextFiles& files, const std::string& strPath, const std::string& strHeading,
                       double dblDeltaFreq, std::span<const double> dblValues)
{
    writeTextFile(files, strPath, [&](platform::TextWriter& writer) {
        writeSpectrumLines(writer, strHeading, dblDeltaFreq, dblValues);
    });
}

void writeAverageSpectrum(platform::TextFiles& files, const std::string& strPath, const AverageFileResult& result)
{
    writeSpectrumFile(files, strPath, result.strHeading, result.dblDeltaFreq, result.dblValues);
}

AverageFileResult averageRecording(const AverageRequest& request, const std::string& strFileName,
                                   platform::TextFiles& files, platform::SoundFiles& sounds, double dblPI,
                                   const AverageHooks& hooks)
{
    AverageFileResult result;
    AnalysedRecording opening = openAnalysedRecording(files, sounds, strFileName, request.choice, request.lngSampFreq,
                                                      request.blnSampFreqGiven);
    result.strRefusal = opening.strRefusal;
    result.lngSampFreq = opening.lngSampFreq;
    if (!opening.stream) {
        result.refusalFacts = {platform::RefusalFacts::Kind::Other, 0, 0, opening.strRefusal, 0, 0, false};
        return result;
    }
    // Beyond half the rate the fundamental would be looked for past the spectrum's end.
    if (request.blnMetrics && request.dblFundamentalHz && !(*request.dblFundamentalHz < result.lngSampFreq / 2.0)) {
        result.strRefusal = "the fundamental asked for, " + generalNumberText(*request.dblFundamentalHz) +
                            " Hz, is not below half the sampling frequency (" +
                            generalNumberText(result.lngSampFreq / 2.0) + " Hz)";
        result.refusalFacts = {platform::RefusalFacts::Kind::Other, 0, 0, result.strRefusal, 0, 0, false};
        return result;
    }
    AverageSettings settings = request.settings;
    settings.blnToHalfRate = request.blnMetrics;
    const std::int32_t lngThreads = analysisThreads(request.lngThreads);
    // Read on a thread of its own, one thread for the transforms or many: reading and decoding the next
    // blocks costs the transforms no time.
    opening.stream = std::make_unique<ReadAheadStream>(std::move(opening.stream));
    SpectrumAverager averager(settings, dblPI, hooks.onSegment, lngThreads, hooks.digest);
    LargestSample largest;
    RecordingMeasures measures(request, result.lngSampFreq, dblPI);
    if (!measures.refusal().empty()) {
        result.strRefusal = measures.refusal();
        result.refusalFacts = {platform::RefusalFacts::Kind::Other, 0, 0, result.strRefusal, 0, 0, false};
        return result;
    }
    const auto consume = [&](std::span<const double> dblCounts) {
        largest.take(dblCounts, averager.samplesReceived() + 1);
        averager.addSamples(dblCounts);
        measures.addSamples(dblCounts);
        if (hooks.onSamples && !dblCounts.empty()) {
            hooks.onSamples(dblCounts);
        }
    };
    result.strRefusal = readRecordingPart(*opening.stream, {request.lngSkipSamples, request.lngTakeSamples}, consume,
                                          hooks.onProgress, result.blnCancelled);
    if (!result.strRefusal.empty() || result.blnCancelled) {
        result.refusalFacts = opening.stream->refusalFacts();
        return result;
    }
    result.average = averager.finish();
    if (result.average.lngSegments == 0) {
        result.strRefusal = tooFewSamplesRefusal(result.average.lngSamples, request.settings.lngNumSamp);
        result.refusalFacts = {platform::RefusalFacts::Kind::TooFewSamples,
                               0,
                               0,
                               {},
                               result.average.lngSamples,
                               request.settings.lngNumSamp,
                               false};
        return result;
    }
    result.dblDeltaFreq = averagedLineSpacing(result.lngSampFreq, request.settings.lngNumSamp);
    const double dblVoltsPerCount = request.dblMaxVolt / dblFullScaleCount;
    const auto refuse = [&](std::string strWhy) {
        result.strRefusal = std::move(strWhy);
        result.refusalFacts = {platform::RefusalFacts::Kind::Other, 0, 0, result.strRefusal, 0, 0, false};
    };
    if (std::string strWhy = overflowRefusal(request, result, largest); !strWhy.empty()) {
        refuse(std::move(strWhy));
        return result;
    }
    if (request.blnMetrics) {
        if (std::string strWhy = takeFigures(request, result); !strWhy.empty()) {
            refuse(std::move(strWhy));
            return result;
        }
    }
    result.dblValues =
        spectrumInUnits(result.average, request.units, result.lngSampFreq, dblVoltsPerCount, request.quantity);
    if (std::string strWhy = overflowRefusal(request, result, largest); !strWhy.empty()) {
        refuse(std::move(strWhy));
        return result;
    }
    result.strSource = sourceName(files, strFileName, opening.stream->sourceDescription());
    result.strHeading = averageHeading(request, result.average, result.lngSampFreq, result.strSource);
    measures.finish(request, result);
    return result;
}

AverageFileResult analyseAverage(const AverageRequest& request, const std::string& strFileName,
                                 platform::TextFiles& files, platform::SoundFiles& sounds, double dblPI,
                                 const SegmentHandler& onSegment)
{
    const std::string strOutput = averageOutputName(files, strFileName, request);
    const std::string strMetrics = metricsOutputName(files, strFileName, request);
    const std::string strLevels = levelsOutputName(files, strFileName, request);
    const std::string strEnvelope = envelopeOutputName(files, strFileName, request);
    refuseOutputOverInput(files, strOutput, strFileName);
    if (request.blnMetrics) {
        refuseOutputOverInput(files, strMetrics, strFileName);
    }
    if (request.blnLevels) {
        refuseOutputOverInput(files, strLevels, strFileName);
    }
    if (request.envelope) {
        refuseOutputOverInput(files, strEnvelope, strFileName);
    }
    AverageHooks hooks;
    hooks.onSegment = onSegment;
    AverageFileResult result = averageRecording(request, strFileName, files, sounds, dblPI, hooks);
    if (!result.analysed()) {
        return result;
    }
    // The spectrum and its figures are put in place together: a failure leaves both earlier files.
    std::vector<OutputFile> outputs{{strOutput, [&](platform::TextWriter& writer) {
                                         writeSpectrumLines(writer, result.strHeading, result.dblDeltaFreq,
                                                            result.dblValues);
                                     }}};
    if (result.figures) {
        outputs.push_back(
            {strMetrics, [&](platform::TextWriter& writer) { writeMetricsLines(writer, request, result); }});
    }
    std::optional<LevelsTable> levels;
    if (result.levels) {
        levels = levelsTable(request, result);
        outputs.push_back({strLevels, [&](platform::TextWriter& writer) { writeLevelsLines(writer, *levels); }});
    }
    if (result.envelope) {
        outputs.push_back({strEnvelope, [&](platform::TextWriter& writer) {
                               writeSpectrumLines(writer, result.envelope->strHeading, result.dblDeltaFreq,
                                                  result.envelope->dblValues);
                           }});
    }
    writeFilesTogether(files, outputs);
    result.strWritten = strOutput;
    if (result.figures) {
        result.strMetricsWritten = strMetrics;
    }
    if (result.levels) {
        result.strLevelsWritten = strLevels;
    }
    if (result.envelope) {
        result.strEnvelopeWritten = strEnvelope;
    }
    return result;
}

} // namespace kestrix::engine
