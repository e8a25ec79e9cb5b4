// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The view's words for a sensor: what is wrong with a sensitivity or a calibrator's level typed in, and
// what a calibration found (not part of the view's interface).

#include "engine/recordings/calibration.h"
#include "engine/recordings/engineering_unit.h"
#include "engine/recordings/measured_quantity.h"

#include <QString>

namespace kestrix::ui {

// Why strGiven is not read as strField ("感度", "校正器のレベル"), naming the field and the part found
// wrong: `感度「100 mA/g」：電圧の単位「mA」は V、mV、µV、uV のどれでもありません。`
QString unitTextRefusalText(const QString& strField, const QString& strGiven, const engine::UnitTextRefusal& refusal);

// What a calibration found: the sensitivity with its tone ("感度 49.87 mV/Pa（トーン 1000.0 Hz、70.52 mV
// rms、ほかの線より 63.2 dB 上）"), or why there is no tone to calibrate with.
QString calibrationResultText(const engine::Calibration& calibration);

// The sensitivity as the field shows it: six significant digits at most, no trailing zeros ("100 mV/g"),
// read back by parseSensitivity.
QString sensitivityFieldText(const engine::EngineeringUnit& sensor);

// The view's name of a quantity: "記録のまま", "加速度", "速度（mm/s）", "変位（µm）".
QString quantityTitle(engine::Quantity quantity);

} // namespace kestrix::ui
