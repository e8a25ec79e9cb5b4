// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch_options.h"

#include "option_table.h"

#include <algorithm>

namespace kestrix::cli {

namespace {

constexpr std::string_view strClassicIntro =
    R"(Usage: kestrix-batch [OPTIONS] FILE...

Analyses each FILE (one converter count per line) exactly as the Kestrix window does and writes the
output files beside it: NAME_SPC.csv always; with the band-pass NAME_BAND_SPC.csv and
NAME_BAND_WAVE.csv; with Wave output NAME_BAND.wav (band on) and NAME.wav.

Options (defaults are the window's start-up state):
)";

constexpr std::string_view strClassicEnd = R"(
With --average each FILE (text or a sound file) is analysed whole, its segments' spectra averaged,
into NAME_AVG_SPC.csv; see kestrix-batch --average --help. With --transfer the frequency response
between two of its signals goes into NAME_FRF.csv; see kestrix-batch --transfer --help. With --octave B
it is analysed whole in fractional-octave bands, into NAME_OCT.csv; see kestrix-batch --octave 3 --help.

Each file written is printed on standard output, one path a line, in FILE order. Exit status: 0 all
analysed, 1 an entry or a file refused, 2 usage error, 3 a failure; the highest met.
)";

constexpr std::string_view strAverageIntro =
    R"(Usage: kestrix-batch --average [OPTIONS] FILE...

Analyses each FILE whole: cut into overlapping segments of N samples, each windowed and transformed,
their spectra averaged. Writes NAME_AVG_SPC.csv beside it: a heading line stating the columns, the
settings and the number of segments, then one line "frequency,value" per line from 0 Hz to fs / 2.56.

A FILE is a sound file (WAV, FLAC, AIFF, ...: integer PCM of 8 to 32 bits or floating point, its
sampling frequency from the file), one-column text of converter counts, or, with --column, one column
of delimited text (comma, semicolon, tab or blanks, found from the file; heading lines allowed).

Options:
)";

constexpr std::string_view strTransferIntro =
    R"(Usage: kestrix-batch --transfer --input N|NAME --output N|NAME [OPTIONS] FILE...

Analyses two signals of each FILE, an input and an output (two columns of delimited text, by number
from 1 or by heading; two channels of a sound file, by number), cut into the same overlapping segments
of N samples, windowed and averaged by the mean: their spectra Gxx and Gyy, the cross-spectrum Gxy, the
frequency responses H1 = Gxy / Gxx and H2 = Gyy / Gyx, the coherence |Gxy|^2 / (Gxx Gyy) and the delay
of the output from the peak of their cross-correlation. With a sensitivity for each, H is in output EU
per input EU. Writes NAME_FRF.csv beside it: a heading line naming the signals, window, N, overlap,
segments, fs, units and the delay in seconds; then one line per line from 0 Hz to fs / 2.56:
  frequency,|H1|,phase of H1 (deg, wrapped),phase unwrapped where the coherence reaches the threshold,
  |H2|,coherence,Gxx,Gyy,|Gxy|
An empty field is a value that does not exist on its line; with one segment the coherence would be 1
on every line whatever the signals hold, so its column is left empty (and a warning says so).

Options:
)";

constexpr std::string_view strAverageEnd = R"(
Each file written is printed on standard output, one path a line, in FILE order. Exit status: 0 all
analysed, 1 an entry or a file refused, 2 usage error, 3 a failure; the highest met.
)";

constexpr std::string_view strOctaveIntro =
    R"(Usage: kestrix-batch --octave B [OPTIONS] FILE...

Analyses each FILE whole in fractional-octave bands of IEC 61260-1 (base ten, B bands an octave: 1, 3,
6, 12 or 24), each band a 12-pole Butterworth band-pass meeting class 1, after the frequency weighting
of IEC 61672-1. Writes NAME_OCT.csv beside it: a heading line stating the columns and the settings,
then one line a band "nominal,midband,lower edge,upper edge,Leq (dB),rms" from the lowest band whose
upper edge lies above the lower limit to the highest below fs / 2. Levels are in dB re 1 V.

A FILE is a sound file (WAV, FLAC, AIFF, ...: its sampling frequency from the file), one-column text of
converter counts, or, with --column, one column of delimited text.

Options:
)";

// Help lines are wrapped to this width, continued under the help's first column.
constexpr std::size_t lngHelpWidth = 104;
constexpr std::size_t lngHelpColumn = 21;

std::string optionHelpLine(const OptionDef& option)
{
    std::string strLine = "  ";
    if (!option.strAlias.empty()) {
        strLine.append(option.strAlias).append(" ").append(option.strValue).append(", ");
    }
    strLine.append(option.strName);
    if (!option.strValue.empty()) {
        strLine.append(" ").append(option.strValue);
    }
    strLine.resize(std::max(lngHelpColumn, strLine.size() + 2), ' ');
    std::size_t lngLineStart = 0;
    std::string_view strHelp = option.strHelp;
    while (!strHelp.empty()) {
        const std::size_t lngWord = std::min(strHelp.find(' '), strHelp.size());
        const bool blnFirstWord = strLine.size() - lngLineStart <= lngHelpColumn;
        if (!blnFirstWord && strLine.size() - lngLineStart + 1 + lngWord > lngHelpWidth) {
            strLine += "\n";
            lngLineStart = strLine.size();
            strLine.append(lngHelpColumn, ' ');
        } else if (!blnFirstWord) {
            strLine += ' ';
        }
        strLine += strHelp.substr(0, lngWord);
        strHelp.remove_prefix(std::min(lngWord + 1, strHelp.size()));
    }
    return strLine + "\n";
}

// The usage error of an option typed for an analysis it does not apply to, or one it needs missing.
std::string applicabilityError(const BatchOptions& options)
{
    for (const GivenOption& given : options.given) {
        const OptionDef& option = *given.option;
        if (!appliesTo(option.modes, options.mode)) {
            if (options.mode != Mode::Classic) {
                return given.strTyped + " does not apply to " + std::string(modeOption(options.mode));
            }
            std::string strModes;
            for (const Mode mode : {Mode::Average, Mode::Transfer, Mode::Octave}) {
                if (appliesTo(option.modes, mode)) {
                    strModes += (strModes.empty() ? "" : " or ") + std::string(modeOption(mode));
                }
            }
            return given.strTyped + " applies only with " + strModes;
        }
        if (!option.strNeeds.empty() && !options.wasGiven(option.strNeeds)) {
            return given.strTyped + " needs " + std::string(option.strNeeds);
        }
    }
    // The two signals are what a frequency response is between: there is no default for them.
    for (const std::string_view strSignal : {"--input", "--output"}) {
        if (options.mode == Mode::Transfer && !options.wasGiven(strSignal)) {
            return "--transfer needs " + std::string(strSignal);
        }
    }
    return {};
}

class OptionParser
{
public:
    explicit OptionParser(std::span<const std::string> strArgs) : strArgs(strArgs) {}

    std::optional<BatchOptions> parse(std::string& strError);

private:
    bool parseOne(const std::string& strArg, std::string& strError);

    std::span<const std::string> strArgs;
    std::size_t i = 0;
    BatchOptions options;
};

// One option (strArg starts with "-"); false with strError set when it is not understood.
bool OptionParser::parseOne(const std::string& strArg, std::string& strError)
{
    std::string strName = strArg;
    std::optional<std::string> strInline;
    if (const auto lngEquals = strArg.find('='); lngEquals != std::string::npos && strArg.starts_with("--")) {
        strInline = strArg.substr(lngEquals + 1);
        strName.resize(lngEquals);
    } else if (strArg.size() > 2 && strArg[1] != '-') {
        // A short option with its value attached: -j4.
        if (const OptionDef* option = findOption(strArg.substr(0, 2)); option != nullptr && !option->strValue.empty()) {
            strInline = strArg.substr(2);
            strName.resize(2);
        }
    }
    const OptionDef* option = findOption(strName);
    if (option == nullptr) {
        strError = "unknown option " + strArg;
        return false;
    }
    std::string strValue;
    if (option->strValue.empty() && strInline) {
        strError = strName + " takes no value";
        return false;
    }
    if (!option->strValue.empty() && option->intValues == 2) {
        if (strInline || i + 2 >= strArgs.size()) {
            strError = strName + " needs two values: " + std::string(option->strValue);
            return false;
        }
        strValue = strArgs[i + 1] + chrValueSeparator + strArgs[i + 2];
        i += 2;
    } else if (!option->strValue.empty()) {
        if (!strInline && i + 1 >= strArgs.size()) {
            strError = strName + " needs a value";
            return false;
        }
        strValue = strInline ? *strInline : strArgs[++i];
    }
    if (const std::string strReason = option->take(options, strValue); !strReason.empty()) {
        strError = strName + " " + typedValues(strValue) + ": " + strReason;
        return false;
    }
    options.given.push_back({option, strName, strValue});
    return true;
}

std::optional<BatchOptions> OptionParser::parse(std::string& strError)
{
    bool blnOptionsEnded = false;
    for (i = 0; i < strArgs.size(); ++i) {
        const std::string& strArg = strArgs[i];
        if (blnOptionsEnded || strArg.size() < 2 || strArg[0] != '-') {
            options.sources.push_back({false, strArg});
        } else if (strArg == "--") {
            blnOptionsEnded = true;
        } else if (!parseOne(strArg, strError)) {
            return std::nullopt;
        }
    }
    if (options.blnHelp || options.blnVersion) {
        return std::move(options);
    }
    if (strError = applicabilityError(options); !strError.empty()) {
        return std::nullopt;
    }
    if (options.calibrationLevel && !options.sources.empty()) {
        strError = "--calibrate analyses its own FILE only";
        return std::nullopt;
    }
    if (options.sources.empty() && !options.calibrationLevel) {
        strError = "no FILE given";
        return std::nullopt;
    }
    return std::move(options);
}

} // namespace

bool BatchOptions::wasGiven(std::string_view strName) const
{
    return std::any_of(given.begin(), given.end(),
                       [&](const GivenOption& option) { return option.option->strName == strName; });
}

std::optional<BatchOptions> parseOptions(std::span<const std::string> strArgs, std::string& strError)
{
    return OptionParser(strArgs).parse(strError);
}

EntryReport checkEntries(BatchOptions& options)
{
    EntryReport report;
    for (const OptionDef& option : optionTable()) {
        if (option.check == nullptr || !appliesTo(option.modes, options.mode)) {
            continue;
        }
        // The option as typed last, or its default.
        std::string strSubject = std::string(option.strName);
        for (const GivenOption& given : options.given) {
            if (given.option == &option) {
                strSubject = given.strTyped + " " + typedValues(given.strValue);
            }
        }
        EntryCheck outcome = option.check(options);
        if (!outcome.strNotice.empty()) {
            report.strNotices.push_back(outcome.strNotice);
        }
        if (!outcome.strRefusal.empty()) {
            report.strRefusal =
                (outcome.strSubject.empty() ? strSubject : outcome.strSubject) + ": " + outcome.strRefusal;
            return report;
        }
    }
    return report;
}

std::string usageText(Mode mode)
{
    std::string strText(mode == Mode::Average    ? strAverageIntro
                        : mode == Mode::Transfer ? strTransferIntro
                        : mode == Mode::Octave   ? strOctaveIntro
                                                 : strClassicIntro);
    for (const OptionDef& option : optionTable()) {
        // The switch that chooses the analysis is its own usage line.
        if (appliesTo(option.modes, mode) && option.strName != modeOption(mode)) {
            strText += optionHelpLine(option);
        }
    }
    strText += mode == Mode::Classic ? strClassicEnd : strAverageEnd;
    return strText;
}

std::string_view modeOption(Mode mode)
{
    return mode == Mode::Average    ? "--average"
           : mode == Mode::Transfer ? "--transfer"
           : mode == Mode::Octave   ? "--octave"
                                    : "";
}

std::string typedValues(std::string_view strValue)
{
    const std::size_t lngSeparator = strValue.find(chrValueSeparator);
    if (lngSeparator == std::string_view::npos) {
        return typedText(strValue);
    }
    return typedText(strValue.substr(0, lngSeparator)) + " " + typedText(strValue.substr(lngSeparator + 1));
}

int threadsBesideJobs(int lngCores, int lngJobs, int lngAsked)
{
    const int lngShare = std::max(1, lngCores / std::max(1, lngJobs));
    return lngAsked > 0 ? std::min(lngAsked, lngShare) : lngShare;
}

std::string typedText(std::string_view strText)
{
    if (!strText.empty() && strText.find_first_of(" \t\"'") == std::string_view::npos) {
        return std::string(strText);
    }
    std::string strQuoted = "\"";
    for (const char chr : strText) {
        strQuoted += chr == '"' ? std::string("\\\"") : std::string(1, chr);
    }
    return strQuoted + "\"";
}

} // namespace kestrix::cli
