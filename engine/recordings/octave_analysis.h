// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engineering_unit.h"
#include "octave_analyser.h"
#include "platform/sound_files.h"
#include "platform/text_files.h"
#include "recording.h"

#include <cstdint>
#include <string>
#include <vector>

// The fractional-octave analysis of one whole recording: checked settings and a file in, the band
// levels and the overall levels out, and the octave-band file's lines. No dialogue: refusals come back
// as their message text, failures are raised as KestrixError.
namespace kestrix::engine {

struct OctaveRequest
{
    OctaveSettings settings;
    EngineeringUnit unit;            // the EU and its dB reference (volts, dB re 1 V by default)
    std::int32_t lngSampFreq = 1024; // Hz (> 0); a sound file's own frequency takes its place
    bool blnSampFreqGiven = false;   // given by the user: a sound file stating another one is refused
    double dblMaxVolt = 5.0;         // V (> 0): a count c is c * dblMaxVolt / 32767 V
    RecordingChoice choice;
    RecordingPart part;          // the whole recording by default
    bool blnLevels = false;      // analyseOctaves: also the overall levels, in the levels file
    std::int32_t lngThreads = 1; // as OctaveFilterBank takes them (analysisThreads); the same levels for any
};

// What an analysis tells its caller while it runs (each may be empty), on the analysing thread.
struct OctaveHooks
{
    ReadProgress onProgress;
    // With a time weighting: the time-weighted level every dblTraceSeconds, as (seconds from the start
    // of the part analysed, dB re the EU's reference): the level-versus-time trace.
    std::function<void(double dblSeconds, double dblLevelDb)> onTrace;
    double dblTraceSeconds = 0.1;
};

struct OctaveFileResult
{
    std::string strRefusal;              // why the recording was not analysed, else empty
    platform::RefusalFacts refusalFacts; // the same as facts, for a front end to word (TooFewSamples with
                                         // no sample for an empty recording)
    std::string strWritten;              // the octave-band file written (analyseOctaves)
    std::string strLevelsWritten;        // and the levels file, when asked for
    OctaveLevels levels;                 // in counts
    std::int32_t lngSampFreq = 0;        // Hz, as analysed
    std::vector<BandReading> bands;      // in the EU, from the lowest band up
    std::vector<LevelRow> overall;       // the overall levels (overallLevelRows)
    std::string strHeading;              // the octave-band file's first line
    std::string strSource;               // what was read, as the heading's source field names it
    bool blnCancelled = false;           // stopped by the progress handler: nothing else is filled

    bool analysed() const
    {
        return strRefusal.empty() && !blnCancelled;
    }
};

// The octave-band file of an input: its base path (as for the classic files) + "_OCT.csv".
std::string octaveOutputName(platform::TextFiles& files, const std::string& strFileName,
                             const RecordingChoice& choice = {});

// "1/3 octave" for b = 3, "octave" for b = 1.
std::string bandwidthName(std::int32_t lngBandsPerOctave);

// Reads the part of the recording strFileName the request names through a sample stream and analyses
// it, without writing anything. Refuses a recording openRecording refuses, a sound file whose sampling
// frequency differs from one given, input refused on the way (with its line), a recording without a
// sample, and one whose sampling frequency leaves no band between the request's lower limit and fs / 2;
// raises KestrixError for a file that cannot be read. A progress handler that returns false cancels.
OctaveFileResult octaveRecording(const OctaveRequest& request, const std::string& strFileName,
                                 platform::TextFiles& files, platform::SoundFiles& sounds,
                                 const OctaveHooks& hooks = {});

// The heading line of the octave-band file: the columns with their units, then the settings as
// name=value fields (bandwidth, weighting, time weighting, filter class, EU, reference, fs, samples,
// source), each quoted (CSV style) where it holds a comma or a quote.
std::string octaveHeading(const OctaveRequest& request, const OctaveLevels& levels, std::int32_t lngSampFreq,
                          const std::string& strSource);

// The lines of the octave-band file after the heading, one a band from the lowest up: nominal
// midband, exact midband, lower edge, upper edge (Hz, 15 significant digits), Leq (dB, two decimals),
// rms (EU, 15 significant digits), comma-separated.
std::vector<std::string> octaveBandLines(const std::vector<BandReading>& bands);

// The overall levels as "name,value,unit" lines for the levels file: decibels with two decimals, other
// values with 15 significant digits, fields quoted where needed.
std::vector<std::string> levelRowLines(const std::vector<LevelRow>& rows);

// Writes an analysed result's octave-band file at strPath: the heading, then octaveBandLines, CR LF,
// the file replaced at once. Raises KestrixError for a file that cannot be written.
void writeOctaveBands(platform::TextFiles& files, const std::string& strPath, const OctaveFileResult& result);

// octaveRecording, then the octave-band file written at octaveOutputName beside the input and, with
// blnLevels, the levels file at levelsOutputName: a heading line "name,value,unit" followed by the
// octave file's settings, then levelRowLines of the overall levels. The two are put in place together.
// Raises KestrixError 75, before reading, when a file would replace the input.
OctaveFileResult analyseOctaves(const OctaveRequest& request, const std::string& strFileName,
                                platform::TextFiles& files, platform::SoundFiles& sounds,
                                const OctaveHooks& hooks = {});

} // namespace kestrix::engine
