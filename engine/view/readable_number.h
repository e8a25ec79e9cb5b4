// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

// Numbers as the spectrum view shows them to be read at a glance: a few significant digits with an SI
// prefix, frequencies with the decimals their line spacing needs. The files keep their full texts.
// Locale-independent.
namespace kestrix::engine {

// dblValue (finite) rounded to intDigits significant digits (1 to 15), with the SI prefix from f
// (1E-15) to T (1E+12) that leaves 1 to 3 digits before the point, then a blank and strUnit:
// "1.831 V", "88.82 µV", "-12.50 mV", "999.9 mV", "1.000 V" (999.96 mV rounds up). 0 is "0 V";
// beyond the prefixes the exponent form "1.234E-18 V".
std::string siText(double dblValue, int intDigits, std::string_view strUnit);

// A frequency of a spectrum whose lines lie dblDeltaFreq (> 0) apart, in Hz with the decimals that keep
// neighbouring lines apart and no more: "25" (1 Hz lines), "24.98" (0.015625 Hz lines).
std::string lineFrequencyText(double dblFreq, double dblDeltaFreq);

// The level of dblVolts (>= 0) in dB relative to 1 V with two decimals: "-8.73 dBV"; "-∞ dBV" for 0.
std::string dbvText(double dblVolts);

} // namespace kestrix::engine
