// SPDX-License-Identifier: GPL-3.0-or-later
#include "octave_analysis.h"

#include "average_analysis.h"
#include "condition_levels.h"
#include "csv_line.h"
#include "engine/run/analysis.h"
#include "engine/run/analysis_parameters.h"
#include "engine/run/number_text.h"
#include "engine/run/output_set.h"
#include "engine/run/spectrum.h"
#include "recording_measures.h"
#include "segment_pipeline.h"

#include <cmath>

namespace kestrix::engine {

namespace {

// Decimals of levels in dB in the files: a hundredth of a decibel.
constexpr int intDbDecimals = 2;

// csvLine of a braced list of fields.
std::string joinFields(const std::vector<std::string>& strFields)
{
    return csvLine(strFields);
}

} // namespace

std::string octaveOutputName(platform::TextFiles& files, const std::string& strFileName, const RecordingChoice& choice)
{
    return recordingOutputBase(files, strFileName, choice) + "_OCT.csv";
}

std::string bandwidthName(std::int32_t lngBandsPerOctave)
{
    return lngBandsPerOctave == 1 ? "octave" : "1/" + std::to_string(lngBandsPerOctave) + " octave";
}

namespace {

// A heading line: the columns, then the settings of the analysis as name=value fields.
std::string headingOf(std::vector<std::string> strFields, const OctaveRequest& request, const OctaveLevels& levels,
                      std::int32_t lngSampFreq, const std::string& strSource)
{
    const OctaveSettings& settings = request.settings;
    const std::string strTime =
        settings.timeWeighting ? std::string(timeWeightingLetter(*settings.timeWeighting)) : std::string("none");
    strFields.insert(strFields.end(), {
                                          "bandwidth=" + bandwidthName(settings.lngBandsPerOctave),
                                          "weighting=" + std::string(weightingLetter(settings.weighting)),
                                          "time weighting=" + strTime,
                                          "filter class=1",
                                          "EU=" + request.unit.strUnit,
                                          "reference=" + request.unit.strDbReference,
                                          "from=" + generalNumberText(settings.dblFromHz) + " Hz",
                                          "fs=" + std::to_string(lngSampFreq) + " Hz",
                                          "range=" + generalNumberText(request.dblMaxVolt) + " V",
                                          "samples=" + std::to_string(levels.overall.lngSamples),
                                          "source=" + strSource,
                                      });
    return joinFields(strFields);
}

} // namespace

std::string octaveHeading(const OctaveRequest& request, const OctaveLevels& levels, std::int32_t lngSampFreq,
                          const std::string& strSource)
{
    const std::string strDb = "dB re " + request.unit.strDbReference;
    return headingOf({"nominal (Hz)", "midband (Hz)", "lower edge (Hz)", "upper edge (Hz)", "Leq (" + strDb + ")",
                      "rms (" + request.unit.strUnit + ")"},
                     request, levels, lngSampFreq, strSource);
}

std::vector<std::string> octaveBandLines(const std::vector<BandReading>& bands)
{
    std::vector<std::string> strLines;
    strLines.reserve(bands.size());
    for (const BandReading& reading : bands) {
        strLines.push_back(
            joinFields({reading.band.strNominal, generalNumberText(reading.band.dblMidband),
                        generalNumberText(reading.band.dblLower), generalNumberText(reading.band.dblUpper),
                        fixedDecimalText(reading.dblLeqDb, intDbDecimals), generalNumberText(reading.dblRms)}));
    }
    return strLines;
}

std::vector<std::string> levelRowLines(const std::vector<LevelRow>& rows)
{
    std::vector<std::string> strLines;
    strLines.reserve(rows.size());
    for (const LevelRow& row : rows) {
        const bool blnDb = row.strUnit.starts_with("dB");
        strLines.push_back(joinFields(
            {row.strName, blnDb ? fixedDecimalText(row.dblValue, intDbDecimals) : generalNumberText(row.dblValue),
             row.strUnit}));
    }
    return strLines;
}

OctaveFileResult octaveRecording(const OctaveRequest& request, const std::string& strFileName,
                                 platform::TextFiles& files, platform::SoundFiles& sounds, const OctaveHooks& hooks)
{
    OctaveFileResult result;
    AnalysedRecording opening = openAnalysedRecording(files, sounds, strFileName, request.choice, request.lngSampFreq,
                                                      request.blnSampFreqGiven);
    result.strRefusal = opening.strRefusal;
    result.lngSampFreq = opening.lngSampFreq;
    const auto otherRefusal = [&result] {
        result.refusalFacts = {platform::RefusalFacts::Kind::Other, 0, 0, result.strRefusal, 0, 0, false};
    };
    if (!opening.stream) {
        otherRefusal();
        return result;
    }
    const double dblVoltsPerCount = request.dblMaxVolt / dblFullScaleCount;
    LevelTraceHandler onTrace;
    if (hooks.onTrace) {
        onTrace = [&](double dblSeconds, double dblMeanSquare) {
            hooks.onTrace(dblSeconds, levelDbOfRms(euOfVolts(std::sqrt(dblMeanSquare) * dblVoltsPerCount, request.unit),
                                                   request.unit));
        };
    }
    OctaveAnalyser analyser(request.settings, result.lngSampFreq, onTrace, hooks.dblTraceSeconds,
                            analysisThreads(request.lngThreads));
    if (analyser.filterBank().bands().empty()) {
        result.strRefusal = "no " + bandwidthName(request.settings.lngBandsPerOctave) + " band lies between " +
                            generalNumberText(request.settings.dblFromHz) + " Hz and half the sampling frequency (" +
                            generalNumberText(result.lngSampFreq / 2.0) + " Hz)";
        otherRefusal();
        return result;
    }
    const auto analyse = [&](std::span<const double> dblTaken) { analyser.addSamples(dblTaken); };
    result.strRefusal =
        readRecordingPart(*opening.stream, request.part, analyse, hooks.onProgress, result.blnCancelled);
    if (!result.strRefusal.empty() || result.blnCancelled) {
        result.refusalFacts = opening.stream->refusalFacts();
        return result;
    }
    result.levels = analyser.levels();
    if (result.levels.overall.lngSamples == 0) {
        result.strRefusal = "the recording holds no sample";
        result.refusalFacts = {platform::RefusalFacts::Kind::TooFewSamples, 0, 0, {}, 0, 1, false};
        return result;
    }
    result.bands = bandReadings(result.levels, dblVoltsPerCount, request.unit);
    result.overall = overallLevelRows(result.levels, dblVoltsPerCount, request.unit);
    result.strSource = sourceName(files, strFileName, opening.stream->sourceDescription());
    result.strHeading = octaveHeading(request, result.levels, result.lngSampFreq, result.strSource);
    return result;
}

namespace {

void writeOctaveLines(platform::TextWriter& writer, const OctaveFileResult& result)
{
    writer.writeLine(result.strHeading);
    for (const std::string& strLine : octaveBandLines(result.bands)) {
        writer.writeLine(strLine);
    }
}

} // namespace

void writeOctaveBands(platform::TextFiles& files, const std::string& strPath, const OctaveFileResult& result)
{
    writeTextFile(files, strPath, [&](platform::TextWriter& writer) { writeOctaveLines(writer, result); });
}

OctaveFileResult analyseOctaves(const OctaveRequest& request, const std::string& strFileName,
                                platform::TextFiles& files, platform::SoundFiles& sounds, const OctaveHooks& hooks)
{
    const std::string strOutput = octaveOutputName(files, strFileName, request.choice);
    const std::string strLevels = levelsOutputName(files, strFileName, request.choice);
    refuseOutputOverInput(files, strOutput, strFileName);
    if (request.blnLevels) {
        refuseOutputOverInput(files, strLevels, strFileName);
    }
    OctaveFileResult result = octaveRecording(request, strFileName, files, sounds, hooks);
    if (!result.analysed()) {
        return result;
    }
    std::vector<OutputFile> outputs{
        {strOutput, [&](platform::TextWriter& writer) { writeOctaveLines(writer, result); }}};
    if (request.blnLevels) {
        outputs.push_back({strLevels, [&](platform::TextWriter& writer) {
                               writer.writeLine(headingOf({"name", "value", "unit"}, request, result.levels,
                                                          result.lngSampFreq, result.strSource));
                               for (const std::string& strLine : levelRowLines(result.overall)) {
                                   writer.writeLine(strLine);
                               }
                           }});
    }
    writeFilesTogether(files, outputs);
    result.strWritten = strOutput;
    if (request.blnLevels) {
        result.strLevelsWritten = strLevels;
    }
    return result;
}

} // namespace kestrix::engine
