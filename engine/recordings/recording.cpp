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

RecordingOpening opened(std::unique_ptr<platform::SampleStream> stream, bool blnSound)
{
    RecordingOpening opening;
    opening.stream = std::move(stream);
    opening.blnSound = blnSound;
    return opening;
}

// A column of delimited text, its delimiter found from a first look at the file, then the file read
// again from its start.
RecordingOpening openColumnText(platform::TextFiles& files, const std::string& strPath, const ColumnChoice& column)
{
    Delimiter delimiter = Delimiter::Comma;
    {
        const std::unique_ptr<platform::TextReader> look = files.openTextFile(strPath);
        delimiter = detectDelimiter(*look);
        look->close();
    }
    return opened(columnTextStream(files.openTextFile(strPath), delimiter, column), false);
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
        return opened(std::move(sound.stream), true);
    }
    if (choice.lngChannel) {
        return refused("a channel is chosen, but this is a text file (choose a column)", false);
    }
    if (!choice.column) {
        return opened(countTextStream(files.openTextFile(strPath)), false);
    }
    return openColumnText(files, strPath, *choice.column);
}

RecordingOpening openSignal(platform::TextFiles& files, platform::SoundFiles& sounds, const std::string& strPath,
                            const ColumnChoice& which)
{
    platform::SoundOpening sound = sounds.openSound(strPath, which.lngNumber > 0 ? which.lngNumber : 1);
    if (sound.outcome == platform::SoundOpening::Outcome::Refused) {
        return refused(sound.strRefusal, true);
    }
    if (sound.outcome == platform::SoundOpening::Outcome::Opened) {
        if (which.lngNumber <= 0) {
            return refused("the channels of a sound file are chosen by number, not by name (\"" + which.strName + "\")",
                           true);
        }
        return opened(std::move(sound.stream), true);
    }
    return openColumnText(files, strPath, which);
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
        const std::span<const double> dblGot = stream.nextCounts(std::span<double>(dblChunk).first(lngWanted));
        const std::size_t lngGot = dblGot.size();
        // The samples of this block that lie within the part.
        const auto lngFrom = static_cast<std::size_t>(
            std::clamp<std::int64_t>(part.lngSkipSamples - lngRead, 0, static_cast<std::int64_t>(lngGot)));
        const std::span<const double> dblTaken = dblGot.subspan(lngFrom);
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
    recording.strRefusal = sampFreqOfStream(*opening.stream, lngSampFreq, blnGiven, recording.lngSampFreq);
    if (!recording.strRefusal.empty()) {
        return recording;
    }
    recording.stream = std::move(opening.stream);
    return recording;
}

std::string sampFreqOfStream(const platform::SampleStream& stream, std::int32_t lngGiven, bool blnGiven,
                             std::int32_t& lngSampFreq)
{
    lngSampFreq = lngGiven;
    if (const auto lngStated = stream.statedSampFreq()) {
        if (blnGiven && *lngStated != lngGiven) {
            return "the recording states a sampling frequency of " + std::to_string(*lngStated) + " Hz, not the " +
                   std::to_string(lngGiven) + " Hz given";
        }
        lngSampFreq = *lngStated;
    }
    return {};
}

std::string sourceName(platform::TextFiles& files, const std::string& strFileName, const std::string& strDescription)
{
    const std::string strName(std::string_view(strFileName).substr(strFileName.rfind(files.pathSeparator()) + 1));
    return strDescription.empty() ? strName : strName + " " + strDescription;
}

void refuseOutputOverInput(platform::TextFiles& files, const std::string& strOutput, const std::string& strFileName)
{
    if (strOutput == strFileName || files.sameFile(strOutput, strFileName)) {
        raiseFailure(err::lngPathFileAccess, "the output file " + strOutput + " would replace the input file");
    }
}

} // namespace kestrix::engine
