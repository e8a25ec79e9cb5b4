// SPDX-License-Identifier: GPL-3.0-or-later
// The sound-file service of a build without libsndfile: sound files are refused by name or by their
// first bytes, everything else is left to be read as text.
#include "platform/failure.h"
#include "platform/nosound/refusing_sound_files.h"
#include "support/expect_failure.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace kestrix {
namespace {

using Outcome = platform::SoundOpening::Outcome;

TEST(RefusingSoundFiles, SoundFilesByNameOrContentAreRefusedTextIsLeftAsText)
{
    struct Case
    {
        const char* strName;
        std::string strContent;
        Outcome outcome;
    };
    const Case cases[] = {
        {"rec.wav", "1\r\n2\r\n", Outcome::Refused}, // the name says sound, whatever it holds
        {"REC.FLAC", "", Outcome::Refused},          // extensions in any case
        {"take.aiff", "FORM", Outcome::Refused},
        {"logger.dat", std::string("RIFF\x24\x00\x00\x00WAVEfmt ", 16), Outcome::Refused}, // a Wave file by content
        {"logger.bin", "fLaC\x00", Outcome::Refused},
        {"motor.csv", "0.5\r\n-0.25\r\n", Outcome::NotSound},
        {"RIF.csv", "RIF", Outcome::NotSound}, // shorter than any magic
        {"empty.txt", "", Outcome::NotSound},
        {"wav.d/rec", "12\n", Outcome::NotSound},      // the dot in a folder's name is no extension
        {"rec.wav.csv", "RIF,1\n", Outcome::NotSound}, // only the last extension counts
    };
    testing::TempDir dir;
    std::filesystem::create_directory(dir.path / "wav.d");
    platform::RefusingSoundFiles sounds;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strName);
        const std::string strPath = dir.file(c.strName);
        testing::writeBytes(strPath, c.strContent);
        const platform::SoundOpening opening = sounds.openSound(strPath, 1);
        EXPECT_EQ(opening.outcome, c.outcome);
        EXPECT_EQ(opening.stream, nullptr);
        if (c.outcome == Outcome::Refused) {
            EXPECT_NE(opening.strRefusal.find("reads no sound files"), std::string::npos) << opening.strRefusal;
            EXPECT_NE(opening.strRefusal.find("as text"), std::string::npos) << opening.strRefusal;
        }
    }
}

TEST(RefusingSoundFiles, AFileThatCannotBeOpenedFailsAsWithLibsndfile)
{
    testing::TempDir dir;
    platform::RefusingSoundFiles sounds;
    testing::expectFailure(err::lngFileNotFound, [&] { sounds.openSound(dir.file("missing.wav"), 1); });
    testing::expectFailure(err::lngPathFileAccess, [&] { sounds.openSound(dir.path.string(), 1); });
}

} // namespace
} // namespace kestrix
