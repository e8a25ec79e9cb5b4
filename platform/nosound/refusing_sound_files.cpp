// SPDX-License-Identifier: GPL-3.0-or-later
#include "refusing_sound_files.h"

#include "platform/std/posix_file.h"

#include <algorithm>
#include <array>

namespace kestrix::platform {

namespace {

// The containers' names by which a sound file is known without reading it.
constexpr std::array<std::string_view, 15> strSoundExtensions{
    "wav", "wave", "w64", "rf64", "bwf", "flac", "aif", "aiff", "aifc", "au", "snd", "caf", "ogg", "oga", "opus"};

// The first four bytes of the containers libsndfile reads most: RIFF and its kin, AIFF, FLAC, Ogg, Sun
// and Apple's.
constexpr std::array<std::string_view, 9> strSoundMagics{"RIFF", "RIFX", "RF64", "riff", "FORM",
                                                         "fLaC", "OggS", ".snd", "caff"};

bool hasSoundExtension(std::string_view strPath)
{
    const std::string strExtension = lowerCaseExtension(strPath);
    return std::find(strSoundExtensions.begin(), strSoundExtensions.end(), strExtension) != strSoundExtensions.end();
}

// The first bytes of the file (fewer when it is shorter); a file that cannot be opened raises here as
// the libsndfile service raises.
std::string firstBytes(const std::string& strPath)
{
    const OpenedFile opened = openForReading(strPath, false);
    const FileDescriptor fd(opened.fd);
    std::string strStart(4, '\0');
    std::size_t lngHave = 0;
    while (lngHave < strStart.size()) {
        const std::size_t lngRead = readSome(fd.get(), strStart.data() + lngHave, strStart.size() - lngHave, strPath);
        if (lngRead == 0) {
            break;
        }
        lngHave += lngRead;
    }
    strStart.resize(lngHave);
    return strStart;
}

} // namespace

SoundOpening RefusingSoundFiles::openSound(std::string_view strPath, std::int32_t /*lngChannel*/)
{
    const std::string strName(strPath);
    const std::string strStart = firstBytes(strName);
    const bool blnSoundMagic =
        std::find(strSoundMagics.begin(), strSoundMagics.end(), strStart) != strSoundMagics.end();
    if (!blnSoundMagic && !hasSoundExtension(strPath)) {
        return {};
    }
    SoundOpening opening;
    opening.outcome = SoundOpening::Outcome::Refused;
    opening.strRefusal = "this build of Kestrix reads no sound files (it was made without libsndfile); "
                         "save the recording as text, one sample a line or in delimited columns";
    return opening;
}

} // namespace kestrix::platform
