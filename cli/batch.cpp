#include "batch.h"

#include "engine/analysis.h"
#include "engine/analysis_parameters.h"
#include "engine/field_checks.h"
#include "engine/global_define.h"
#include "kestrix_version.h"
#include "platform/failure.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <optional>

namespace kestrix::cli {

namespace {

constexpr std::string_view strProgram = "kestrix-batch";

constexpr std::string_view strUsage =
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
  --help             show this text
  --version          show the version

With --average each FILE (text or a sound file) is analysed whole, its segments' spectra averaged,
into NAME_AVG_SPC.csv; see kestrix-batch --average --help.

Each file written is printed on standard output, one path a line. Exit status: 0 all analysed,
1 an entry or a file refused, 2 usage error, 3 a failure; the highest met.
)";

struct BatchOptions
{
    engine::ControlContents controls;
    std::vector<std::string> strFiles;
    bool blnHelp = false;
    bool blnVersion = false;
};

// Parses the arguments; the usage error's text on failure.
std::optional<BatchOptions> parseOptions(std::span<const std::string> strArgs, std::string& strError)
{
    BatchOptions options;
    bool blnOptionsEnded = false;
    for (std::size_t i = 0; i < strArgs.size(); ++i) {
        std::string strArg = strArgs[i];
        if (blnOptionsEnded || strArg.size() < 2 || strArg.compare(0, 2, "--") != 0) {
            if (!blnOptionsEnded && strArg.size() > 1 && strArg[0] == '-') {
                strError = "unknown option " + strArg;
                return std::nullopt;
            }
            options.strFiles.push_back(strArg);
            continue;
        }
        if (strArg == "--") {
            blnOptionsEnded = true;
            continue;
        }
        std::optional<std::string> strInlineValue;
        if (const auto lngEquals = strArg.find('='); lngEquals != std::string::npos) {
            strInlineValue = strArg.substr(lngEquals + 1);
            strArg.resize(lngEquals);
        }
        const auto takeValue = [&]() -> std::optional<std::string> {
            if (strInlineValue) {
                return strInlineValue;
            }
            if (i + 1 >= strArgs.size()) {
                strError = strArg + " needs a value";
                return std::nullopt;
            }
            return strArgs[++i];
        };
        const std::map<std::string, std::string*> valueOptions = {{"--fs", &options.controls.strSampFreq},
                                                                  {"--range", &options.controls.strMaxVolt},
                                                                  {"--low", &options.controls.strLowFreq},
                                                                  {"--high", &options.controls.strHighFreq},
                                                                  {"--points", &options.controls.strNumSamp}};
        const std::map<std::string, std::pair<int*, int>> switchOptions = {
            {"--band", {&options.controls.intBand, 1}},
            {"--no-band", {&options.controls.intBand, 0}},
            {"--wave", {&options.controls.intWave, 1}},
            {"--no-wave", {&options.controls.intWave, 0}}};
        if (const auto option = valueOptions.find(strArg); option != valueOptions.end()) {
            const auto strValue = takeValue();
            if (!strValue) {
                return std::nullopt;
            }
            *option->second = *strValue;
        } else if (const auto flag = switchOptions.find(strArg); flag != switchOptions.end() && !strInlineValue) {
            *flag->second.first = flag->second.second;
        } else if (strArg == "--help" && !strInlineValue) {
            options.blnHelp = true;
        } else if (strArg == "--version" && !strInlineValue) {
            options.blnVersion = true;
        } else {
            strError = "unknown option " + strArgs[i];
            return std::nullopt;
        }
    }
    if (std::find(engine::strPointCounts.begin(), engine::strPointCounts.end(), options.controls.strNumSamp) ==
        engine::strPointCounts.end()) {
        strError = "--points must be one of 1024, 2048, 4096, 8192, 16384, 32768, 65536";
        return std::nullopt;
    }
    if (options.strFiles.empty() && !options.blnHelp && !options.blnVersion) {
        strError = "no FILE given";
        return std::nullopt;
    }
    return options;
}

// Prints a message on the error stream, CR LF as plain line ends.
void printMessage(std::ostream& strErr, std::string_view strText)
{
    std::string strLines(strText);
    for (std::size_t lngAt = strLines.find("\r\n"); lngAt != std::string::npos; lngAt = strLines.find("\r\n", lngAt)) {
        strLines.erase(lngAt, 1);
        ++lngAt;
    }
    strErr << strLines << '\n';
}

// The window's field checks on the two checked entries; false after a refusal.
bool checkFields(engine::ControlContents& controls, std::ostream& strErr)
{
    for (auto [check, strText] : {std::pair{&engine::checkSampFreq, &controls.strSampFreq},
                                  std::pair{&engine::checkMaxVolt, &controls.strMaxVolt}}) {
        const engine::FieldCheck result = check(*strText);
        if (!result.accepted()) {
            strErr << result.strMessage << '\n';
            return false;
        }
        *strText = result.strNormalized;
    }
    return true;
}

void reportFailure(std::ostream& strErr, const std::string& strFile, const KestrixError& failure)
{
    strErr << strProgram << ": " << strFile << ": error " << failure.number() << " (" << failure.source()
           << "): " << failure.description() << '\n';
}

} // namespace

int runBatch(std::span<const std::string> strArgs, std::ostream& strOut, std::ostream& strErr,
             platform::TextFiles& files)
{
    std::string strError;
    auto options = parseOptions(strArgs, strError);
    if (!options) {
        strErr << strProgram << ": " << strError << "\nTry 'kestrix-batch --help'.\n";
        return lngExitUsage;
    }
    if (options->blnHelp) {
        strOut << strUsage;
        return lngExitAnalysed;
    }
    if (options->blnVersion) {
        strOut << strProgram << ' ' << strKestrixVersion << '\n';
        return lngExitAnalysed;
    }
    engine::ControlContents& controls = options->controls;
    if (!checkFields(controls, strErr)) {
        return lngExitRefused;
    }
    std::optional<engine::AnalysisParameters> parameters;
    try {
        const engine::ParameterReading reading = engine::readAnalysisParameters(controls);
        if (!reading.strRefusal.empty()) {
            strErr << reading.strRefusal << '\n';
            return lngExitRefused;
        }
        parameters = reading.params;
    } catch (const KestrixError& failure) {
        reportFailure(strErr, "parameters", failure);
        return lngExitFailed;
    }

    const double dblPI = engine::computePI();
    // Every file is printed as soon as it is complete, so a later failure leaves a true list.
    const engine::FileWrittenHandler printPath = [&strOut](const std::string& strPath) {
        strOut << strPath << '\n' << std::flush;
    };
    std::map<std::string, std::string> strFileOfBase;
    int lngStatus = lngExitAnalysed;
    for (const std::string& strGiven : options->strFiles) {
        // The outputs lie beside the input: a bare name must name a file in the working folder.
        std::error_code ec;
        const std::filesystem::path pathAbsolute = std::filesystem::absolute(strGiven, ec);
        const std::string strFile = ec ? strGiven : pathAbsolute.lexically_normal().string();
        const std::string strBase = engine::outputBaseName(files, strFile);
        if (const auto earlier = strFileOfBase.find(strBase); earlier != strFileOfBase.end()) {
            strErr << strProgram << ": " << strGiven << ": refused: its output files (" << strBase
                   << "_SPC.csv ...) would replace those of " << earlier->second << '\n';
            lngStatus = std::max(lngStatus, static_cast<int>(lngExitRefused));
            continue;
        }
        strFileOfBase.emplace(strBase, strGiven);
        try {
            const engine::AnalysisResult result = engine::analyseFile(*parameters, strFile, files, dblPI, printPath);
            if (!result.analysed()) {
                printMessage(strErr, result.strRefusal);
                lngStatus = std::max(lngStatus, static_cast<int>(lngExitRefused));
            }
        } catch (const KestrixError& failure) {
            reportFailure(strErr, strGiven, failure);
            lngStatus = std::max(lngStatus, static_cast<int>(lngExitFailed));
        } catch (const std::bad_alloc&) {
            reportFailure(strErr, strGiven, KestrixError(err::lngOutOfMemory, "Out of memory"));
            lngStatus = std::max(lngStatus, static_cast<int>(lngExitFailed));
        }
    }
    return lngStatus;
}

} // namespace kestrix::cli
