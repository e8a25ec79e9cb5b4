// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording.h"

#include "platform/failure.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace kestrix::engine {

namespace {

// Samples read from a stream at a time.
constexpr std::size_t lngChunkSamples = 64 * 1024;

RecordingOpening refused(std::string strWhy, bool blnSound)
{
    RecordingOpening opening;
    opening.blnSound = blnSound;
    opening.strRefusal = std::move(strWhy);
    return opening;
}

} // namespace

RecordingOpening openRecording(platform::TextFiles& files, platform::SoundFiles& sounds, const std::string& strPath,
                               const RecordingChoice& choice)
{
    platform::SoundOpening sound = sounds.openSound(strPath, choice.lngChannel.value_or(1));
    if (sound.outcome == platform::SoundOpening::Outcome::Refused) {
        return refused(sound.strRefusal, true);
    }
    if (sound.outcome == platform::SoundOpening::Outcome::Opened) {
        if (choice.column) {
            return refused("a column is chosen, but this is a sound file (choose a channel)", true);
        }
        RecordingOpening opening;
        opening.stream = std::move(sound.stream);
        opening.blnSound = true;
        return opening;
    }
    if (choice.lngChannel) {
        return refused("a channel is chosen, but this is a text file (choose a column)", false);
    }
    RecordingOpening opening;
    if (!choice.column) {
        opening.stream = countTextStream(files.openTextFile(strPath));
        return opening;
    }
    // The delimiter from a first look at the file, then the file read again from its start.
    Delimiter delimiter = Delimiter::Comma;
    {
        const std::unique_ptr<platform::TextReader> look = files.openTextFile(strPath);
        delimiter = detectDelimiter(*look);
        look->close();
    }
    opening.stream = columnTextStream(files.openTextFile(strPath), delimiter, *choice.column);
    return opening;
}

std::string readRecordingPart(platform::SampleStream& stream, const RecordingPart& part, const SampleHandler& onSamples,
                              const ReadProgress& onProgress, bool& blnCancelled)
{
    std::vector<double> dblChunk(lngChunkSamples);
    std::int64_t lngRead = 0; // samples read, those passed over included
    const std::int64_t lngEnd =
        part.lngTakeSamples > 0 ? part.lngSkipSamples + part.lngTakeSamples : std::numeric_limits<std::int64_t>::max();
    while (lngRead < lngEnd) {
        const auto lngWanted = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(dblChunk.size()), lngEnd - lngRead));
        const std::size_t lngGot = stream.readCounts(std::span<double>(dblChunk).first(lngWanted));
        // The samples of this block that lie within the part.
        const auto lngFrom = static_cast<std::size_t>(
            std::clamp<std::int64_t>(part.lngSkipSamples - lngRead, 0, static_cast<std::int64_t>(lngGot)));
        const std::span<const double> dblTaken = std::span<const double>(dblChunk).subspan(lngFrom, lngGot - lngFrom);
        lngRead += static_cast<std::int64_t>(lngGot);
        onSamples(dblTaken);
        if (onProgress && !onProgress(lngRead, stream.shareRead())) {
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

AnalysedRecording openAnalysedRecording(platform::TextFiles& files, platform::SoundFiles& sounds,
                                        const std::string& strPath, const RecordingChoice& choice,
                                        std::int32_t lngSampFreq, bool blnGiven)
{
    AnalysedRecording recording;
    RecordingOpening opening = openRecording(files, sounds, strPath, choice);
    if (!opening.stream) {
        recording.strRefusal = opening.strRefusal;
        return recording;
    }
    recording.lngSampFreq = lngSampFreq;
    if (const auto lngStated = opening.stream->statedSampFreq()) {
        if (blnGiven && *lngStated != lngSampFreq) {
            recording.strRefusal = "the recording states a sampling frequency of " + std::to_string(*lngStated) +
                                   " Hz, not the " + std::to_string(lngSampFreq) + " Hz given";
            return recording;
        }
        recording.lngSampFreq = *lngStated;
    }
    recording.stream = std::move(opening.stream);
    return recording;
}

std::string recordingSource(platform::TextFiles& files, const std::string& strFileName,
                            const platform::SampleStream& stream)
{
    const std::string strName(std::string_view(strFileName).substr(strFileName.rfind(files.pathSeparator()) + 1));
    const std::string strDescription = stream.sourceDescription();
    return strDescription.empty() ? strName : strName + " " + strDescription;
}

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

std::string csvLine(std::span<const std::string> strFields)
{
    std::string strLine;
    for (const std::string& strField : strFields) {
        if (!strLine.empty()) {
            strLine += ',';
        }
        strLine += csvField(strField);
    }
    return strLine;
}

void refuseOutputOverInput(platform::TextFiles& files, const std::string& strOutput, const std::string& strFileName)
{
    if (strOutput == strFileName || files.sameFile(strOutput, strFileName)) {
        raiseFailure(err::lngPathFileAccess, "the output file " + strOutput + " would replace the input file");
    }
}

} // namespace kestrix::engine
