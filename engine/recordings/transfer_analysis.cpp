// SPDX-License-Identifier: GPL-3.0-or-later
#include "transfer_analysis.h"

#include "csv_line.h"
#include "engine/run/analysis.h"
#include "engine/run/analysis_parameters.h"
#include "engine/run/number_text.h"
#include "engine/run/output_buffer.h"
#include "engine/run/spectrum.h"
#include "platform/failure.h"
#include "recording.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <tuple>

namespace kestrix::engine {

namespace {

// Samples of each channel handed from the streams to the averager at a time.
constexpr std::size_t lngChunkSamples = 32 * 1024;

// Reads both streams in step into the averager: the refusal met on the way is put in result (naming
// the signal), if any; result.blnCancelled is set when the progress handler stopped it.
void averageBoth(platform::SampleStream& input, platform::SampleStream& output, CrossSpectrumAverager& averager,
                 const ReadProgress& onProgress, TransferFileResult& result)
{
    std::vector<double> dblInput(lngChunkSamples);
    std::vector<double> dblOutput(lngChunkSamples);
    for (;;) {
        const std::size_t lngGotInput = input.readCounts(dblInput);
        const std::size_t lngGot = output.readCounts(std::span<double>(dblOutput).first(lngGotInput));
        averager.addSamples(std::span<const double>(dblInput).first(lngGot),
                            std::span<const double>(dblOutput).first(lngGot));
        if (onProgress && !onProgress(averager.samplesReceived(), input.shareRead())) {
            result.blnCancelled = true;
            return;
        }
        if (lngGot < lngChunkSamples) {
            // One of them stopped; the other stops on the same line, unless it was this one's refusal.
            for (const auto& [stream, signal, strName] : {std::tuple{&input, TransferSignal::Input, "input: "},
                                                          std::tuple{&output, TransferSignal::Output, "output: "}}) {
                if (const std::string strWhy = stream->refusal(); !strWhy.empty()) {
                    result.strRefusal = strName + strWhy;
                    result.refusalFacts = stream->refusalFacts();
                    result.refusedSignal = signal;
                    return;
                }
            }
            return;
        }
    }
}

// A refusal without facts of its own, about one signal or the whole.
void refuse(TransferFileResult& result, std::string strRefusal, TransferSignal signal = TransferSignal::Both)
{
    result.refusalFacts = {platform::RefusalFacts::Kind::Other, 0, 0, strRefusal, 0, 0, false};
    result.strRefusal = std::move(strRefusal);
    result.refusedSignal = signal;
}

// The unit of a product or quotient of the two signals' units: "V/V", "g/N", "V^2/Hz", "N*g/Hz".
std::string quotientUnit(const EngineeringUnit& top, const EngineeringUnit& bottom)
{
    return top.strUnit + "/" + bottom.strUnit;
}

std::string densityUnit(const EngineeringUnit& first, const EngineeringUnit& second)
{
    const std::string strProduct =
        first.strUnit == second.strUnit ? first.strUnit + "^2" : first.strUnit + "*" + second.strUnit;
    return strProduct + "/Hz";
}

// The nine values of line k, in the file's order.
std::array<double, 9> lineValues(const TransferFileResult& result, std::size_t k)
{
    const TransferEstimates& est = result.estimates;
    const double dblNaN = std::numeric_limits<double>::quiet_NaN();
    return {static_cast<double>(k) * result.dblDeltaFreq,
            est.dblH1Magnitude[k],
            est.dblPhaseDeg[k],
            est.dblUnwrappedDeg[k],
            est.dblH2Magnitude[k],
            est.dblCoherence.empty() ? dblNaN : est.dblCoherence[k],
            est.dblGxx[k],
            est.dblGyy[k],
            est.dblGxyMagnitude[k]};
}

} // namespace

std::string transferOutputName(platform::TextFiles& files, const std::string& strFileName)
{
    return outputBaseName(files, strFileName) + "_FRF.csv";
}

std::string transferHeading(const TransferRequest& request, const TransferFileResult& result)
{
    const EngineeringUnit& x = request.inputUnit;
    const EngineeringUnit& y = request.outputUnit;
    const std::string strResponse = " (" + quotientUnit(y, x) + ")";
    std::vector<std::string> strFields = {
        "frequency (Hz)",
        "|H1|" + strResponse,
        "phase H1 (deg)",
        "unwrapped phase H1 (deg)",
        "|H2|" + strResponse,
        result.estimates.dblCoherence.empty() ? "coherence (none from 1 segment)" : "coherence",
        "Gxx (" + densityUnit(x, x) + ")",
        "Gyy (" + densityUnit(y, y) + ")",
        "|Gxy| (" + densityUnit(x, y) + ")",
        "input=" + result.strInputSource,
        "output=" + result.strOutputSource,
        "input unit=" + x.strUnit,
        "input sensitivity=" + sensitivityText(x),
        "output unit=" + y.strUnit,
        "output sensitivity=" + sensitivityText(y),
    };
    for (std::string& strField : segmentSettingsFields(result.spectra.settings, result.spectra.lngSegments,
                                                       result.lngSampFreq, request.dblMaxVolt)) {
        strFields.push_back(std::move(strField));
    }
    strFields.push_back("samples=" + std::to_string(result.spectra.lngSamples));
    strFields.push_back("coherence threshold=" + generalNumberText(request.dblCoherenceThreshold));
    strFields.push_back("delay=" + (result.delay ? generalNumberText(result.delay->dblSeconds) + " s" : "none"));
    strFields.push_back("source=" + result.strSource);
    return csvLine(strFields);
}

TransferFileResult transferRecording(const TransferRequest& request, const std::string& strFileName,
                                     platform::TextFiles& files, platform::SoundFiles& sounds, double dblPI,
                                     const ReadProgress& onProgress)
{
    TransferFileResult result;
    if (request.settings.averaging != Averaging::Mean) {
        refuse(result, "peak hold does not apply to a frequency response: its spectra are averaged by the mean");
        return result;
    }
    RecordingOpening input = openSignal(files, sounds, strFileName, request.input);
    if (!input.stream) {
        refuse(result, "input: " + input.strRefusal, TransferSignal::Input);
        return result;
    }
    RecordingOpening output = openSignal(files, sounds, strFileName, request.output);
    if (!output.stream) {
        refuse(result, "output: " + output.strRefusal, TransferSignal::Output);
        return result;
    }
    if (std::string strWhy =
            sampFreqOfStream(*input.stream, request.lngSampFreq, request.blnSampFreqGiven, result.lngSampFreq);
        !strWhy.empty()) {
        refuse(result, std::move(strWhy));
        return result;
    }
    CrossSpectrumAverager averager(request.settings, dblPI, analysisThreads(request.lngThreads));
    averageBoth(*input.stream, *output.stream, averager, onProgress, result);
    if (!result.strRefusal.empty() || result.blnCancelled) {
        return result;
    }
    result.spectra = averager.finish();
    if (result.spectra.lngSegments == 0) {
        result.strRefusal = tooFewSamplesRefusal(result.spectra.lngSamples, request.settings.lngNumSamp);
        result.refusalFacts = {platform::RefusalFacts::Kind::TooFewSamples,
                               0,
                               0,
                               {},
                               result.spectra.lngSamples,
                               request.settings.lngNumSamp,
                               false};
        return result;
    }
    result.dblDeltaFreq = averagedLineSpacing(result.lngSampFreq, request.settings.lngNumSamp);
    result.delay = channelDelay(result.spectra, result.lngSampFreq, dblPI);
    result.strInputSource = input.stream->sourceDescription();
    result.strOutputSource = output.stream->sourceDescription();
    result.strSource = sourceName(files, strFileName, {});
    estimateTransfer(request, result, dblPI);
    return result;
}

void estimateTransfer(const TransferRequest& request, TransferFileResult& result, double dblPI)
{
    const double dblVoltsPerCount = request.dblMaxVolt / dblFullScaleCount;
    const TransferScale scale{static_cast<double>(result.lngSampFreq),
                              dblVoltsPerCount / request.inputUnit.dblVoltsPerUnit,
                              dblVoltsPerCount / request.outputUnit.dblVoltsPerUnit, request.dblCoherenceThreshold};
    const auto lngLines = static_cast<std::size_t>(spectrumLineCount(result.spectra.settings.lngNumSamp));
    result.estimates = transferEstimates(result.spectra, scale, lngLines, dblPI);
    result.strHeading = transferHeading(request, result);
}

std::string responseUnit(const TransferRequest& request)
{
    return quotientUnit(request.outputUnit, request.inputUnit);
}

void writeTransferFile(platform::TextFiles& files, const std::string& strPath, const TransferFileResult& result)
{
    const std::size_t lngLines = result.estimates.dblGxx.size();
    for (std::size_t k = 0; k < lngLines; ++k) {
        for (const double dblValue : lineValues(result, k)) {
            if (std::isinf(dblValue)) {
                raiseFailure(err::lngOverflow, "frequency response line " + std::to_string(k) +
                                                   " holds a value that is not a finite number");
            }
        }
    }
    // Nine general number texts of at most 22 characters, eight commas, CR LF.
    constexpr std::size_t lngLineMax = 9 * 22 + 8 + 2;
    OutputBuffer buffer;
    writeTextFile(files, strPath, [&](platform::TextWriter& writer) {
        writer.writeLine(result.strHeading);
        streamLines(writer, buffer, lngLines, lngLineMax, [&](std::size_t k, char* pch) {
            bool blnFirst = true;
            for (const double dblValue : lineValues(result, k)) {
                if (!blnFirst) {
                    *pch++ = ',';
                }
                blnFirst = false;
                if (!std::isnan(dblValue)) {
                    pch = writeGeneralNumberText(pch, dblValue);
                }
            }
            *pch++ = '\r';
            *pch++ = '\n';
            return pch;
        });
    });
}

TransferFileResult analyseTransfer(const TransferRequest& request, const std::string& strFileName,
                                   platform::TextFiles& files, platform::SoundFiles& sounds, double dblPI,
                                   const ReadProgress& onProgress)
{
    const std::string strOutput = transferOutputName(files, strFileName);
    refuseOutputOverInput(files, strOutput, strFileName);
    TransferFileResult result = transferRecording(request, strFileName, files, sounds, dblPI, onProgress);
    if (!result.analysed()) {
        return result;
    }
    writeTransferFile(files, strOutput, result);
    result.strWritten = strOutput;
    return result;
}

} // namespace kestrix::engine
