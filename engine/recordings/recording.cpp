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

} // namespace kestrix::engine
