// SPDX-License-Identifier: GPL-3.0-or-later
#include "option_table.h"

#include "engine/recordings/engineering_unit.h"
#include "engine/recordings/measured_quantity.h"
#include "engine/recordings/segment_pipeline.h"
#include "engine/run/number_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string>
#include <utility>
#include <vector>

namespace kestrix::cli {

namespace {

constexpr Modes modeClassic = static_cast<Modes>(Mode::Classic);
constexpr Modes modeAverage = static_cast<Modes>(Mode::Average);
constexpr Modes modeTransfer = static_cast<Modes>(Mode::Transfer);
constexpr Modes modeSegments = modeAverage | modeTransfer; // the analyses of overlapping windowed segments
constexpr Modes modeOctave = static_cast<Modes>(Mode::Octave);
// The analyses of whole recordings, which read every form of recording.
constexpr Modes modesWhole = modeAverage | modeOctave;

// The most files analysed at once that -j takes: far beyond any machine's cores, and a bound on the
// threads a typing error can ask for.
constexpr int lngMaxJobs = 1024;

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

std::string takeOctave(BatchOptions& options, const std::string& strValue)
{
    for (const std::int32_t lngBands : engine::lngBandsPerOctaveChoices) {
        if (strValue == std::to_string(lngBands)) {
            options.mode = Mode::Octave;
            options.octave.settings.lngBandsPerOctave = lngBands;
            return {};
        }
    }
    return "not one of 1, 3, 6, 12, 24";
}

std::string takeWeighting(BatchOptions& options, const std::string& strValue)
{
    using engine::FrequencyWeighting;
    const std::pair<std::string_view, FrequencyWeighting> names[] = {
        {"A", FrequencyWeighting::A}, {"C", FrequencyWeighting::C}, {"Z", FrequencyWeighting::Z}};
    return takeChoice(strValue, names, options.octave.settings.weighting);
}

std::string takeTimeWeighting(BatchOptions& options, const std::string& strValue)
{
    using engine::TimeWeighting;
    const std::pair<std::string_view, TimeWeighting> names[] = {{"F", TimeWeighting::Fast}, {"S", TimeWeighting::Slow}};
    TimeWeighting chosen = TimeWeighting::Fast;
    std::string strReason = takeChoice(strValue, names, chosen);
    if (strReason.empty()) {
        options.octave.settings.timeWeighting = chosen;
    }
    return strReason;
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

std::string takeQuantity(BatchOptions& options, const std::string& strValue)
{
    using engine::Quantity;
    const std::pair<std::string_view, Quantity> names[] = {{"acceleration", Quantity::Acceleration},
                                                           {"velocity", Quantity::Velocity},
                                                           {"displacement", Quantity::Displacement}};
    return takeChoice(strValue, names, options.request.quantity.quantity);
}

std::string takeCalibration(BatchOptions& options, const std::string& strValue)
{
    const std::size_t lngSeparator = strValue.find(chrValueSeparator);
    const std::string strLevel = strValue.substr(0, lngSeparator);
    const engine::UnitValueReading reading = engine::parseUnitValue(strLevel);
    if (reading.refusal) {
        return engine::unitTextRefusalText("calibration level", strLevel, *reading.refusal);
    }
    options.calibrationLevel = reading.value;
    options.strCalibrationFile = strValue.substr(lngSeparator + 1);
    // The calibrator's recording is read as the averaged analysis reads it; after another analysis's
    // switch --calibrate is refused as not applying to it.
    if (options.mode == Mode::Classic) {
        options.mode = Mode::Average;
    }
    return {};
}

const std::array optionDefs = {
    OptionDef{"--average", "", "", modeClassic | modeAverage, "",
              "the averaged analysis of whole recordings (kestrix-batch --average --help)",
              &takeSwitch<Mode::Average, &BatchOptions::mode>},
    OptionDef{"--transfer", "", "", modeClassic | modeTransfer, "",
              "the frequency response between two signals of each recording (kestrix-batch --transfer --help)",
              &takeSwitch<Mode::Transfer, &BatchOptions::mode>},
    OptionDef{"--octave", "", "B", modeClassic | modeOctave, "",
              "whole recordings in fractional-octave bands, B bands an octave: 1, 3, 6, 12 or 24 "
              "(kestrix-batch --octave 3 --help)",
              &takeOctave},
    OptionDef{"--fs", "", "TEXT", modesAll, "",
              "sampling frequency in Hz (default 1024); with --average, --transfer or --octave for text, a sound "
              "file states its own and one given must agree",
              &takeControl<&engine::ControlContents::strSampFreq>, &checkSampFreq},
    OptionDef{"--points", "", "N", modeClassic | modeSegments, "",
              "FFT points (with --average or --transfer the segment length N): 1024, 2048, 4096, 8192, 16384, "
              "32768 or 65536 (default 1024)",
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
    OptionDef{"--window", "", "NAME", modeSegments, "",
              "rect, hann, hamming, blackmanharris, flattop or blackmanharris7 (default hann; with --metrics "
              "blackmanharris7)",
              &takeWindow},
    OptionDef{"--overlap", "", "P", modeSegments, "",
              "percent of a segment shared with the next, 0 <= P < 100, with or without a % sign (default 50)",
              &takeText<&BatchOptions::strOverlap>, &checkOverlap},
    OptionDef{"--averaging", "", "NAME", modeSegments, "",
              "mean (power average) or peak (largest per line) (default mean)", &takeAveraging},
    OptionDef{"--detrend", "", "NAME", modeSegments, "", "none or mean (each segment's mean removed) (default none)",
              &takeDetrend},
    OptionDef{"--units", "", "NAME", modeAverage, "",
              "pp, peak, rms, dbv (dB re 1 V rms), psd (V^2/Hz) or asd (V/sqrt(Hz)) (default rms)", &takeUnits},
    OptionDef{"--weighting", "", "A|C|Z", modeOctave, "",
              "the frequency weighting of IEC 61672-1 applied before the bands and the levels: A, C or Z (flat) "
              "(default Z)",
              &takeWeighting},
    OptionDef{"--time-weighting", "", "F|S", modeOctave, "",
              "with F (125 ms) or S (1 s) the overall levels gain Lmax and Lmin (default none)", &takeTimeWeighting},
    OptionDef{"--from", "", "HZ", modeOctave, "", "the bands whose upper edge lies above HZ, up to fs / 2 (default 20)",
              &takeText<&BatchOptions::strFrom>, &checkFrom},
    OptionDef{"--column", "", "N|NAME", modesWhole, "",
              "the column of delimited text, by number from 1 or by its heading", &takeText<&BatchOptions::strColumn>,
              &checkColumn},
    OptionDef{"--channel", "", "N", modesWhole, "", "the channel of a sound file, from 1 (default 1)",
              &takeText<&BatchOptions::strChannel>, &checkChannel},
    OptionDef{"--metrics", "", "", modeAverage, "",
              "also the converter figures of the recorded tone (SNR, THD, SINAD, ENOB, SFDR, the noise floor and "
              "the harmonics) in NAME_METRICS.csv",
              &takeSwitch<true, &BatchOptions::request, &engine::AverageRequest::blnMetrics>, &checkMetrics},
    OptionDef{"--fundamental", "", "HZ", modeAverage, "--metrics",
              "the tone's frequency for the figures (default: the highest line above 0 Hz)",
              &takeText<&BatchOptions::strFundamental>, &checkFundamental},
    OptionDef{"--sensitivity", "", "TEXT", modesWhole, "",
              "the sensor's sensitivity, volts per engineering unit (EU): 100 mV/g, 10.2 mV/(m/s^2), 50 mV/Pa; "
              "every value and unit then in the EU, levels in dB re its ISO 1683 reference (default: volts)",
              &takeText<&BatchOptions::strSensitivity>, &checkSensitivity},
    OptionDef{"--quantity", "", "NAME", modeAverage, "--sensitivity",
              "acceleration, velocity (mm/s, each line / 2 pi f) or displacement (um, / (2 pi f)^2), from an "
              "acceleration's sensitivity (per g or m/s^2)",
              &takeQuantity},
    OptionDef{"--highpass", "", "HZ", modeAverage, "",
              "with --quantity velocity and displacement, lines below HZ read 0 (default 10)",
              &takeText<&BatchOptions::strHighPass>, &checkHighPass},
    OptionDef{"--db-ref", "", "VALUE", modeAverage, "",
              "0 dB of the dB units, in the unit shown (default ISO 1683's: 20 uPa, 1 um/s^2, 1 nm/s, 1 pm, 1 V)",
              &takeText<&BatchOptions::strDbRef>, &checkDbRef},
    OptionDef{"--levels", "", "", modesWhole, "",
              "also, as \"name,value,unit\" lines in NAME_LEVELS.csv: with --average the condition measures (rms, "
              "peak, peak-to-peak, crest factor, kurtosis, mean) and the band RMS; with --octave the overall levels "
              "(LZeq, LZE, LZpeak, with a time weighting LZFmax and LZFmin ..., named by the weighting's letter)",
              &takeSwitch<true, &BatchOptions::request, &engine::AverageRequest::blnLevels>},
    OptionDef{"--band-rms", "", "LO HI", modeAverage, "--levels",
              "the band RMS's band in Hz (default 10 to 1000 for velocity, else 0 to fs/2.56)",
              &takeText<&BatchOptions::strBandRms>, &checkBandRms, 2},
    OptionDef{"--envelope", "", "LO HI", modeAverage, "",
              "also the averaged spectrum of the envelope of the band LO to HI Hz in NAME_ENV_SPC.csv",
              &takeText<&BatchOptions::strEnvelope>, &checkEnvelope, 2},
    OptionDef{"--calibrate", "", "LEVEL FILE", modeClassic | modeAverage, "",
              "print the sensitivity that makes the calibrator's tone recorded in FILE read LEVEL (rms: 1 g, 94 dB "
              "SPL, 1 Pa), FILE read with the points, fs, range, column and channel given",
              &takeCalibration, nullptr, 2},
    OptionDef{"--output-dir", "", "DIR", modeAverage, "",
              "write the outputs into the folder DIR (which must exist) instead of beside each FILE",
              &takeText<&BatchOptions::strOutputDir>, &checkOutputDir},
    OptionDef{"--input", "", "N|NAME", modeTransfer, "",
              "the input: a column of delimited text by number from 1 or by heading, or a channel of a sound file "
              "by number",
              &takeText<&BatchOptions::strInput>, &checkInput},
    OptionDef{"--output", "", "N|NAME", modeTransfer, "", "the output, as the input",
              &takeText<&BatchOptions::strOutput>, &checkOutput},
    OptionDef{"--input-sensitivity", "", "TEXT", modeTransfer, "",
              "the input sensor's sensitivity, \"22.5 mV/N\": the input in that unit (default volts)",
              &takeText<&BatchOptions::strInputSensitivity>, &checkInputSensitivity},
    OptionDef{"--output-sensitivity", "", "TEXT", modeTransfer, "",
              "the output sensor's sensitivity, \"100 mV/g\": H then in g/N (default volts)",
              &takeText<&BatchOptions::strOutputSensitivity>, &checkOutputSensitivity},
    OptionDef{"--coherence-threshold", "", "G", modeTransfer, "",
              "the coherence from which a line's phase is trusted and unwrapped, 0 to 1 (default 0.5)",
              &takeText<&BatchOptions::strThreshold>, &checkThreshold},
    OptionDef{"--jobs", "-j", "N", modesAll, "",
              "analyse N files at once (default 1; 0 for every core); the output is the same", &takeJobs},
    OptionDef{"--threads", "", "N", modeSegments | modeOctave, "",
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
