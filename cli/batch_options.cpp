// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch_options.h"

#include <algorithm>
#include <charconv>
#include <map>

namespace kestrix::cli {

const std::string_view strUsage =
    R"(Usage: kestrix-batch [OPTIONS] FILE...

Analyses each FILE (one converter count per line) exactly as the Kestrix window does and writes the
output files beside it: NAME_SPC.csv always; with the band-pass NAME_BAND_SPC.csv and
NAME_BAND_WAVE.csv; with Wave output NAME_BAND.wav (band on) and NAME.wav.

Options (defaults are the window's start-up state):
  --fs TEXT          sampling frequency in Hz (default 1024)
  --points N         FFT points: 1024, 2048, 4096, 8192, 16384, 32768 or 65536 (default 1024)
  --range TEXT       converter input range in volts, plus or minus (default 5)
  --band, --no-band  band-pass on or off (default on)
  --low TEXT         lower band limit in Hz, exclusive (default 200)
  --high TEXT        upper band limit in Hz, exclusive (default 800)
  --wave, --no-wave  Wave file output on or off (default on)
  -j N, --jobs N     analyse N files at once (default 1; 0 for every core); the output is the same
  --files-from LIST  also analyse the files listed in LIST, one path a line ("-": standard input)
  --help             show this text
  --version          show the version

With --average each FILE (text or a sound file) is analysed whole, its segments' spectra averaged,
into NAME_AVG_SPC.csv; see kestrix-batch --average --help.

Each file written is printed on standard output, one path a line, in FILE order. Exit status: 0 all
analysed, 1 an entry or a file refused, 2 usage error, 3 a failure; the highest met.
)";

namespace {

// The most files analysed at once that -j takes: far beyond any machine's cores, and a bound on the
// threads a typing error can ask for.
constexpr int lngMaxJobs = 1024;

bool parseJobs(std::string_view strValue, int& lngJobs)
{
    const char* const pchEnd = strValue.data() + strValue.size();
    const auto result = std::from_chars(strValue.data(), pchEnd, lngJobs);
    return result.ec == std::errc() && result.ptr == pchEnd && lngJobs >= 0 && lngJobs <= lngMaxJobs;
}

class OptionParser
{
public:
    explicit OptionParser(std::span<const std::string> strArgs) : strArgs(strArgs) {}

    std::optional<BatchOptions> parse(std::string& strError);

private:
    bool parseOne(std::string strArg, std::string& strError);
    std::optional<std::string> takeValue(const std::string& strOption, const std::optional<std::string>& strInline,
                                         std::string& strError);

    std::span<const std::string> strArgs;
    std::size_t i = 0;
    BatchOptions options;
};

std::optional<std::string> OptionParser::takeValue(const std::string& strOption,
                                                   const std::optional<std::string>& strInline, std::string& strError)
{
    if (strInline) {
        return strInline;
    }
    if (i + 1 >= strArgs.size()) {
        strError = strOption + " needs a value";
        return std::nullopt;
    }
    return strArgs[++i];
}

// One option (strArg starts with "-"); false with strError set when it is not understood.
bool OptionParser::parseOne(std::string strArg, std::string& strError)
{
    std::optional<std::string> strInline;
    if (const auto lngEquals = strArg.find('='); lngEquals != std::string::npos && strArg.starts_with("--")) {
        strInline = strArg.substr(lngEquals + 1);
        strArg.resize(lngEquals);
    } else if (strArg.starts_with("-j") && strArg.size() > 2) {
        strInline = strArg.substr(2); // -j4
        strArg = "-j";
    }
    const std::map<std::string, std::string*> valueOptions = {{"--fs", &options.controls.strSampFreq},
                                                              {"--range", &options.controls.strMaxVolt},
                                                              {"--low", &options.controls.strLowFreq},
                                                              {"--high", &options.controls.strHighFreq},
                                                              {"--points", &options.controls.strNumSamp}};
    const std::map<std::string, std::pair<int*, int>> switchOptions = {{"--band", {&options.controls.intBand, 1}},
                                                                       {"--no-band", {&options.controls.intBand, 0}},
                                                                       {"--wave", {&options.controls.intWave, 1}},
                                                                       {"--no-wave", {&options.controls.intWave, 0}}};
    if (const auto option = valueOptions.find(strArg); option != valueOptions.end()) {
        const auto strValue = takeValue(strArg, strInline, strError);
        if (strValue) {
            *option->second = *strValue;
        }
        return strValue.has_value();
    }
    if (strArg == "-j" || strArg == "--jobs") {
        const auto strValue = takeValue(strArg, strInline, strError);
        if (strValue && !parseJobs(*strValue, options.lngJobs)) {
            strError = strArg + " needs a whole number from 0 to " + std::to_string(lngMaxJobs);
            return false;
        }
        return strValue.has_value();
    }
    if (strArg == "--files-from") {
        const auto strValue = takeValue(strArg, strInline, strError);
        if (strValue) {
            options.sources.push_back({true, *strValue});
        }
        return strValue.has_value();
    }
    if (const auto flag = switchOptions.find(strArg); flag != switchOptions.end() && !strInline) {
        *flag->second.first = flag->second.second;
    } else if (strArg == "--help" && !strInline) {
        options.blnHelp = true;
    } else if (strArg == "--version" && !strInline) {
        options.blnVersion = true;
    } else {
        strError = "unknown option " + strArgs[i];
        return false;
    }
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
    if (std::find(engine::strPointCounts.begin(), engine::strPointCounts.end(), options.controls.strNumSamp) ==
        engine::strPointCounts.end()) {
        strError = "--points must be one of 1024, 2048, 4096, 8192, 16384, 32768, 65536";
        return std::nullopt;
    }
    if (options.sources.empty() && !options.blnHelp && !options.blnVersion) {
        strError = "no FILE given";
        return std::nullopt;
    }
    return std::move(options);
}

} // namespace

std::optional<BatchOptions> parseOptions(std::span<const std::string> strArgs, std::string& strError)
{
    return OptionParser(strArgs).parse(strError);
}

} // namespace kestrix::cli
