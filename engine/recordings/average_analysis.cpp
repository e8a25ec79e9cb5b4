// SPDX-License-Identifier: GPL-3.0-or-later
#include "average_analysis.h"

#include "csv_line.h"
#include "engine/run/analysis.h"
#include "engine/run/analysis_parameters.h"
#include "engine/run/number_text.h"
#include "engine/run/spectrum.h"
#include "platform/failure.h"
#include "read_ahead.h"
#include "recording_measures.h"

#include <algorithm>
#include <limits>

namespace kestrix::engine {

namespace {

void writeMetricsFile(platform::TextFiles& files, const std::string& strPath, const AverageRequest& request,
                      const AverageFileResult& result)
{
    const FigureSettings measured{request.settings, result.average.lngSegments, result.lngSampFreq, request.dblMaxVolt,
                                  result.average.lngSamples};
    writeTextFile(files, strPath, [&](platform::TextWriter& writer) {
        writer.writeLine("name,value,unit");
        for (const FigureLine& line : figureTable(*result.figures, measured)) {
            writer.writeLine(csvField(line.strName) + "," + csvField(line.strValue) + "," + csvField(line.strUnit));
        }
    });
}

// The converter figures of an average taken to half the rate; the spectrum then keeps its lines to
// fs / 2.56, as without the figures.
void takeFigures(const AverageRequest& request, AverageFileResult& result)
{
    result.figures = toneFiguresOf(result.average, result.lngSampFreq, request.dblMaxVolt / dblFullScaleCount,
                                   request.dblMaxVolt, request.dblFundamentalHz);
    result.figuresPower = result.average;
    result.average.dblPower.resize(static_cast<std::size_t>(spectrumLineCount(request.settings.lngNumSamp)));
    result.average.settings.blnToHalfRate = false;
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

std::string averageOutputName(platform::TextFiles& files, const std::string& strFileName)
{
    return outputBaseName(files, strFileName) + "_AVG_SPC.csv";
}

std::string metricsOutputName(platform::TextFiles& files, const std::string& strFileName)
{
    return outputBaseName(files, strFileName) + "_METRICS.csv";
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
    OutputBuffer buffer;
    writeTextFile(files, strPath, [&](platform::TextWriter& writer) {
        writer.writeLine(strHeading);
        writeSpectrumCsv(writer, buffer, static_cast<std::int32_t>(dblValues.size()), dblDeltaFreq, 1.0, dblValues);
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
    AverageSettings settings = request.settings;
    settings.blnToHalfRate = request.blnMetrics;
    const std::int32_t lngThreads = analysisThreads(request.lngThreads);
    if (lngThreads > 1) {
        opening.stream = std::make_unique<ReadAheadStream>(std::move(opening.stream));
    }
    SpectrumAverager averager(settings, dblPI, hooks.onSegment, lngThreads);
    RecordingMeasures measures(request, result.lngSampFreq, dblPI);
    if (!measures.refusal().empty()) {
        result.strRefusal = measures.refusal();
        result.refusalFacts = {platform::RefusalFacts::Kind::Other, 0, 0, result.strRefusal, 0, 0, false};
        return result;
    }
    const auto consume = [&](std::span<const double> dblCounts) {
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
    if (request.blnMetrics) {
        takeFigures(request, result);
    }
    result.dblValues =
        spectrumInUnits(result.average, request.units, result.lngSampFreq, dblVoltsPerCount, request.quantity);
    result.strSource = sourceName(files, strFileName, opening.stream->sourceDescription());
    result.strHeading = averageHeading(request, result.average, result.lngSampFreq, result.strSource);
    measures.finish(request, result);
    return result;
}

AverageFileResult analyseAverage(const AverageRequest& request, const std::string& strFileName,
                                 platform::TextFiles& files, platform::SoundFiles& sounds, double dblPI,
                                 const SegmentHandler& onSegment)
{
    const std::string strOutput = averageOutputName(files, strFileName);
    refuseOutputOverInput(files, strOutput, strFileName);
    if (request.blnMetrics) {
        refuseOutputOverInput(files, metricsOutputName(files, strFileName), strFileName);
    }
    AverageHooks hooks;
    hooks.onSegment = onSegment;
    AverageFileResult result = averageRecording(request, strFileName, files, sounds, dblPI, hooks);
    if (!result.analysed()) {
        return result;
    }
    writeAverageSpectrum(files, strOutput, result);
    result.strWritten = strOutput;
    if (result.figures) {
        result.strMetricsWritten = metricsOutputName(files, strFileName);
        writeMetricsFile(files, result.strMetricsWritten, request, result);
    }
    return result;
}

} // namespace kestrix::engine
