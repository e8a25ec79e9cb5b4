// SPDX-License-Identifier: GPL-3.0-or-later
#include "option_table.h"

#include "engine/recordings/segment_pipeline.h"
#include "engine/run/field_checks.h"
#include "engine/run/number_text.h"
#include "platform/utf8_path.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <limits>
#include <tuple>

namespace kestrix::cli {

namespace {

constexpr Modes modeClassic = static_cast<Modes>(Mode::Classic);
constexpr Modes modeAverage = static_cast<Modes>(Mode::Average);

// The most files analysed at once that -j takes: far beyond any machine's cores, and a bound on the
// threads a typing error can ask for.
constexpr int lngMaxJobs = 1024;

// The most columns and channels a choice may name: far beyond any recording, and within 32 bits.
constexpr double dblMaxColumn = 1e6;

// A named choice: its value, or the usage error listing the names.
template <typename Choice, typename Names>
std::string takeChoice(const std::string& strValue, const Names& names, Choice& choice)
{
    std::string strList;
    for (const auto& [strName, value] : names) {
        if (strValue == strName) {
            choice = value;
            return {};
        }
        strList += (strList.empty() ? "" : ", ") + std::string(strName);
    }
    return "not one of " + strList;
}

// A value kept as typed, for its entry's check: in the options, or in the window's controls.
template <auto Member> std::string takeText(BatchOptions& options, const std::string& strValue)
{
    options.*Member = strValue;
    return {};
}

template <std::string engine::ControlContents::*Member>
std::string takeControl(BatchOptions& options, const std::string& strValue)
{
    options.controls.*Member = strValue;
    return {};
}

// A switch: the member that Path leads to from the options (through a part of them) set to Value.
template <auto Value, auto... Path> std::string takeSwitch(BatchOptions& options, const std::string&)
{
    (options.*....*Path) = Value;
    return {};
}

std::string takePoints(BatchOptions& options, const std::string& strValue)
{
    if (std::find(engine::strPointCounts.begin(), engine::strPointCounts.end(), strValue) ==
        engine::strPointCounts.end()) {
        return "not one of 1024, 2048, 4096, 8192, 16384, 32768, 65536";
    }
    options.controls.strNumSamp = strValue;
    options.request.settings.lngNumSamp = engine::wholeNumberOfText(strValue);
    return {};
}

std::string takeWindow(BatchOptions& options, const std::string& strValue)
{
    std::vector<std::pair<std::string_view, engine::WindowKind>> names;
    for (const engine::WindowKind window : engine::windowKinds) {
        names.emplace_back(engine::windowName(window), window);
    }
    return takeChoice(strValue, names, options.request.settings.window);
}

std::string takeAveraging(BatchOptions& options, const std::string& strValue)
{
    using engine::Averaging;
    const std::pair<std::string_view, Averaging> names[] = {{"mean", Averaging::Mean}, {"peak", Averaging::Peak}};
    return takeChoice(strValue, names, options.request.settings.averaging);
}

std::string takeDetrend(BatchOptions& options, const std::string& strValue)
{
    using engine::Detrend;
    const std::pair<std::string_view, Detrend> names[] = {{"none", Detrend::None}, {"mean", Detrend::Mean}};
    return takeChoice(strValue, names, options.request.settings.detrend);
}

std::string takeUnits(BatchOptions& options, const std::string& strValue)
{
    std::vector<std::pair<std::string_view, engine::SpectrumUnits>> names;
    for (const engine::SpectrumUnits units : engine::spectrumUnits) {
        names.emplace_back(engine::unitsName(units), units);
    }
    return takeChoice(strValue, names, options.request.units);
}

std::string takeJobs(BatchOptions& options, const std::string& strValue)
{
    const char* const pchEnd = strValue.data() + strValue.size();
    const auto result = std::from_chars(strValue.data(), pchEnd, options.lngJobs);
    if (result.ec != std::errc() || result.ptr != pchEnd || options.lngJobs < 0 || options.lngJobs > lngMaxJobs) {
        return "not a whole number from 0 to " + std::to_string(lngMaxJobs);
    }
    return {};
}

std::string takeThreads(BatchOptions& options, const std::string& strValue)
{
    const char* const pchEnd = strValue.data() + strValue.size();
    const auto result = std::from_chars(strValue.data(), pchEnd, options.lngThreads);
    if (result.ec != std::errc() || result.ptr != pchEnd || options.lngThreads < 0 ||
        options.lngThreads > engine::lngMaxAnalysisThreads) {
        return "not a whole number from 0 to " + std::to_string(engine::lngMaxAnalysisThreads);
    }
    return {};
}

std::string takeFilesFrom(BatchOptions& options, const std::string& strValue)
{
    options.sources.push_back({true, strValue});
    return {};
}

EntryCheck refusal(std::string strMessage)
{
    return EntryCheck{std::move(strMessage), {}, {}};
}

// A field of the window checked by its own rule: the refusal, or the normal form written back into
// strText (with a notice where its value differs from the one typed).
EntryCheck checkField(engine::FieldCheck (*check)(std::string_view), std::string& strText, std::string_view strName,
                      std::string_view strWhy)
{
    const engine::FieldCheck result = check(strText);
    if (!result.accepted()) {
        return refusal(result.strMessage);
    }
    EntryCheck outcome;
    if (engine::numericValue(strText) != engine::numericValue(result.strNormalized)) {
        outcome.strNotice = std::string(strName) + " " + typedText(strText) + " is taken as " + result.strNormalized +
                            " (" + std::string(strWhy) + ")";
    }
    strText = result.strNormalized;
    return outcome;
}

EntryCheck checkSampFreq(BatchOptions& options)
{
    EntryCheck outcome = checkField(&engine::checkSampFreq, options.controls.strSampFreq, "--fs",
                                    "the sampling frequency is a whole number of Hz");
    if (outcome.strRefusal.empty()) {
        options.request.lngSampFreq = engine::wholeNumberOfText(options.controls.strSampFreq);
        options.request.blnSampFreqGiven = options.wasGiven("--fs");
    }
    return outcome;
}

EntryCheck checkRange(BatchOptions& options)
{
    EntryCheck outcome = checkField(&engine::checkMaxVolt, options.controls.strMaxVolt, "--range",
                                    "the input range keeps three decimals");
    if (outcome.strRefusal.empty()) {
        options.request.dblMaxVolt = engine::fixedValueOfText(options.controls.strMaxVolt, 3);
    }
    return outcome;
}

// The band limits as the run checks them (band on only), after the sampling frequency. A refusal names
// the limit it concerns: the lower one's own checks are tried with any upper limit and frequency, the
// upper one's with a lower limit of 0 (below every upper limit that passes its own); what is left
// compares the two (or the lower with the maximum analysis frequency).
EntryCheck checkBand(BatchOptions& options)
{
    engine::ControlContents& controls = options.controls;
    if (controls.intBand != 1) {
        return {};
    }
    engine::AnalysisParameters params;
    params.lngSampFreq = engine::wholeNumberOfText(controls.strSampFreq);
    params.dblMaxAnaFreq = params.lngSampFreq / engine::dblPointsPerLine;
    const std::string strMessage = engine::checkBandLimits(controls, params);
    const std::string strLow = "--low " + typedText(controls.strLowFreq);
    const std::string strHigh = "--high " + typedText(controls.strHighFreq);
    if (!strMessage.empty()) {
        const auto refusedAlone = [&](std::string strLowText, std::string strHighText) {
            engine::ControlContents alone = controls;
            alone.strLowFreq = std::move(strLowText);
            alone.strHighFreq = std::move(strHighText);
            engine::AnalysisParameters paramsAlone;
            paramsAlone.dblMaxAnaFreq = std::numeric_limits<double>::infinity();
            return !engine::checkBandLimits(alone, paramsAlone).empty();
        };
        std::string strSubject = strLow;
        if (refusedAlone(controls.strLowFreq, "1e300")) {
            strSubject = strLow;
        } else if (refusedAlone("0", controls.strHighFreq)) {
            strSubject = strHigh;
        } else if (engine::fixedValueOfText(controls.strLowFreq, 3) >=
                   engine::fixedValueOfText(controls.strHighFreq, 3)) {
            strSubject = strLow + ", " + strHigh;
        }
        return EntryCheck{strMessage, strSubject, {}};
    }
    EntryCheck outcome;
    for (const auto& [strText, dblValue, strName] : {std::tuple{&controls.strLowFreq, params.dblLowFreq, "--low"},
                                                     std::tuple{&controls.strHighFreq, params.dblHighFreq, "--high"}}) {
        if (engine::numericValue(*strText) != dblValue) {
            outcome.strNotice += std::string(outcome.strNotice.empty() ? "" : "\n") + strName + " " +
                                 typedText(*strText) + " is taken as " + engine::generalNumberText(dblValue) +
                                 " (the band limits keep three decimals)";
        }
    }
    return outcome;
}

EntryCheck checkOverlap(BatchOptions& options)
{
    // A percentage may be written as one: "50%".
    std::string_view strNumber = options.strOverlap;
    if (strNumber.ends_with('%')) {
        strNumber.remove_suffix(1);
    }
    const std::optional<double> dblOverlap = engine::numericValue(strNumber);
    if (!dblOverlap || !(*dblOverlap >= 0.0 && *dblOverlap < 100.0)) {
        return refusal("the overlap must be a percentage from 0 up to (not including) 100");
    }
    options.request.settings.dblOverlap = *dblOverlap;
    return {};
}

EntryCheck checkColumn(BatchOptions& options)
{
    if (!options.strColumn) {
        return {};
    }
    const std::string& strColumn = *options.strColumn;
    const bool blnNumber = !strColumn.empty() && strColumn.find_first_not_of("0123456789") == std::string::npos;
    const std::optional<double> dblNumber = blnNumber ? engine::numericValue(strColumn) : std::nullopt;
    if (strColumn.empty() || (blnNumber && !(*dblNumber >= 1 && *dblNumber <= dblMaxColumn))) {
        return refusal("a column is chosen by its number from 1 or by its heading");
    }
    options.request.choice.column = blnNumber ? engine::ColumnChoice{static_cast<std::int32_t>(*dblNumber), {}}
                                              : engine::ColumnChoice{0, strColumn};
    return {};
}

EntryCheck checkChannel(BatchOptions& options)
{
    if (!options.strChannel) {
        return {};
    }
    const std::optional<double> dblChannel = engine::numericValue(*options.strChannel);
    if (!dblChannel || !(*dblChannel >= 1 && *dblChannel <= dblMaxColumn) || *dblChannel != std::floor(*dblChannel)) {
        return refusal("a channel is chosen by its number from 1");
    }
    options.request.choice.lngChannel = static_cast<std::int32_t>(*dblChannel);
    return {};
}

// Converter figures read the converter only where the window's leakage beyond the counted lobe lies
// below its noise, wherever the tone falls: the 7-term Blackman-Harris window's (-161 dBc half-way
// between lines) lies below any converter's; the 4-term's (-86.5 dBc) does not reach a 16-bit one's.
EntryCheck checkMetrics(BatchOptions& options)
{
    if (options.request.blnMetrics && !options.wasGiven("--window")) {
        options.request.settings.window = engine::WindowKind::BlackmanHarris7;
    }
    return {};
}

EntryCheck checkFundamental(BatchOptions& options)
{
    if (!options.strFundamental) {
        return {};
    }
    const std::optional<double> dblFundamental = engine::numericValue(*options.strFundamental);
    if (!dblFundamental || !(*dblFundamental > 0.0) || !std::isfinite(*dblFundamental)) {
        return refusal("the fundamental must be a frequency in Hz above 0");
    }
    options.request.dblFundamentalHz = *dblFundamental;
    return {};
}

// The folder must be there: a mistyped name would otherwise scatter outputs into a new folder.
EntryCheck checkOutputDir(BatchOptions& options)
{
    if (!options.strOutputDir) {
        return {};
    }
    std::error_code ec;
    if (options.strOutputDir->empty() ||
        !std::filesystem::is_directory(platform::pathFromUtf8(*options.strOutputDir), ec)) {
        return refusal("no such folder");
    }
    const std::filesystem::path pathFolder =
        std::filesystem::absolute(platform::pathFromUtf8(*options.strOutputDir), ec);
    options.request.strOutputFolder = ec ? *options.strOutputDir : platform::utf8FromPath(pathFolder);
    return {};
}

const std::array optionDefs = {
    OptionDef{"--average", "", "", modesAll, "",
              "the averaged analysis of whole recordings (kestrix-batch --average --help)",
              &takeSwitch<Mode::Average, &BatchOptions::mode>},
    OptionDef{"--fs", "", "TEXT", modesAll, "",
              "sampling frequency in Hz (default 1024); with --average for text, a sound file states its own "
              "and one given must agree",
              &takeControl<&engine::ControlContents::strSampFreq>, &checkSampFreq},
    OptionDef{"--points", "", "N", modesAll, "",
              "FFT points (with --average the segment length N): 1024, 2048, 4096, 8192, 16384, 32768 or 65536 "
              "(default 1024)",
              &takePoints},
    OptionDef{"--range", "", "TEXT", modesAll, "",
              "converter input range in volts, plus or minus (default 5): c counts are c x range / 32767 V",
              &takeControl<&engine::ControlContents::strMaxVolt>, &checkRange},
    OptionDef{"--band", "", "", modeClassic, "", "band-pass on (default)",
              &takeSwitch<1, &BatchOptions::controls, &engine::ControlContents::intBand>},
    OptionDef{"--no-band", "", "", modeClassic, "", "band-pass off",
              &takeSwitch<0, &BatchOptions::controls, &engine::ControlContents::intBand>},
    OptionDef{"--low", "", "TEXT", modeClassic, "", "lower band limit in Hz, exclusive (default 200)",
              &takeControl<&engine::ControlContents::strLowFreq>, &checkBand},
    OptionDef{"--high", "", "TEXT", modeClassic, "", "upper band limit in Hz, exclusive (default 800)",
              &takeControl<&engine::ControlContents::strHighFreq>},
    OptionDef{"--wave", "", "", modeClassic, "", "Wave file output on (default)",
              &takeSwitch<1, &BatchOptions::controls, &engine::ControlContents::intWave>},
    OptionDef{"--no-wave", "", "", modeClassic, "", "Wave file output off",
              &takeSwitch<0, &BatchOptions::controls, &engine::ControlContents::intWave>},
    OptionDef{"--window", "", "NAME", modeAverage, "",
              "rect, hann, hamming, blackmanharris, flattop or blackmanharris7 (default hann; with --metrics "
              "blackmanharris7)",
              &takeWindow},
    OptionDef{"--overlap", "", "P", modeAverage, "",
              "percent of a segment shared with the next, 0 <= P < 100, with or without a % sign (default 50)",
              &takeText<&BatchOptions::strOverlap>, &checkOverlap},
    OptionDef{"--averaging", "", "NAME", modeAverage, "",
              "mean (power average) or peak (largest per line) (default mean)", &takeAveraging},
    OptionDef{"--detrend", "", "NAME", modeAverage, "", "none or mean (each segment's mean removed) (default none)",
              &takeDetrend},
    OptionDef{"--units", "", "NAME", modeAverage, "",
              "pp, peak, rms, dbv (dB re 1 V rms), psd (V^2/Hz) or asd (V/sqrt(Hz)) (default rms)", &takeUnits},
    OptionDef{"--column", "", "N|NAME", modeAverage, "",
              "the column of delimited text, by number from 1 or by its heading", &takeText<&BatchOptions::strColumn>,
              &checkColumn},
    OptionDef{"--channel", "", "N", modeAverage, "", "the channel of a sound file, from 1 (default 1)",
              &takeText<&BatchOptions::strChannel>, &checkChannel},
    OptionDef{"--metrics", "", "", modeAverage, "",
              "also the converter figures of the recorded tone (SNR, THD, SINAD, ENOB, SFDR, the noise floor and "
              "the harmonics) in NAME_METRICS.csv",
              &takeSwitch<true, &BatchOptions::request, &engine::AverageRequest::blnMetrics>, &checkMetrics},
    OptionDef{"--fundamental", "", "HZ", modeAverage, "--metrics",
              "the tone's frequency for the figures (default: the highest line above 0 Hz)",
              &takeText<&BatchOptions::strFundamental>, &checkFundamental},
    OptionDef{"--output-dir", "", "DIR", modeAverage, "",
              "write the outputs into the folder DIR (which must exist) instead of beside each FILE",
              &takeText<&BatchOptions::strOutputDir>, &checkOutputDir},
    OptionDef{"--jobs", "-j", "N", modesAll, "",
              "analyse N files at once (default 1; 0 for every core); the output is the same", &takeJobs},
    OptionDef{"--threads", "", "N", modeAverage, "",
              "threads of one file's analysis (default 0: the cores -j leaves; never more); the output is the same",
              &takeThreads},
    OptionDef{"--files-from", "", "LIST", modesAll, "",
              "also analyse the files listed in LIST, one path a line (\"-\": standard input)", &takeFilesFrom},
    OptionDef{"--help", "", "", modesAll, "", "show this text", &takeSwitch<true, &BatchOptions::blnHelp>},
    OptionDef{"--version", "", "", modesAll, "", "show the version", &takeSwitch<true, &BatchOptions::blnVersion>},
};

} // namespace

std::span<const OptionDef> optionTable()
{
    return optionDefs;
}

const OptionDef* findOption(std::string_view strName)
{
    for (const OptionDef& option : optionDefs) {
        if (strName == option.strName || (!option.strAlias.empty() && strName == option.strAlias)) {
            return &option;
        }
    }
    return nullptr;
}

} // namespace kestrix::cli
