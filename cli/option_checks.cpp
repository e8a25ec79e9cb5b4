// SPDX-License-Identifier: GPL-3.0-or-later
#include "option_checks.h"

#include "engine/recordings/engineering_unit.h"
#include "engine/recordings/measured_quantity.h"
#include "engine/run/field_checks.h"
#include "engine/run/number_text.h"
#include "platform/utf8_path.h"

#include <cmath>
#include <filesystem>
#include <limits>
#include <optional>
#include <string_view>
#include <system_error>
#include <tuple>

namespace kestrix::cli {

namespace {

// The most columns and channels a choice may name: far beyond any recording, and within 32 bits.
constexpr double dblMaxColumn = 1e6;

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

// A column (or a signal) as typed: by its number from 1 (digits only), else by its heading; nothing for
// an empty text or a number out of range.
std::optional<engine::ColumnChoice> columnChoice(const std::string& strColumn)
{
    const bool blnNumber = !strColumn.empty() && strColumn.find_first_not_of("0123456789") == std::string::npos;
    const std::optional<double> dblNumber = blnNumber ? engine::numericValue(strColumn) : std::nullopt;
    if (strColumn.empty() || (blnNumber && !(*dblNumber >= 1 && *dblNumber <= dblMaxColumn))) {
        return std::nullopt;
    }
    return blnNumber ? engine::ColumnChoice{static_cast<std::int32_t>(*dblNumber), {}}
                     : engine::ColumnChoice{0, strColumn};
}

// A sensitivity as typed ("100 mV/g" and the like) read into unit (an EngineeringUnit, or an optional
// one); none keeps it (volts).
template <typename Unit> EntryCheck readSensitivity(const std::optional<std::string>& strText, Unit& unit)
{
    if (!strText) {
        return {};
    }
    const engine::SensitivityReading reading = engine::parseSensitivity(*strText);
    if (reading.refusal) {
        return refusal(engine::unitTextRefusalText("sensitivity", *strText, *reading.refusal));
    }
    unit = reading.unit;
    return {};
}

// A number of an option's entry (the first or second of its values); none where it is not one.
std::optional<double> valueNumber(const std::string& strValue, int intIndex)
{
    const std::size_t lngSeparator = strValue.find(chrValueSeparator);
    const std::string strPart =
        intIndex == 0 ? strValue.substr(0, lngSeparator)
                      : (lngSeparator == std::string::npos ? std::string() : strValue.substr(lngSeparator + 1));
    const std::optional<double> dblValue = engine::numericValue(strPart);
    return dblValue && std::isfinite(*dblValue) ? dblValue : std::nullopt;
}

// A band of two numbers as typed, read into band: the low edge at or above dblLowest, the high edge above
// it (or, with blnEqualAllowed, at it), else refused with strRefusal; none keeps band.
EntryCheck readBand(const std::optional<std::string>& strText, double dblLowest, bool blnEqualAllowed,
                    std::string_view strRefusal, std::optional<engine::FrequencyBand>& band)
{
    if (!strText) {
        return {};
    }
    const std::optional<double> dblLow = valueNumber(*strText, 0);
    const std::optional<double> dblHigh = valueNumber(*strText, 1);
    if (!dblLow || !dblHigh || *dblLow < dblLowest || (dblLowest > 0.0 && *dblLow == 0.0) ||
        (blnEqualAllowed ? *dblHigh < *dblLow : *dblHigh <= *dblLow)) {
        return refusal(std::string(strRefusal));
    }
    band = engine::FrequencyBand{*dblLow, *dblHigh};
    return {};
}

// A frequency that must lie above 0 Hz, read from strText into dblHz (a double, or an optional one); the
// refusal names what it is ("fundamental") where it is no finite number above 0.
template <typename Hz> EntryCheck readPositiveFrequency(std::string_view strText, std::string_view strWhat, Hz& dblHz)
{
    const std::optional<double> dblValue = engine::numericValue(strText);
    if (!dblValue || !(*dblValue > 0.0) || !std::isfinite(*dblValue)) {
        return refusal("the " + std::string(strWhat) + " must be a frequency in Hz above 0");
    }
    dblHz = *dblValue;
    return {};
}

// --input and --output: a column of text by number or heading, a channel of a sound file by number.
template <std::optional<std::string> BatchOptions::*Text, engine::ColumnChoice engine::TransferRequest::*Signal>
EntryCheck checkSignal(BatchOptions& options)
{
    const std::optional<engine::ColumnChoice> choice = columnChoice((options.*Text).value_or(""));
    if (!choice) {
        return refusal("a signal is a column chosen by its number from 1 or by its heading, or a channel by its "
                       "number from 1");
    }
    options.transfer.*Signal = *choice;
    const engine::ColumnChoice& input = options.transfer.input;
    if (Signal == &engine::TransferRequest::output && input.lngNumber == choice->lngNumber &&
        input.strName == choice->strName) {
        return EntryCheck{"the input and the output are the same signal",
                          "--input " + typedText(*options.strInput) + ", --output " + typedText(*options.strOutput),
                          {}};
    }
    return {};
}

// --input-sensitivity and --output-sensitivity: each signal of the frequency response in its own unit.
template <std::optional<std::string> BatchOptions::*Text, engine::EngineeringUnit engine::TransferRequest::*Unit>
EntryCheck checkSignalSensitivity(BatchOptions& options)
{
    return readSensitivity(options.*Text, options.transfer.*Unit);
}

} // namespace

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

// The lower limit of the bands analysed.
EntryCheck checkFrom(BatchOptions& options)
{
    return readPositiveFrequency(options.strFrom, "lower limit", options.octave.settings.dblFromHz);
}

EntryCheck checkColumn(BatchOptions& options)
{
    if (!options.strColumn) {
        return {};
    }
    const std::optional<engine::ColumnChoice> choice = columnChoice(*options.strColumn);
    if (!choice) {
        return refusal("a column is chosen by its number from 1 or by its heading");
    }
    options.request.choice.column = *choice;
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
    return readPositiveFrequency(*options.strFundamental, "fundamental", options.request.dblFundamentalHz);
}

// --sensitivity: what the volts of the averaged analysis stand for.
EntryCheck checkSensitivity(BatchOptions& options)
{
    return readSensitivity(options.strSensitivity, options.request.quantity.sensor);
}

EntryCheck checkHighPass(BatchOptions& options)
{
    if (!options.strHighPass) {
        return {};
    }
    const std::optional<double> dblHz = valueNumber(*options.strHighPass, 0);
    if (!dblHz || *dblHz < 0.0) {
        return refusal("the high-pass must be a frequency in Hz, 0 or above");
    }
    options.request.quantity.dblHighPassHz = *dblHz;
    return {};
}

// The dB reference, then the quantity as a whole: an integration needs an acceleration's sensitivity.
EntryCheck checkDbRef(BatchOptions& options)
{
    if (options.strDbRef) {
        const std::optional<double> dblReference = valueNumber(*options.strDbRef, 0);
        if (!dblReference || !(*dblReference > 0.0)) {
            return refusal("the dB reference must be a value above 0 in the unit shown");
        }
        options.request.quantity.dblDbReference = *dblReference;
    }
    if (const std::optional<engine::QuantityRefusal> refused = engine::checkQuantity(options.request.quantity)) {
        EntryCheck outcome = refusal(engine::quantityRefusalText(*refused, options.request.quantity.quantity));
        outcome.strSubject =
            "--quantity " + std::string(engine::quantityName(options.request.quantity.quantity)) +
            (options.strSensitivity ? " with --sensitivity " + typedText(*options.strSensitivity) : std::string());
        return outcome;
    }
    return {};
}

EntryCheck checkBandRms(BatchOptions& options)
{
    return readBand(options.strBandRms, 0.0, true, "the band must be two frequencies in Hz, 0 <= LO <= HI",
                    options.request.bandRms);
}

// The band's numbers here; whether a recording's rate can give an envelope in it is checked per FILE.
EntryCheck checkEnvelope(BatchOptions& options)
{
    return readBand(options.strEnvelope, std::numeric_limits<double>::min(), false,
                    "the envelope band must be two frequencies in Hz, 0 < LO < HI", options.request.envelope);
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

// The frequency response's own entries, after the settings it shares with the averaged analysis.
EntryCheck checkInput(BatchOptions& options)
{
    return checkSignal<&BatchOptions::strInput, &engine::TransferRequest::input>(options);
}

EntryCheck checkOutput(BatchOptions& options)
{
    return checkSignal<&BatchOptions::strOutput, &engine::TransferRequest::output>(options);
}

EntryCheck checkInputSensitivity(BatchOptions& options)
{
    return checkSignalSensitivity<&BatchOptions::strInputSensitivity, &engine::TransferRequest::inputUnit>(options);
}

EntryCheck checkOutputSensitivity(BatchOptions& options)
{
    return checkSignalSensitivity<&BatchOptions::strOutputSensitivity, &engine::TransferRequest::outputUnit>(options);
}

// The last of the frequency response's entries: the threshold, and the settings shared with the
// averaged analysis (checked before it) taken over.
EntryCheck checkThreshold(BatchOptions& options)
{
    engine::TransferRequest& transfer = options.transfer;
    if (options.strThreshold) {
        const std::optional<double> dblThreshold = engine::numericValue(*options.strThreshold);
        if (!dblThreshold || !(*dblThreshold >= 0.0 && *dblThreshold <= 1.0)) {
            return refusal("the coherence threshold is a number from 0 to 1");
        }
        transfer.dblCoherenceThreshold = *dblThreshold;
    }
    if (options.request.settings.averaging != engine::Averaging::Mean) {
        return EntryCheck{"a cross-spectrum is averaged by the mean: peak hold has no phase to keep",
                          "--averaging " + typedText("peak"),
                          {}};
    }
    transfer.settings = options.request.settings;
    transfer.lngSampFreq = options.request.lngSampFreq;
    transfer.blnSampFreqGiven = options.request.blnSampFreqGiven;
    transfer.dblMaxVolt = options.request.dblMaxVolt;
    return {};
}

} // namespace kestrix::cli
