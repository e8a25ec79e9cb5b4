// SPDX-License-Identifier: GPL-3.0-or-later
#include "average_analysis.h"

#include "engine/run/analysis.h"
#include "engine/run/analysis_parameters.h"
#include "engine/run/number_text.h"
#include "engine/run/output_set.h"
#include "engine/run/spectrum.h"
#include "platform/failure.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kestrix::engine {

namespace {

// Samples handed from the stream to the averager at a time.
constexpr std::size_t lngChunkSamples = 64 * 1024;

std::string csvField(std::string_view strText)
{
    if (strText.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(strText);
    }
    std::string strField(1, '"');
    for (const char chr : strText) {
        strField += chr;
        if (chr == '"') {
            strField += '"';
        }
    }
    strField += '"';
    return strField;
}

void refuseOutputOverInput(platform::TextFiles& files, const std::string& strOutput, const std::string& strFileName)
{
    if (strOutput == strFileName || files.sameFile(strOutput, strFileName)) {
        raiseFailure(err::lngPathFileAccess, "the output file " + strOutput + " would replace the input file");
    }
}

// The sample of the largest magnitude averaged: its number (from 1) and its value in counts.
struct LargestSample
{
    std::int64_t lngNumber = 0;
    double dblValue = 0.0;

    void take(std::span<const double> dblCounts, std::int64_t lngFirstNumber)
    {
        for (std::size_t i = 0; i < dblCounts.size(); ++i) {
            if (std::fabs(dblCounts[i]) > std::fabs(dblValue)) {
                dblValue = dblCounts[i];
                lngNumber = lngFirstNumber + static_cast<std::int64_t>(i);
            }
        }
    }
};

// Streams the recording through the averager, the part the request names: the refusal met on the way,
// if any; blnCancelled when the progress handler stopped it.
std::string averageStream(platform::SampleStream& stream, SpectrumAverager& averager, const AverageRequest& request,
                          const AverageHooks& hooks, bool& blnCancelled, LargestSample& largest)
{
    std::vector<double> dblChunk(lngChunkSamples);
    std::int64_t lngRead = 0; // samples read, those passed over included
    const std::int64_t lngEnd = request.lngTakeSamples > 0 ? request.lngSkipSamples + request.lngTakeSamples
                                                           : std::numeric_limits<std::int64_t>::max();
    while (lngRead < lngEnd) {
        const auto lngWanted = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(dblChunk.size()), lngEnd - lngRead));
        const std::size_t lngGot = stream.readCounts(std::span<double>(dblChunk).first(lngWanted));
        // The samples of this block that lie within the part averaged.
        const auto lngFrom = static_cast<std::size_t>(
            std::clamp<std::int64_t>(request.lngSkipSamples - lngRead, 0, static_cast<std::int64_t>(lngGot)));
        const std::span<const double> dblTaken = std::span<const double>(dblChunk).subspan(lngFrom, lngGot - lngFrom);
        largest.take(dblTaken, averager.samplesReceived() + 1);
        lngRead += static_cast<std::int64_t>(lngGot);
        averager.addSamples(dblTaken);
        if (hooks.onSamples && !dblTaken.empty()) {
            hooks.onSamples(dblTaken);
        }
        if (hooks.onProgress && !hooks.onProgress(lngRead, stream.shareRead())) {
            blnCancelled = true;
            return {};
        }
        if (lngGot < lngWanted) {
            std::string strRefusal = stream.refusal();
            if (!strRefusal.empty() || lngGot == 0) {
                return strRefusal;
            }
        }
    }
    return {};
}

void writeMetricsLines(platform::TextWriter& writer, const AverageRequest& request, const AverageFileResult& result)
{
    const FigureSettings measured{request.settings, result.average.lngSegments, result.lngSampFreq, request.dblMaxVolt,
                                  result.average.lngSamples};
    writer.writeLine("name,value,unit");
    for (const FigureLine& line : figureTable(*result.figures, measured)) {
        writer.writeLine(csvField(line.strName) + "," + csvField(line.strValue) + "," + csvField(line.strUnit));
    }
}

void writeSpectrumLines(platform::TextWriter& writer, const AverageFileResult& result)
{
    OutputBuffer buffer;
    writer.writeLine(result.strHeading);
    writeSpectrumCsv(writer, buffer, static_cast<std::int32_t>(result.dblValues.size()), result.dblDeltaFreq, 1.0,
                     result.dblValues);
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

std::string averageHeading(const AverageRequest& request, const AveragedPower& average, std::int32_t lngSampFreq,
                           const std::string& strSource)
{
    const AverageSettings& settings = request.settings;
    const std::string strFields[] = {
        "frequency (Hz)",
        std::string(unitsHeading(request.units)),
        "window=" + std::string(windowName(settings.window)),
        "N=" + std::to_string(settings.lngNumSamp),
        "overlap=" + generalNumberText(settings.dblOverlap) + "%",
        "segments=" + std::to_string(average.lngSegments),
        std::string("averaging=") + (settings.averaging == Averaging::Mean ? "mean" : "peak"),
        std::string("detrend=") + (settings.detrend == Detrend::Mean ? "mean" : "none"),
        "fs=" + std::to_string(lngSampFreq) + " Hz",
        "range=" + generalNumberText(request.dblMaxVolt) + " V",
        "samples=" + std::to_string(average.lngSamples),
        "source=" + strSource,
    };
    std::string strHeading;
    for (const std::string& strField : strFields) {
        if (!strHeading.empty()) {
            strHeading += ',';
        }
        strHeading += csvField(strField);
    }
    return strHeading;
}

void writeAverageSpectrum(platform::TextFiles& files, const std::string& strPath, const AverageFileResult& result)
{
    writeTextFile(files, strPath, [&](platform::TextWriter& writer) { writeSpectrumLines(writer, result); });
}

AverageFileResult averageRecording(const AverageRequest& request, const std::string& strFileName,
                                   platform::TextFiles& files, platform::SoundFiles& sounds, double dblPI,
                                   const AverageHooks& hooks)
{
    AverageFileResult result;
    RecordingOpening opening = openRecording(files, sounds, strFileName, request.choice);
    if (!opening.stream) {
        result.strRefusal = opening.strRefusal;
        return result;
    }
    result.lngSampFreq = request.lngSampFreq;
    if (const auto lngStated = opening.stream->statedSampFreq()) {
        if (request.blnSampFreqGiven && *lngStated != request.lngSampFreq) {
            result.strRefusal = "the recording states a sampling frequency of " + std::to_string(*lngStated) +
                                " Hz, not the " + std::to_string(request.lngSampFreq) + " Hz given";
            return result;
        }
        result.lngSampFreq = *lngStated;
    }
    // Beyond half the rate the fundamental would be looked for past the spectrum's end.
    if (request.blnMetrics && request.dblFundamentalHz && !(*request.dblFundamentalHz < result.lngSampFreq / 2.0)) {
        result.strRefusal = "the fundamental asked for, " + generalNumberText(*request.dblFundamentalHz) +
                            " Hz, is not below half the sampling frequency (" +
                            generalNumberText(result.lngSampFreq / 2.0) + " Hz)";
        return result;
    }
    AverageSettings settings = request.settings;
    settings.blnToHalfRate = request.blnMetrics;
    SpectrumAverager averager(settings, dblPI, hooks.onSegment);
    LargestSample largest;
    result.strRefusal = averageStream(*opening.stream, averager, request, hooks, result.blnCancelled, largest);
    if (!result.strRefusal.empty() || result.blnCancelled) {
        return result;
    }
    result.average = averager.finish();
    if (result.average.lngSegments == 0) {
        result.strRefusal = "too few samples for one segment: " + std::to_string(result.average.lngSamples) +
                            " found, " + std::to_string(request.settings.lngNumSamp) + " needed";
        return result;
    }
    // The line spacing as the classic run computes it, so both files give the same frequencies.
    const double dblMaxAnaFreq = result.lngSampFreq / dblPointsPerLine;
    result.dblDeltaFreq = dblMaxAnaFreq / (request.settings.lngNumSamp / dblPointsPerLine);
    const double dblVoltsPerCount = request.dblMaxVolt / dblFullScaleCount;
    if (std::string strWhy = overflowRefusal(request, result, largest); !strWhy.empty()) {
        result.strRefusal = std::move(strWhy);
        return result;
    }
    if (request.blnMetrics) {
        result.strRefusal = takeFigures(request, result);
        if (!result.strRefusal.empty()) {
            return result;
        }
    }
    result.dblValues = spectrumInUnits(result.average, request.units, result.lngSampFreq, dblVoltsPerCount);
    if (std::string strWhy = overflowRefusal(request, result, largest); !strWhy.empty()) {
        result.strRefusal = std::move(strWhy);
        return result;
    }
    const std::string strName(std::string_view(strFileName).substr(strFileName.rfind(files.pathSeparator()) + 1));
    const std::string strDescription = opening.stream->sourceDescription();
    result.strSource = strDescription.empty() ? strName : strName + " " + strDescription;
    result.strHeading = averageHeading(request, result.average, result.lngSampFreq, result.strSource);
    return result;
}

AverageFileResult analyseAverage(const AverageRequest& request, const std::string& strFileName,
                                 platform::TextFiles& files, platform::SoundFiles& sounds, double dblPI,
                                 const SegmentHandler& onSegment)
{
    const std::string strOutput = averageOutputName(files, strFileName, request);
    const std::string strMetrics = metricsOutputName(files, strFileName, request);
    refuseOutputOverInput(files, strOutput, strFileName);
    if (request.blnMetrics) {
        refuseOutputOverInput(files, strMetrics, strFileName);
    }
    AverageHooks hooks;
    hooks.onSegment = onSegment;
    AverageFileResult result = averageRecording(request, strFileName, files, sounds, dblPI, hooks);
    if (!result.analysed()) {
        return result;
    }
    // The spectrum and its figures are put in place together: a failure leaves both earlier files.
    std::vector<OutputFile> outputs{
        {strOutput, [&](platform::TextWriter& writer) { writeSpectrumLines(writer, result); }}};
    if (result.figures) {
        outputs.push_back(
            {strMetrics, [&](platform::TextWriter& writer) { writeMetricsLines(writer, request, result); }});
    }
    writeFilesTogether(files, outputs);
    result.strWritten = strOutput;
    if (result.figures) {
        result.strMetricsWritten = strMetrics;
    }
    return result;
}

} // namespace kestrix::engine
