// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "averaged_spectrum.h"

#include <span>
#include <vector>

// One spectrum's values carried over into other units, line by line, so spectra written in different
// units can be compared on one axis. Every unit is a function of a line's rms value (V): peak-to-peak,
// peak and rms are multiples of it, dBV its level, and the densities its square or root over the noise
// bandwidth of the line (the window's equivalent noise bandwidth times the line spacing).
namespace kestrix::engine {

// The units a spectrum's values are in, with what a carry-over needs.
struct SpectrumScale
{
    SpectrumUnits units = SpectrumUnits::Pp;
    // The classic spectrum file's peak-to-peak: 0 Hz reads 4 c for a mean of c counts' volts, where the
    // averaged analysis reads 2 c (one-sided, without a mirror line). Only with SpectrumUnits::Pp.
    bool blnClassic = false;
    // Hz, > 0: the window's noise bandwidth in lines times the line spacing fs / N; used by the densities.
    double dblNoiseBandwidth = 1.0;
    // What 0 dB stands for (> 0), in the unit the values are in (1 V for dBV; 20e-6 for dB re 20 µPa).
    double dblDbReference = 1.0;
};

// The rms value in V (or the unit of the dB reference) of line lngLine (0 = 0 Hz) holding dblValue in
// scale's units. A dB level at or below dblDbvFloor is 0.
double rmsOfValue(double dblValue, std::size_t lngLine, const SpectrumScale& scale);

// The value in scale's units of an rms value of dblRms V (>= 0) on line lngLine; 0 V reads dblDbvFloor
// in dBV, as the averaged files write it.
double valueOfRms(double dblRms, std::size_t lngLine, const SpectrumScale& scale);

// Every line of dblValues (line i at i line spacings from 0 Hz) carried from one scale to another.
std::vector<double> convertSpectrum(std::span<const double> dblValues, const SpectrumScale& from,
                                    const SpectrumScale& to);

} // namespace kestrix::engine
