// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording.h"

namespace kestrix::engine {

namespace {

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

} // namespace kestrix::engine
