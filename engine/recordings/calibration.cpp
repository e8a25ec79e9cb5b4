// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibration.h"

#include "engine/run/number_text.h"

#include <cmath>

namespace kestrix::engine {

namespace {

constexpr int intShownDigits = 4; // significant digits of the sensitivity and the tone's volts

std::string hertzText(double dblHz)
{
    return fixedDecimalText(dblHz, 1) + " Hz";
}

} // namespace

Calibration calibrationOf(const ToneFigures& figures, const UnitValue& level)
{
    Calibration calibration;
    calibration.level = level;
    calibration.dblToneHz = figures.dblFundamentalFreq;
    calibration.dblToneVoltsRms = std::sqrt(figures.dblFundamentalPower);
    calibration.dblToneAboveRestDb = figures.dblSfdr;
    calibration.dblRestHz = figures.dblSpurFreq;
    // NaN (silence) and anything short of the margin alike are no tone.
    calibration.blnToneFound = figures.dblSfdr >= dblMinToneAboveRestDb && calibration.dblToneVoltsRms > 0.0;
    if (calibration.blnToneFound) {
        calibration.sensor = engineeringUnit(level.strUnit, calibration.dblToneVoltsRms / level.dblValue);
    }
    return calibration;
}

std::string calibrationText(const Calibration& calibration)
{
    if (calibration.blnToneFound) {
        return "sensitivity " + sensitivityText(calibration.sensor, intShownDigits) + " (tone " +
               hertzText(calibration.dblToneHz) + ", " + voltsText(calibration.dblToneVoltsRms, intShownDigits) +
               " rms)";
    }
    const std::string strMargin = generalNumberText(dblMinToneAboveRestDb);
    if (!(calibration.dblToneVoltsRms > 0.0) || std::isnan(calibration.dblToneAboveRestDb)) {
        return "no tone stands " + strMargin + " dB above the rest of the spectrum: the recording is silent";
    }
    return "no tone stands " + strMargin + " dB above the rest of the spectrum: the highest line (" +
           hertzText(calibration.dblToneHz) + ") stands " + fixedDecimalText(calibration.dblToneAboveRestDb, 1) +
           " dB above the next highest (" + hertzText(calibration.dblRestHz) + ")";
}

} // namespace kestrix::engine
