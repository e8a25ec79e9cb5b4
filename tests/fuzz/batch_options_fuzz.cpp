// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the batch's option parser and its entries' checks. The input is the argument list, one argument
// a line. The properties:
// - an accepted option line gives the settings it names: each option's last value in its field (as
//   written, or as the choice of that name), the last of each pair of switches, the analysis asked
//   for, and the FILEs and lists in their order; the line written back from what was accepted is
//   accepted again with the same settings;
// - a refused line is refused for a reason: an unknown option, a value missing, given to a switch or
//   not understood, an option of another analysis or without the one it needs, or no FILE; the
//   message names the argument at fault;
// - the entries' checks of an accepted line name the option they refuse.

#include "cli/batch_options.h"
#include "cli/option_table.h"
#include "engine/run/analysis_parameters.h"
#include "fuzz/fuzz_support.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <optional>

namespace {

using namespace kestrix;
using fuzz::require;

// What the model takes from the arguments, without the parser.
struct ModelLine
{
    std::map<std::string, std::string> strLast; // long name -> last value (switches: "")
    std::vector<std::pair<bool, std::string>> sources;
    int intBand = 1;
    int intWave = 1;
    std::string strFailedAt; // the argument the model refuses, or empty
    bool blnFailed = false;
    // The options before it, as typed and by their long names: the parser may refuse one of them first
    // (a value not among its choices, an option of the other analysis).
    std::vector<std::string> strOptionsBefore;
};

ModelLine modelOf(const std::vector<std::string>& strArgs)
{
    ModelLine model;
    bool blnEnded = false;
    for (std::size_t i = 0; i < strArgs.size(); ++i) {
        const std::string& strArg = strArgs[i];
        if (blnEnded || strArg.size() < 2 || strArg[0] != '-') {
            model.sources.emplace_back(false, strArg);
            continue;
        }
        if (strArg == "--") {
            blnEnded = true;
            continue;
        }
        std::string strName = strArg;
        std::optional<std::string> strInline;
        if (strArg.starts_with("--") && strArg.find('=') != std::string::npos) {
            strName = strArg.substr(0, strArg.find('='));
            strInline = strArg.substr(strArg.find('=') + 1);
        } else if (strArg[1] != '-' && strArg.size() > 2 && cli::findOption(strArg.substr(0, 2)) != nullptr &&
                   !cli::findOption(strArg.substr(0, 2))->strValue.empty()) {
            strName = strArg.substr(0, 2);
            strInline = strArg.substr(2);
        }
        const cli::OptionDef* option = cli::findOption(strName);
        // An option of two values takes both from the arguments that follow, never with "=".
        const auto lngFollowing = static_cast<std::size_t>(option == nullptr || option->strValue.empty() ? 0
                                                           : strInline                                   ? 0
                                                                       : option->intValues);
        if (option == nullptr || (option->strValue.empty() && strInline) || (option->intValues == 2 && strInline) ||
            (lngFollowing > 0 && i + lngFollowing >= strArgs.size())) {
            model.blnFailed = true;
            model.strFailedAt = strName;
            return model;
        }
        model.strOptionsBefore.push_back(strName);
        model.strOptionsBefore.emplace_back(option->strName);
        std::string strValue = strInline ? *strInline : "";
        for (std::size_t v = 0; v < lngFollowing; ++v) {
            strValue += (v > 0 ? std::string(1, cli::chrValueSeparator) : std::string()) + strArgs[++i];
        }
        const std::string strLong(option->strName);
        model.strLast[strLong] = strValue;
        model.intBand = strLong == "--band" ? 1 : strLong == "--no-band" ? 0 : model.intBand;
        model.intWave = strLong == "--wave" ? 1 : strLong == "--no-wave" ? 0 : model.intWave;
        if (strLong == "--files-from") {
            model.sources.emplace_back(true, strValue);
        }
    }
    return model;
}

// The text a value option's setting holds now, as the option names it; nothing for an option without
// one such setting (switches, -j, lists).
std::optional<std::optional<std::string>> settingOf(const cli::BatchOptions& options, std::string_view strName)
{
    const engine::AverageRequest& request = options.request;
    const std::map<std::string_view, std::optional<std::string>> strSettings = {
        {"--fs", options.controls.strSampFreq},
        {"--range", options.controls.strMaxVolt},
        {"--points", options.controls.strNumSamp},
        {"--low", options.controls.strLowFreq},
        {"--high", options.controls.strHighFreq},
        {"--overlap", options.strOverlap},
        {"--column", options.strColumn},
        {"--channel", options.strChannel},
        {"--fundamental", options.strFundamental},
        {"--output-dir", options.strOutputDir},
        {"--input", options.strInput},
        {"--output", options.strOutput},
        {"--input-sensitivity", options.strInputSensitivity},
        {"--output-sensitivity", options.strOutputSensitivity},
        {"--coherence-threshold", options.strThreshold},
        {"--window", std::string(engine::windowName(request.settings.window))},
        {"--units", std::string(engine::unitsName(request.units))},
        {"--averaging", request.settings.averaging == engine::Averaging::Mean ? "mean" : "peak"},
        {"--detrend", request.settings.detrend == engine::Detrend::Mean ? "mean" : "none"},
    };
    const auto setting = strSettings.find(strName);
    if (setting == strSettings.end()) {
        return std::nullopt;
    }
    return setting->second;
}

void checkAccepted(const cli::BatchOptions& options, const ModelLine& model, std::string_view strSubject)
{
    require(!model.blnFailed, "a line the model refuses is refused", strSubject);
    for (const auto& [strName, strValue] : model.strLast) {
        if (const std::optional<std::optional<std::string>> strSetting = settingOf(options, strName)) {
            require(*strSetting == strValue, "each option's setting is its last value", strName + " " + strValue);
        }
    }
    if (const auto jobs = model.strLast.find("--jobs"); jobs != model.strLast.end()) {
        int lngJobs = -1;
        std::from_chars(jobs->second.data(), jobs->second.data() + jobs->second.size(), lngJobs);
        require(options.lngJobs == lngJobs, "-j gives the number of jobs typed", jobs->second);
    }
    require(options.controls.intBand == model.intBand && options.controls.intWave == model.intWave,
            "the last of each pair of switches counts", strSubject);
    // --calibrate reads its recording as the averaged analysis does.
    require((options.mode == cli::Mode::Average) ==
                (model.strLast.contains("--average") || model.strLast.contains("--calibrate")),
            "--average (or --calibrate) chooses the averaged analysis", strSubject);
    require((options.mode == cli::Mode::Transfer) == model.strLast.contains("--transfer"),
            "--transfer chooses the frequency response", strSubject);
    require(options.request.blnMetrics == model.strLast.contains("--metrics"), "--metrics asks for the figures",
            strSubject);
    require(options.sources.size() == model.sources.size(), "every FILE and list is kept", strSubject);
    for (std::size_t i = 0; i < model.sources.size(); ++i) {
        require(options.sources[i].blnList == model.sources[i].first &&
                    options.sources[i].strText == model.sources[i].second,
                "the FILEs and lists keep their order", model.sources[i].second);
    }
}

// The line written back from what was accepted: every option as typed with its value inline, then the
// FILEs and lists after "--" (lists as --files-from before it).
std::vector<std::string> writtenBack(const cli::BatchOptions& options)
{
    std::vector<std::string> strArgs;
    for (const cli::GivenOption& given : options.given) {
        if (given.option->strName == "--files-from") {
            continue;
        }
        if (given.option->intValues == 2) {
            // Two values: the option, then each of them as an argument of its own.
            const std::size_t lngSeparator = given.strValue.find(cli::chrValueSeparator);
            strArgs.emplace_back(given.option->strName);
            strArgs.push_back(given.strValue.substr(0, lngSeparator));
            strArgs.push_back(given.strValue.substr(lngSeparator + 1));
        } else {
            strArgs.push_back(given.option->strValue.empty()
                                  ? std::string(given.option->strName)
                                  : std::string(given.option->strName) + "=" + given.strValue);
        }
    }
    std::vector<std::string> strFiles;
    for (const cli::FileSourceArg& source : options.sources) {
        if (source.blnList) {
            strArgs.push_back("--files-from=" + source.strText);
        } else {
            strFiles.push_back(source.strText);
        }
    }
    strArgs.emplace_back("--");
    strArgs.insert(strArgs.end(), strFiles.begin(), strFiles.end());
    return strArgs;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pbytData, std::size_t lngSize)
{
    const std::string_view strInput = fuzz::asText(pbytData, lngSize);
    std::vector<std::string> strArgs;
    for (std::size_t lngStart = 0; lngStart <= strInput.size();) {
        const std::size_t lngEnd = std::min(strInput.find('\n', lngStart), strInput.size());
        strArgs.emplace_back(strInput.substr(lngStart, lngEnd - lngStart));
        lngStart = lngEnd + 1;
    }
    const ModelLine model = modelOf(strArgs);
    std::string strError;
    std::optional<cli::BatchOptions> options = cli::parseOptions(strArgs, strError);
    if (!options) {
        require(!strError.empty(), "a refused line says why", strInput);
        const bool blnOptionRefused =
            std::any_of(model.strOptionsBefore.begin(), model.strOptionsBefore.end(),
                        [&](const std::string& strName) { return strError.starts_with(strName + " "); });
        const bool blnNoFile = !model.blnFailed && model.sources.empty() && strError == "no FILE given";
        require((model.blnFailed && strError.find(model.strFailedAt) != std::string::npos) || blnOptionRefused ||
                    blnNoFile,
                "a refusal names the argument at fault", strError);
        return 0;
    }
    checkAccepted(*options, model, strInput);
    if (options->blnHelp || options->blnVersion) {
        return 0;
    }
    const std::vector<std::string> strAgain = writtenBack(*options);
    std::optional<cli::BatchOptions> again = cli::parseOptions(strAgain, strError);
    require(again.has_value(), "the line written back is accepted", strError);
    checkAccepted(*again, modelOf(strAgain), strInput);
    const cli::EntryReport entries = cli::checkEntries(*options);
    require(entries.strRefusal.empty() || entries.strRefusal.starts_with("--"), "an entry's refusal names its option",
            entries.strRefusal);
    return 0;
}
