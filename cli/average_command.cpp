// SPDX-License-Identifier: GPL-3.0-or-later
#include "average_command.h"

#include "batch.h"
#include "engine/recordings/average_analysis.h"
#include "engine/run/analysis_parameters.h"
#include "engine/run/field_checks.h"
#include "engine/run/global_define.h"
#include "engine/run/number_text.h"
#include "kestrix_version.h"
#include "platform/failure.h"
#include "platform/utf8_path.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <map>
#include <optional>

namespace kestrix::cli {

namespace {

constexpr std::string_view strProgram = "kestrix-batch";

constexpr std::string_view strUsage =
    R"(Usage: kestrix-batch --average [OPTIONS] FILE...

Analyses each FILE whole: cut into overlapping segments of N samples, each windowed and transformed,
their spectra averaged. Writes NAME_AVG_SPC.csv beside it: a heading line stating the columns, the
settings and the number of segments, then one line "frequency,value" per line from 0 Hz to fs / 2.56.

A FILE is a sound file (WAV, FLAC, AIFF, ...: integer PCM of 8 to 32 bits or floating point, its
sampling frequency from the file), one-column text of converter counts, or, with --column, one column
of delimited text (comma, semicolon, tab or blanks, found from the file; heading lines allowed).

Options:
  --window NAME      rect, hann, hamming, blackmanharris or flattop (default hann)
  --overlap P        percent of a segment shared with the next, 0 <= P < 100 (default 50)
  --averaging NAME   mean (power average) or peak (largest per line) (default mean)
  --detrend NAME     none or mean (each segment's mean removed) (default none)
  --units NAME       pp, peak, rms, dbv (dB re 1 V rms), psd (V^2/Hz) or asd (V/sqrt(Hz)) (default rms)
  --column N|NAME    the column of delimited text, by number from 1 or by its heading
  --channel N        the channel of a sound file, from 1 (default 1)
  --fs TEXT          sampling frequency in Hz for text (default 1024); a sound file's must agree
  --points N         segment length N: 1024, 2048, 4096, 8192, 16384, 32768 or 65536 (default 1024)
  --range TEXT       converter input range in volts, plus or minus (default 5)
  --metrics          also the converter figures of the recorded tone (SNR, THD, SINAD, ENOB, SFDR, the
                     noise floor and the harmonics) in NAME_METRICS.csv
  --fundamental HZ   with --metrics: the tone's frequency (default: the highest line above 0 Hz)
  --help             show this text
  --version          show the version

Each file written is printed on standard output, one path a line. Exit status: 0 all analysed,
1 an entry or a file refused, 2 usage error, 3 a failure; the highest met.
)";

struct AverageOptions
{
    engine::AverageRequest request;
    std::string strSampFreq{engine::startup::strSampFreq};
    std::string strNumSamp{engine::startup::strNumSamp};
    std::string strMaxVolt{engine::startup::strMaxVolt};
    std::string strOverlap = "50";
    std::optional<std::string> strColumn;
    std::optional<std::string> strChannel;
    std::optional<std::string> strFundamental;
    std::vector<std::string> strFiles;
    bool blnHelp = false;
    bool blnVersion = false;
};

// Sets a named choice; false (with the usage error) for a name that is not one of them.
template <typename Choice, typename Names>
bool takeChoice(const std::string& strOption, const std::string& strValue, const Names& names, Choice& choice,
                std::string& strError)
{
    std::string strList;
    for (const auto& [strName, value] : names) {
        if (strValue == strName) {
            choice = value;
            return true;
        }
        strList += (strList.empty() ? "" : ", ") + std::string(strName);
    }
    strError = strOption + " must be one of " + strList;
    return false;
}

bool isValueOption(std::string_view strOption)
{
    constexpr std::string_view strOptions[] = {"--window", "--overlap", "--averaging",  "--detrend",
                                               "--units",  "--column",  "--channel",    "--fs",
                                               "--points", "--range",   "--fundamental"};
    return std::find(std::begin(strOptions), std::end(strOptions), strOption) != std::end(strOptions);
}

// The classic run's switches and band limits, which mean nothing to the averaged analysis.
bool isClassicOption(std::string_view strOption)
{
    constexpr std::string_view strOptions[] = {"--band", "--no-band", "--low", "--high", "--wave", "--no-wave"};
    return std::find(std::begin(strOptions), std::end(strOptions), strOption) != std::end(strOptions);
}

// One option with its value; false with the usage error.
bool takeValueOption(const std::string& strOption, const std::string& strValue, AverageOptions& options,
                     std::string& strError)
{
    using engine::Averaging, engine::Detrend;
    engine::AverageSettings& settings = options.request.settings;
    if (strOption == "--window") {
        std::vector<std::pair<std::string_view, engine::WindowKind>> names;
        for (const engine::WindowKind window : engine::windowKinds) {
            names.emplace_back(engine::windowName(window), window);
        }
        return takeChoice(strOption, strValue, names, settings.window, strError);
    }
    if (strOption == "--units") {
        std::vector<std::pair<std::string_view, engine::SpectrumUnits>> names;
        for (const engine::SpectrumUnits units : engine::spectrumUnits) {
            names.emplace_back(engine::unitsName(units), units);
        }
        return takeChoice(strOption, strValue, names, options.request.units, strError);
    }
    if (strOption == "--averaging") {
        const std::pair<std::string_view, Averaging> names[] = {{"mean", Averaging::Mean}, {"peak", Averaging::Peak}};
        return takeChoice(strOption, strValue, names, settings.averaging, strError);
    }
    if (strOption == "--detrend") {
        const std::pair<std::string_view, Detrend> names[] = {{"none", Detrend::None}, {"mean", Detrend::Mean}};
        return takeChoice(strOption, strValue, names, settings.detrend, strError);
    }
    const std::map<std::string, std::string*> texts = {{"--fs", &options.strSampFreq},
                                                       {"--points", &options.strNumSamp},
                                                       {"--range", &options.strMaxVolt},
                                                       {"--overlap", &options.strOverlap}};
    if (const auto text = texts.find(strOption); text != texts.end()) {
        *text->second = strValue;
        options.request.blnSampFreqGiven = options.request.blnSampFreqGiven || strOption == "--fs";
        return true;
    }
    if (strOption == "--column" || strOption == "--channel") {
        (strOption == "--column" ? options.strColumn : options.strChannel) = strValue;
        return true;
    }
    if (strOption == "--fundamental") {
        options.strFundamental = strValue;
        return true;
    }
    strError = "unknown option " + strOption;
    return false;
}

// Parses the arguments; the usage error's text on failure.
std::optional<AverageOptions> parseAverageOptions(std::span<const std::string> strArgs, std::string& strError)
{
    AverageOptions options;
    bool blnOptionsEnded = false;
    for (std::size_t i = 0; i < strArgs.size(); ++i) {
        std::string strArg = strArgs[i];
        if (blnOptionsEnded || strArg.size() < 2 || strArg[0] != '-') {
            options.strFiles.push_back(strArg);
            continue;
        }
        if (strArg == "--metrics") {
            options.request.blnMetrics = true;
            continue;
        }
        if (strArg == "--" || strArg == "--average" || strArg == "--help" || strArg == "--version") {
            blnOptionsEnded = blnOptionsEnded || strArg == "--";
            options.blnHelp = options.blnHelp || strArg == "--help";
            options.blnVersion = options.blnVersion || strArg == "--version";
            continue;
        }
        std::optional<std::string> strValue;
        if (const auto lngEquals = strArg.find('='); lngEquals != std::string::npos) {
            strValue = strArg.substr(lngEquals + 1);
            strArg.resize(lngEquals);
        }
        if (!isValueOption(strArg)) {
            strError = isClassicOption(strArg) ? strArg + " does not apply to --average" : "unknown option " + strArg;
            return std::nullopt;
        }
        if (!strValue && i + 1 >= strArgs.size()) {
            strError = strArg + " needs a value";
            return std::nullopt;
        }
        if (!strValue) {
            strValue = strArgs[++i];
        }
        if (!takeValueOption(strArg, *strValue, options, strError)) {
            return std::nullopt;
        }
    }
    if (std::find(engine::strPointCounts.begin(), engine::strPointCounts.end(), options.strNumSamp) ==
        engine::strPointCounts.end()) {
        strError = "--points must be one of 1024, 2048, 4096, 8192, 16384, 32768, 65536";
        return std::nullopt;
    }
    if (options.strFiles.empty() && !options.blnHelp && !options.blnVersion) {
        strError = "no FILE given";
        return std::nullopt;
    }
    if (options.strFundamental && !options.request.blnMetrics) {
        strError = "--fundamental needs --metrics";
        return std::nullopt;
    }
    return options;
}

// The entries' checks, once before any file: the sampling frequency and the input range by the
// window's own checks, then the overlap, the column and the channel. False after a refusal.
bool checkEntries(AverageOptions& options, std::ostream& strErr)
{
    engine::AverageRequest& request = options.request;
    for (auto [check, strText] : {std::pair{&engine::checkSampFreq, &options.strSampFreq},
                                  std::pair{&engine::checkMaxVolt, &options.strMaxVolt}}) {
        const engine::FieldCheck result = check(*strText);
        if (!result.accepted()) {
            strErr << result.strMessage << '\n';
            return false;
        }
        *strText = result.strNormalized;
    }
    request.lngSampFreq = engine::wholeNumberOfText(options.strSampFreq);
    request.dblMaxVolt = engine::fixedValueOfText(options.strMaxVolt, 3);
    request.settings.lngNumSamp = engine::wholeNumberOfText(options.strNumSamp);
    const std::optional<double> dblOverlap = engine::numericValue(options.strOverlap);
    if (!dblOverlap || !(*dblOverlap >= 0.0 && *dblOverlap < 100.0)) {
        strErr << strProgram << ": --overlap must be a percentage from 0 up to (not including) 100\n";
        return false;
    }
    request.settings.dblOverlap = *dblOverlap;
    if (options.strColumn) {
        const bool blnNumber =
            !options.strColumn->empty() && options.strColumn->find_first_not_of("0123456789") == std::string::npos;
        const std::optional<double> dblNumber = blnNumber ? engine::numericValue(*options.strColumn) : std::nullopt;
        if (options.strColumn->empty() || (blnNumber && !(*dblNumber >= 1 && *dblNumber <= 1e6))) {
            strErr << strProgram << ": --column must be a column number from 1 or a heading name\n";
            return false;
        }
        request.choice.column = blnNumber ? engine::ColumnChoice{static_cast<std::int32_t>(*dblNumber), {}}
                                          : engine::ColumnChoice{0, *options.strColumn};
    }
    if (options.strFundamental) {
        const std::optional<double> dblFundamental = engine::numericValue(*options.strFundamental);
        if (!dblFundamental || !(*dblFundamental > 0.0) || !std::isfinite(*dblFundamental)) {
            strErr << strProgram << ": --fundamental must be a frequency in Hz above 0\n";
            return false;
        }
        request.dblFundamentalHz = *dblFundamental;
    }
    if (options.strChannel) {
        const std::optional<double> dblChannel = engine::numericValue(*options.strChannel);
        if (!dblChannel || !(*dblChannel >= 1 && *dblChannel <= 1e6) || *dblChannel != std::floor(*dblChannel)) {
            strErr << strProgram << ": --channel must be a channel number from 1\n";
            return false;
        }
        request.choice.lngChannel = static_cast<std::int32_t>(*dblChannel);
    }
    return true;
}

// A number with four decimals right-aligned in lngWidth characters (locale-free).
std::string fixedColumn(double dblValue, std::size_t lngWidth)
{
    char chrText[32];
    const auto result = std::to_chars(std::begin(chrText), std::end(chrText), dblValue, std::chars_format::fixed, 4);
    const std::string strText(chrText, result.ptr);
    return std::string(lngWidth > strText.size() ? lngWidth - strText.size() : 0, ' ') + strText;
}

// The windows' figures as the analysis computes them, for the help text.
std::string windowTable()
{
    constexpr std::int32_t lngTablePoints = 65536;
    std::string strTable = "Windows (figures computed from each window, N = 65536):\n"
                           "  window          coherent gain  noise bandwidth (lines)  scalloping loss (dB)\n";
    for (const engine::WindowKind window : engine::windowKinds) {
        const engine::WindowFigures figures = engine::windowFigures(engine::windowCoefficients(window, lngTablePoints));
        std::string strName(engine::windowName(window));
        strName.resize(15, ' ');
        strTable += "  " + strName + fixedColumn(figures.dblCoherentGain, 14) +
                    fixedColumn(figures.dblNoiseBandwidth, 25) + fixedColumn(figures.dblScallopLossDb, 22) + "\n";
    }
    return strTable;
}

void reportFailure(std::ostream& strErr, const std::string& strFile, const KestrixError& failure)
{
    strErr << strProgram << ": " << strFile << ": error " << failure.number() << " (" << failure.source()
           << "): " << failure.description() << '\n';
}

// Analyses one file; the exit status it comes to.
int analyseOne(const engine::AverageRequest& request, const std::string& strGiven, const std::string& strFile,
               platform::TextFiles& files, platform::SoundFiles& sounds, std::ostream& strOut, std::ostream& strErr)
{
    try {
        const engine::AverageFileResult result =
            engine::analyseAverage(request, strFile, files, sounds, engine::computePI());
        if (!result.analysed()) {
            strErr << strProgram << ": " << strGiven << ": refused: " << result.strRefusal << '\n';
            return lngExitRefused;
        }
        strOut << result.strWritten << '\n';
        if (!result.strMetricsWritten.empty()) {
            strOut << result.strMetricsWritten << '\n';
        }
        strOut << std::flush;
        return lngExitAnalysed;
    } catch (const KestrixError& failure) {
        reportFailure(strErr, strGiven, failure);
    } catch (const std::bad_alloc&) {
        reportFailure(strErr, strGiven, KestrixError(err::lngOutOfMemory, "Out of memory"));
    }
    return lngExitFailed;
}

} // namespace

bool asksForAverage(std::span<const std::string> strArgs)
{
    for (const std::string& strArg : strArgs) {
        if (strArg == "--") {
            return false;
        }
        if (strArg == "--average") {
            return true;
        }
    }
    return false;
}

int runAverageBatch(std::span<const std::string> strArgs, std::ostream& strOut, std::ostream& strErr,
                    platform::TextFiles& files, platform::SoundFiles& sounds)
{
    std::string strError;
    auto options = parseAverageOptions(strArgs, strError);
    if (!options) {
        strErr << strProgram << ": " << strError << "\nTry 'kestrix-batch --average --help'.\n";
        return lngExitUsage;
    }
    if (options->blnHelp) {
        strOut << strUsage << '\n' << windowTable();
        return lngExitAnalysed;
    }
    if (options->blnVersion) {
        strOut << strProgram << ' ' << strKestrixVersion << '\n';
        return lngExitAnalysed;
    }
    if (!checkEntries(*options, strErr)) {
        return lngExitRefused;
    }
    std::map<std::string, std::string> strFileOfOutput;
    int lngStatus = lngExitAnalysed;
    for (const std::string& strGiven : options->strFiles) {
        // The output lies beside the input: a bare name must name a file in the working folder.
        std::error_code ec;
        const std::filesystem::path pathAbsolute = std::filesystem::absolute(platform::pathFromUtf8(strGiven), ec);
        const std::string strFile = ec ? strGiven : platform::utf8FromPath(pathAbsolute.lexically_normal());
        const std::string strOutput = engine::averageOutputName(files, strFile);
        if (const auto earlier = strFileOfOutput.find(strOutput); earlier != strFileOfOutput.end()) {
            strErr << strProgram << ": " << strGiven << ": refused: its output file " << strOutput
                   << " would replace that of " << earlier->second << '\n';
            lngStatus = std::max(lngStatus, static_cast<int>(lngExitRefused));
            continue;
        }
        strFileOfOutput.emplace(strOutput, strGiven);
        lngStatus = std::max(lngStatus, analyseOne(options->request, strGiven, strFile, files, sounds, strOut, strErr));
    }
    return lngStatus;
}

int runBatchCommand(std::span<const std::string> strArgs, const BatchStreams& streams, platform::TextFiles& files,
                    platform::SoundFiles& sounds)
{
    if (asksForAverage(strArgs)) {
        return runAverageBatch(strArgs, streams.strOut, streams.strErr, files, sounds);
    }
    return runBatch(strArgs, streams, files);
}

} // namespace kestrix::cli
