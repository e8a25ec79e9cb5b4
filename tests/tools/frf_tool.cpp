// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the frequency response analysis of the engine on one recording and writes its BASE_FRF.csv,
// for the reference comparison (transfer_compare.py) while no front end offers it. Prints the path
// written; a refusal goes to stderr with exit status 1, a failure with 2, a bad argument with 3.
//
// usage: kestrix_frf_tool --input N|NAME --output N|NAME [--fs HZ] [--points N] [--window NAME]
//        [--overlap P] [--detrend none|mean] [--range V] [--input-unit EU:VOLTS_PER_EU]
//        [--output-unit EU:VOLTS_PER_EU] [--threshold G] FILE
#include "engine/recordings/transfer_analysis.h"
#include "engine/run/global_define.h"
#include "engine/run/number_text.h"
#include "platform/failure.h"
#include "platform/sndfile/sndfile_sound_files.h"
#include "platform/std/std_text_files.h"

#include <iostream>
#include <map>
#include <string>

namespace {

using namespace kestrix;

engine::ColumnChoice choiceOf(const std::string& strText)
{
    engine::ColumnChoice choice;
    if (!strText.empty() && strText.find_first_not_of("0123456789") == std::string::npos) {
        choice.lngNumber = std::stoi(strText);
    } else {
        choice.strName = strText;
    }
    return choice;
}

double numberOf(const std::string& strText)
{
    const std::optional<double> dblValue = engine::numericValue(strText);
    if (!dblValue) {
        throw std::invalid_argument("not a number: " + strText);
    }
    return *dblValue;
}

engine::EngineeringUnit unitOf(const std::string& strText)
{
    const std::size_t lngColon = strText.rfind(':');
    if (lngColon == std::string::npos) {
        throw std::invalid_argument("EU:VOLTS_PER_EU expected: " + strText);
    }
    engine::EngineeringUnit unit;
    unit.strUnit = strText.substr(0, lngColon);
    unit.dblVoltsPerUnit = numberOf(strText.substr(lngColon + 1));
    return unit;
}

engine::TransferRequest requestOf(const std::map<std::string, std::string>& options)
{
    engine::TransferRequest request;
    for (const auto& [strName, strValue] : options) {
        if (strName == "--input") {
            request.input = choiceOf(strValue);
        } else if (strName == "--output") {
            request.output = choiceOf(strValue);
        } else if (strName == "--fs") {
            request.lngSampFreq = static_cast<std::int32_t>(numberOf(strValue));
            request.blnSampFreqGiven = true;
        } else if (strName == "--points") {
            request.settings.lngNumSamp = static_cast<std::int32_t>(numberOf(strValue));
        } else if (strName == "--window") {
            request.settings.window = engine::windowOfName(strValue).value();
        } else if (strName == "--overlap") {
            request.settings.dblOverlap = numberOf(strValue);
        } else if (strName == "--detrend") {
            request.settings.detrend = strValue == "mean" ? engine::Detrend::Mean : engine::Detrend::None;
        } else if (strName == "--range") {
            request.dblMaxVolt = numberOf(strValue);
        } else if (strName == "--input-unit") {
            request.inputUnit = unitOf(strValue);
        } else if (strName == "--output-unit") {
            request.outputUnit = unitOf(strValue);
        } else if (strName == "--threshold") {
            request.dblCoherenceThreshold = numberOf(strValue);
        } else {
            throw std::invalid_argument("unknown option " + strName);
        }
    }
    return request;
}

} // namespace

int main(int argc, char** argv)
{
    std::map<std::string, std::string> options;
    std::string strFile;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string strArg = argv[i];
            if (strArg.starts_with("--") && i + 1 < argc) {
                options[strArg] = argv[++i];
            } else {
                strFile = strArg;
            }
        }
        const engine::TransferRequest request = requestOf(options);
        if (strFile.empty() || (request.input.lngNumber == 0 && request.input.strName.empty()) ||
            (request.output.lngNumber == 0 && request.output.strName.empty())) {
            throw std::invalid_argument("--input, --output and FILE are needed");
        }
        platform::StdTextFiles files;
        platform::SndfileSoundFiles sounds;
        const engine::TransferFileResult result =
            engine::analyseTransfer(request, strFile, files, sounds, engine::computePI());
        if (!result.analysed()) {
            std::cerr << strFile << ": " << result.strRefusal << '\n';
            return 1;
        }
        if (!result.estimates.strCoherenceRefusal.empty()) {
            std::cerr << strFile << ": " << result.estimates.strCoherenceRefusal << '\n';
        }
        std::cout << result.strWritten << '\n';
        return 0;
    } catch (const KestrixError& error) {
        std::cerr << strFile << ": " << error.description() << '\n';
        return 2;
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 3;
    }
}
