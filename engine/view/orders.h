// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Orders of a machine's running speed: a frequency in Hz read as a multiple of the shaft's rotation
// frequency, so that 2x (the second order) of a machine at 1500 rpm is 50 Hz whatever the speed.
namespace kestrix::engine {

enum class SpeedUnit {
    Rpm, // revolutions per minute
    Hz,  // revolutions per second
};

// A running speed as the user gave it: its rotation frequency and the unit it was given in.
struct RunningSpeed
{
    double dblHz = 0.0; // rotation frequency, > 0
    SpeedUnit unit = SpeedUnit::Rpm;
};

// The highest rotation frequency taken, Hz: far beyond any machine, and it keeps orders of the
// plotted frequencies (below 1E+12 Hz) from collapsing into one tick.
inline constexpr double dblMaxRunningHz = 1e9;
// The lowest, Hz (0.06 rpm): slower, the orders of an audio-rate spectrum run into the millions.
inline constexpr double dblMinRunningHz = 1e-3;

// The speed in a typed text: a number (as the window's fields read numbers, "." as the decimal point),
// then optionally a unit, any case, with or without a blank between: "rpm", "r/min", "1/min", "min-1"
// for revolutions per minute, "Hz" for per second; a bare number is in defaultUnit. None for any other
// text and for speeds outside dblMinRunningHz .. dblMaxRunningHz.
std::optional<RunningSpeed> parseRunningSpeed(std::string_view strText, SpeedUnit defaultUnit);

// The rotation frequency (Hz) of a speed in a unit, and the speed in a unit of a rotation frequency.
double rotationFrequency(double dblSpeed, SpeedUnit unit);
double speedInUnit(double dblHz, SpeedUnit unit);

// The speed as text in its own unit: "1500 rpm", "25 Hz" (up to 6 significant digits); and its number
// alone in a unit: "1500", "25".
std::string speedText(const RunningSpeed& speed);
std::string speedValueText(double dblHz, SpeedUnit unit);

// The order of a frequency (Hz) for a rotation frequency dblRunHz (> 0): dblFreq / dblRunHz.
double orderOf(double dblFreq, double dblRunHz);

// The frequency (Hz) of an order.
double frequencyOfOrder(double dblOrder, double dblRunHz);

} // namespace kestrix::engine
