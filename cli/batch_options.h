// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/recordings/average_analysis.h"
#include "engine/run/analysis_parameters.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrix::cli {

// The analyses the batch runs. An option applies to some of them; a set of them is a bit mask.
enum class Mode : unsigned {
    Classic = 1, // the window's run on the first N samples of each FILE
    Average = 2, // --average: the averaged analysis of whole recordings
};
using Modes = unsigned;
inline constexpr Modes modesAll = static_cast<unsigned>(Mode::Classic) | static_cast<unsigned>(Mode::Average);

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
    std::string strOverlap = "50";    // --overlap as typed
    std::optional<std::string> strColumn;
    std::optional<std::string> strChannel;
    std::optional<std::string> strFundamental;
    std::optional<std::string> strOutputDir;
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

// The threads of one averaged analysis beside lngJobs files analysed at once on lngCores cores: the
// cores each file has (at least 1), or fewer when lngAsked (> 0) asks for fewer; so -j times the
// threads never asks for more than the cores.
int threadsBesideJobs(int lngCores, int lngJobs, int lngAsked);

// The text typed for an option in a message: quoted when it is empty or holds blanks or quotes.
std::string typedText(std::string_view strText);

} // namespace kestrix::cli
