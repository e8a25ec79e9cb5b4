// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/recordings/average_analysis.h"
#include "engine/recordings/octave_analysis.h"
#include "engine/recordings/transfer_analysis.h"
#include "engine/run/analysis_parameters.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrix::cli {

// The analyses the batch runs. An option applies to some of them; a set of them is a bit mask.
enum class Mode : unsigned {
    Classic = 1,  // the window's run on the first N samples of each FILE
    Average = 2,  // --average: the averaged analysis of whole recordings
    Transfer = 4, // --transfer: the frequency response between two signals of each recording
    Octave = 8,   // --octave B: whole recordings in fractional-octave bands, with their overall levels
};
using Modes = unsigned;
inline constexpr Modes modesAll = static_cast<unsigned>(Mode::Classic) | static_cast<unsigned>(Mode::Average) |
                                  static_cast<unsigned>(Mode::Transfer) | static_cast<unsigned>(Mode::Octave);

inline constexpr bool appliesTo(Modes modes, Mode mode)
{
    return (modes & static_cast<unsigned>(mode)) != 0;
}

// Where FILEs come from, in the order given: a FILE named on the command line, or a list of FILEs
// (one path a line) named by --files-from ("-" for standard input).
struct FileSourceArg
{
    bool blnList = false;
    std::string strText;
};

struct OptionDef;

// An option as it was typed: its declaration, the name used ("-j" or "--jobs") and its value (empty
// for a switch).
struct GivenOption
{
    const OptionDef* option = nullptr;
    std::string strTyped;
    std::string strValue;
};

// What the command line asks for: the texts as typed (the defaults are the window's start-up state),
// turned into settings by the entries' checks.
struct BatchOptions
{
    Mode mode = Mode::Classic;
    engine::ControlContents controls; // --fs, --points, --range; the classic run's band and Wave switches
    engine::AverageRequest request;   // the averaged analysis: its choices, then its checked entries
    // The octave analysis: its own choices (the recording's rate, range and choice are checked into
    // request and copied when it runs).
    engine::OctaveRequest octave;
    std::string strFrom = "20";    // --from as typed
    std::string strOverlap = "50"; // --overlap as typed
    std::optional<std::string> strColumn;
    std::optional<std::string> strChannel;
    std::optional<std::string> strFundamental;
    std::optional<std::string> strOutputDir;
    // The frequency response: its signals, their sensitivities and the coherence threshold as typed, then
    // checked into transfer (which takes N, window, overlap, detrending, fs and range from request).
    std::optional<std::string> strInput;
    std::optional<std::string> strOutput;
    std::optional<std::string> strInputSensitivity;
    std::optional<std::string> strOutputSensitivity;
    std::optional<std::string> strThreshold;
    engine::TransferRequest transfer;
    std::optional<std::string> strSensitivity; // --sensitivity as typed
    std::optional<std::string> strHighPass;
    std::optional<std::string> strDbRef;
    std::optional<std::string> strBandRms; // the two values of --band-rms, joined by chrValueSeparator
    std::optional<std::string> strEnvelope;
    // --calibrate LEVEL FILE: the level read, and the calibrator's recording (analysed instead of FILEs).
    std::optional<engine::UnitValue> calibrationLevel;
    std::string strCalibrationFile;
    std::vector<FileSourceArg> sources;
    int lngJobs = 1;    // files analysed at once; 0 for every core
    int lngThreads = 0; // threads of one averaged analysis; 0: the cores -j leaves
    bool blnHelp = false;
    bool blnVersion = false;
    std::vector<GivenOption> given; // every option typed, in order

    // Whether the option of this long name was typed.
    bool wasGiven(std::string_view strName) const;
};

// Parses the arguments (without the program name). Nothing, with the usage error's text in strError,
// for an unknown option, a value missing or malformed, an option that does not apply to the analysis
// asked for or lacks one it needs, and no FILE.
std::optional<BatchOptions> parseOptions(std::span<const std::string> strArgs, std::string& strError);

// What checking the entries once, before any FILE, came to: the refusal (already naming the option and
// the text typed), and the notices of entries taken in another form than typed.
struct EntryReport
{
    std::string strRefusal;
    std::vector<std::string> strNotices;
};

// Checks the entries of the options that apply to options.mode, in the order of the option table (the
// sampling frequency and the input range first, as the window checks them), and fills options.request
// and the normal forms in options.controls. Stops at the first refusal.
EntryReport checkEntries(BatchOptions& options);

// The help text of a mode: its introduction, then every option that applies to it.
std::string usageText(Mode mode);

// The option that chooses an analysis ("--average", "--transfer"); empty for the classic run.
std::string_view modeOption(Mode mode);

// The threads of one averaged analysis beside lngJobs files analysed at once on lngCores cores: the
// cores each file has (at least 1), or fewer when lngAsked (> 0) asks for fewer; so -j times the
// threads never asks for more than the cores.
int threadsBesideJobs(int lngCores, int lngJobs, int lngAsked);

// The text typed for an option in a message: quoted when it is empty or holds blanks or quotes.
std::string typedText(std::string_view strText);

// Between the values of an option that takes two ("--envelope LO HI"), as its take and check read them.
inline constexpr char chrValueSeparator = '\n';
// The values of such an option as typed, each as typedText writes it: `2000 4000`, `"94 dB SPL" cal.wav`.
std::string typedValues(std::string_view strValue);

} // namespace kestrix::cli
