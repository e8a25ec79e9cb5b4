// SPDX-License-Identifier: GPL-3.0-or-later
// The option table: every option parsed, refused where it does not apply and listed in the help of the
// analyses it applies to, from its one declaration.
#include "cli/batch_options.h"
#include "cli/option_table.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace kestrix {
namespace {

using cli::Mode;

// A value each option takes; a number for the rest.
std::string valueFor(std::string_view strName)
{
    const std::map<std::string_view, std::string> strValues = {{"--points", "2048"},
                                                               {"--jobs", "2"},
                                                               {"--threads", "2"},
                                                               {"--window", "hann"},
                                                               {"--averaging", "peak"},
                                                               {"--detrend", "mean"},
                                                               {"--units", "psd"},
                                                               {"--quantity", "velocity"},
                                                               {"--sensitivity", "100 mV/g"},
                                                               {"--calibrate", "1 g"},
                                                               {"--weighting", "A"},
                                                               {"--time-weighting", "F"},
                                                               {"--octave", "3"},
                                                               {"--input-sensitivity", "100 mV/g"},
                                                               {"--output-sensitivity", "22.5 mV/N"}};
    const auto value = strValues.find(strName);
    return value == strValues.end() ? "1" : value->second;
}

// An argument line with the option (and the values it takes) for the analysis asked for.
std::vector<std::string> lineWith(const cli::OptionDef& option, Mode mode)
{
    std::vector<std::string> strArgs;
    if (mode == Mode::Octave && option.strName != "--octave") {
        strArgs.insert(strArgs.end(), {"--octave", "3"}); // it takes its bands
    } else if (mode != Mode::Classic && mode != Mode::Octave && option.strName != cli::modeOption(mode)) {
        strArgs.emplace_back(cli::modeOption(mode));
    }
    strArgs.emplace_back(option.strName);
    if (!option.strValue.empty()) {
        strArgs.push_back(valueFor(option.strName));
    }
    if (option.intValues == 2) {
        strArgs.emplace_back("2"); // the second value (the calibrator's recording is a file name)
    }
    // The frequency response is between two signals, always named.
    for (const auto& [strSignal, strNumber] : {std::pair{"--input", "2"}, std::pair{"--output", "3"}}) {
        if (mode == Mode::Transfer && option.strName != strSignal) {
            strArgs.insert(strArgs.end(), {strSignal, strNumber});
        }
    }
    if (!option.strNeeds.empty()) {
        strArgs.emplace_back(option.strNeeds);
        if (const cli::OptionDef* needed = cli::findOption(option.strNeeds); !needed->strValue.empty()) {
            strArgs.push_back(valueFor(option.strNeeds));
        }
    }
    // --calibrate analyses the recording it names, and no FILE besides.
    if (option.strName != "--calibrate") {
        strArgs.emplace_back("rec.csv");
    }
    return strArgs;
}

TEST(OptionTable, NamesAreUniqueAndEachIsFoundByItsNameAndAlias)
{
    std::set<std::string_view> strNames;
    for (const cli::OptionDef& option : cli::optionTable()) {
        SCOPED_TRACE(std::string(option.strName));
        EXPECT_TRUE(strNames.insert(option.strName).second);
        EXPECT_EQ(cli::findOption(option.strName), &option);
        if (!option.strAlias.empty()) {
            EXPECT_TRUE(strNames.insert(option.strAlias).second);
            EXPECT_EQ(cli::findOption(option.strAlias), &option);
        }
        EXPECT_NE(option.modes, 0u);
        EXPECT_FALSE(option.strHelp.empty());
    }
}

// Every option is taken by the analyses it applies to, refused by the others with one wording, and
// listed in exactly their help.
TEST(OptionTable, AnOptionIsTakenWhereItAppliesAndRefusedAlikeElsewhere)
{
    for (const cli::OptionDef& option : cli::optionTable()) {
        for (const Mode mode : {Mode::Classic, Mode::Average, Mode::Transfer, Mode::Octave}) {
            if (option.strName == "--average" || option.strName == "--transfer" || option.strName == "--octave") {
                continue; // they choose the analysis
            }
            SCOPED_TRACE(std::string(option.strName) + " " + std::string(cli::modeOption(mode)));
            std::string strError;
            const std::vector<std::string> strArgs = lineWith(option, mode);
            const std::optional<cli::BatchOptions> options = cli::parseOptions(strArgs, strError);
            const std::string strHelp = cli::usageText(mode);
            // As a whole name: "--band" is not "--band-rms".
            const auto listedAfter = [&](const char* strBefore) {
                const std::string strListed = strBefore + std::string(option.strName);
                return strHelp.find(strListed + " ") != std::string::npos ||
                       strHelp.find(strListed + "\n") != std::string::npos;
            };
            const bool blnListed = listedAfter("\n  ") || listedAfter(", "); // not a wrapped line's mention
            if (cli::appliesTo(option.modes, mode)) {
                EXPECT_TRUE(options.has_value()) << strError;
                EXPECT_TRUE(blnListed);
            } else {
                EXPECT_FALSE(options.has_value());
                std::string strOthers; // the analyses it applies to, as the refusal lists them
                for (const Mode other : {Mode::Average, Mode::Transfer, Mode::Octave}) {
                    if (cli::appliesTo(option.modes, other)) {
                        strOthers += (strOthers.empty() ? "" : " or ") + std::string(cli::modeOption(other));
                    }
                }
                EXPECT_EQ(strError,
                          std::string(option.strName) +
                              (mode == Mode::Classic ? " applies only with " + strOthers
                                                     : " does not apply to " + std::string(cli::modeOption(mode))));
                EXPECT_FALSE(blnListed);
            }
        }
    }
}

TEST(OptionTable, AnOptionWithoutTheOneItNeedsIsAUsageError)
{
    for (const cli::OptionDef& option : cli::optionTable()) {
        if (option.strNeeds.empty()) {
            continue;
        }
        SCOPED_TRACE(std::string(option.strName));
        std::vector<std::string> strArgs = lineWith(option, Mode::Average);
        strArgs.erase(std::find(strArgs.begin(), strArgs.end(), option.strNeeds));
        std::string strError;
        EXPECT_FALSE(cli::parseOptions(strArgs, strError).has_value());
        EXPECT_EQ(strError, std::string(option.strName) + " needs " + std::string(option.strNeeds));
    }
}

// A value given inline, attached to a short name or as the next argument is the same value; the last
// of an option given twice counts; after "--" everything is a FILE.
TEST(OptionTable, ValuesInEveryFormAndTheLastOneCounts)
{
    const std::vector<std::vector<std::string>> strLines = {
        {"--average", "--overlap=75", "-j3", "--units", "psd", "a.csv"},
        {"--overlap", "10", "--average", "--jobs=1", "-j", "3", "--units=dbv", "--units=psd", "--overlap=75", "a.csv"}};
    for (const std::vector<std::string>& strArgs : strLines) {
        std::string strError;
        const std::optional<cli::BatchOptions> options = cli::parseOptions(strArgs, strError);
        ASSERT_TRUE(options.has_value()) << strError;
        EXPECT_EQ(options->mode, Mode::Average);
        EXPECT_EQ(options->strOverlap, "75");
        EXPECT_EQ(options->lngJobs, 3);
        EXPECT_EQ(options->request.units, engine::SpectrumUnits::Psd);
        ASSERT_EQ(options->sources.size(), 1u);
        EXPECT_EQ(options->sources[0].strText, "a.csv");
    }
    std::string strError;
    const std::vector<std::string> strArgs = {"--no-wave", "--", "--average", "-j2"};
    const std::optional<cli::BatchOptions> options = cli::parseOptions(strArgs, strError);
    ASSERT_TRUE(options.has_value()) << strError;
    EXPECT_EQ(options->mode, Mode::Classic);
    ASSERT_EQ(options->sources.size(), 2u);
    EXPECT_EQ(options->sources[1].strText, "-j2");
    for (const auto& [strArgsBad, strExpected] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--average", "--window", "hanning", "a"},
              "--window hanning: not one of rect, hann, hamming, "
              "blackmanharris, flattop, blackmanharris7"},
             {{"--band=1", "a"}, "--band takes no value"},
             {{"a", "--fs"}, "--fs needs a value"},
             {{"-x", "a"}, "unknown option -x"},
             {{"-j", "", "a"}, "-j \"\": not a whole number from 0 to 1024"},
             {{"--average", "--threads", "65", "a"}, "--threads 65: not a whole number from 0 to 64"},
             {{"--threads", "2", "a"}, "--threads applies only with --average or --transfer or --octave"}}) {
        SCOPED_TRACE(strExpected);
        EXPECT_FALSE(cli::parseOptions(strArgsBad, strError).has_value());
        EXPECT_EQ(strError, strExpected);
    }
}

// The options that must name a frequency above 0 Hz refuse the same texts in the same words, each naming
// what it sets, and take a frequency above 0 as typed.
TEST(OptionChecks, APositiveFrequencyIsAFiniteNumberAbove0)
{
    struct Case
    {
        std::vector<std::string> strLead;
        std::string strName;
        std::string strWhat;
        double (*taken)(const cli::BatchOptions& options);
    };
    const Case cases[] = {
        {{"--octave", "3"},
         "--from",
         "lower limit",
         [](const cli::BatchOptions& options) { return options.octave.settings.dblFromHz; }},
        {{"--average", "--metrics"},
         "--fundamental",
         "fundamental",
         [](const cli::BatchOptions& options) { return options.request.dblFundamentalHz.value_or(-1.0); }},
    };
    for (const Case& c : cases) {
        for (const std::string strValue : {"0", "-5", "abc", "inf", "nan", "1e400", "", "12.5"}) {
            SCOPED_TRACE(c.strName + " \"" + strValue + "\"");
            std::vector<std::string> strArgs = c.strLead;
            strArgs.insert(strArgs.end(), {c.strName, strValue, "a.csv"});
            std::string strError;
            std::optional<cli::BatchOptions> options = cli::parseOptions(strArgs, strError);
            ASSERT_TRUE(options.has_value()) << strError;
            const cli::EntryReport report = cli::checkEntries(*options);
            if (strValue == "12.5") {
                EXPECT_EQ(report.strRefusal, "");
                EXPECT_EQ(c.taken(*options), 12.5);
            } else {
                EXPECT_EQ(report.strRefusal, c.strName + " " + cli::typedText(strValue) + ": the " + c.strWhat +
                                                 " must be a frequency in Hz above 0");
            }
        }
    }
}

// A band is two frequencies: the band RMS's may start at 0 Hz and be one line wide, the envelope's lies
// above 0 Hz and has a width; each refusal says which.
TEST(OptionChecks, ABandIsTwoFrequenciesInOrder)
{
    using engine::FrequencyBand;
    const std::string strRms = "the band must be two frequencies in Hz, 0 <= LO <= HI";
    const std::string strEnvelope = "the envelope band must be two frequencies in Hz, 0 < LO < HI";
    struct Case
    {
        std::vector<std::string> strArgs;
        std::string strRefusal;             // empty: taken
        std::optional<FrequencyBand> taken; // the band RMS's or the envelope's
    };
    const Case cases[] = {
        {{"--levels", "--band-rms", "0", "1000"}, "", FrequencyBand{0.0, 1000.0}},
        {{"--levels", "--band-rms", "50", "50"}, "", FrequencyBand{50.0, 50.0}},
        {{"--levels", "--band-rms", "-1", "1000"}, "--band-rms -1 1000: " + strRms, std::nullopt},
        {{"--levels", "--band-rms", "1000", "999"}, "--band-rms 1000 999: " + strRms, std::nullopt},
        {{"--levels", "--band-rms", "10", "x"}, "--band-rms 10 x: " + strRms, std::nullopt},
        {{"--envelope", "1000", "4000"}, "", FrequencyBand{1000.0, 4000.0}},
        {{"--envelope", "0", "4000"}, "--envelope 0 4000: " + strEnvelope, std::nullopt},
        {{"--envelope", "4000", "4000"}, "--envelope 4000 4000: " + strEnvelope, std::nullopt},
        {{"--envelope", "inf", "4000"}, "--envelope inf 4000: " + strEnvelope, std::nullopt},
    };
    for (const Case& c : cases) {
        std::vector<std::string> strArgs = {"--average"};
        strArgs.insert(strArgs.end(), c.strArgs.begin(), c.strArgs.end());
        strArgs.emplace_back("a.csv");
        std::string strLine;
        for (const std::string& strArg : strArgs) {
            strLine += strArg + " ";
        }
        SCOPED_TRACE(strLine);
        std::string strError;
        std::optional<cli::BatchOptions> options = cli::parseOptions(strArgs, strError);
        ASSERT_TRUE(options.has_value()) << strError;
        EXPECT_EQ(cli::checkEntries(*options).strRefusal, c.strRefusal);
        if (c.strRefusal.empty()) {
            EXPECT_EQ(c.strArgs[0] == "--envelope" ? options->request.envelope : options->request.bandRms, c.taken);
        }
    }
}

// -j and the threads of each file share the cores: their product never above them, one thread at least.
TEST(OptionTable, ThreadsTakeTheCoresJobsLeave)
{
    struct Case
    {
        int lngCores, lngJobs, lngAsked, lngThreads;
    };
    const Case cases[] = {
        {2, 1, 0, 2}, {8, 2, 0, 4}, {8, 3, 0, 2}, {2, 4, 0, 1}, {8, 1, 3, 3}, {8, 2, 6, 4}, {1, 1, 8, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.lngCores) + " cores, -j " + std::to_string(c.lngJobs) + ", --threads " +
                     std::to_string(c.lngAsked));
        EXPECT_EQ(cli::threadsBesideJobs(c.lngCores, c.lngJobs, c.lngAsked), c.lngThreads);
    }
}

} // namespace
} // namespace kestrix
