// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the engine's octave analysis on one recording and prints what it measured, for the reference
// scripts under tests/reference/: the octave-band file's lines (heading first), an empty line, then
// the overall level rows.
//
// usage: kestrix_octave_levels [--octave B] [--weighting A|C|Z] [--time-weighting F|S] [--fs HZ]
//                              [--from HZ] FILE
#include "engine/recordings/octave_analysis.h"
#include "platform/failure.h"
#include "platform/sndfile/sndfile_sound_files.h"
#include "platform/std/std_text_files.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: kestrix_octave_levels [--octave B] [--weighting A|C|Z] [--time-weighting F|S] "
                         "[--fs HZ] [--from HZ] FILE\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace kestrix;
    engine::OctaveRequest request;
    std::string strFile;
    for (int i = 1; i < argc; ++i) {
        const std::string_view strArg = argv[i];
        const bool blnValue = i + 1 < argc;
        if (strArg == "--octave" && blnValue) {
            request.settings.lngBandsPerOctave = std::stoi(argv[++i]);
        } else if (strArg == "--weighting" && blnValue) {
            const auto weighting = engine::weightingOfLetter(argv[++i]);
            if (!weighting) {
                return usage();
            }
            request.settings.weighting = *weighting;
        } else if (strArg == "--time-weighting" && blnValue) {
            request.settings.timeWeighting = engine::timeWeightingOfLetter(argv[++i]);
        } else if (strArg == "--fs" && blnValue) {
            request.lngSampFreq = std::stoi(argv[++i]);
            request.blnSampFreqGiven = true;
        } else if (strArg == "--from" && blnValue) {
            request.settings.dblFromHz = std::stod(argv[++i]);
        } else if (strFile.empty() && !strArg.starts_with("--")) {
            strFile = strArg;
        } else {
            return usage();
        }
    }
    if (strFile.empty() || !engine::isBandsPerOctave(request.settings.lngBandsPerOctave)) {
        return usage();
    }
    try {
        platform::StdTextFiles files;
        platform::SndfileSoundFiles sounds;
        const engine::OctaveFileResult result = engine::octaveRecording(request, strFile, files, sounds);
        if (!result.analysed()) {
            std::fprintf(stderr, "%s: %s\n", strFile.c_str(), result.strRefusal.c_str());
            return 1;
        }
        std::printf("%s\n", result.strHeading.c_str());
        for (const std::string& strLine : engine::octaveBandLines(result.bands)) {
            std::printf("%s\n", strLine.c_str());
        }
        std::printf("\n");
        for (const std::string& strLine : engine::levelRowLines(result.overall)) {
            std::printf("%s\n", strLine.c_str());
        }
    } catch (const KestrixError& error) {
        std::fprintf(stderr, "%s: %s\n", strFile.c_str(), error.what());
        return 3;
    }
    return 0;
}
