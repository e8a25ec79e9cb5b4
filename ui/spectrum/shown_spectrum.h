// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/recordings/measured_quantity.h"
#include "engine/recordings/spectrum_units.h"
#include "engine/recordings/window_function.h"
#include "engine/run/analysis.h"
#include "engine/view/peaks.h"
#include "view_analysis.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// The spectrum the view shows, in the units shown, built from what the document holds: the run's block
// as its file holds it (carried into other units where asked), the block of a recording read whole,
// its averaged spectrum or one of its segments. Free of widgets.
namespace kestrix::ui {

struct ShownSpectrum
{
    QString strName;                   // the legend's entry
    std::vector<double> dblValues;     // as a file in these units writes them
    std::vector<double> dblPlot;       // as drawn: dBV as V rms
    std::vector<double> dblBandValues; // the run's band spectrum (single block only)
    std::vector<double> dblBandPlot;
    double dblDeltaFreq = 1.0;   // Hz between lines
    engine::SpectrumScale scale; // the units, and the bandwidth of a line
    engine::WindowKind window = engine::WindowKind::Rect;
    std::int32_t lngNumSamp = 0;
    engine::MeasuredQuantity quantity; // what the values stand for (volts by default)
};

// The single block in units of the quantity: the run's spectra when given, else the first block of
// reading (of a recording read with lngNumSamp points); empty without either.
ShownSpectrum singleBlockSpectrum(const engine::RunSpectra* run, const ViewReading* reading, std::int32_t lngNumSamp,
                                  engine::SpectrumUnits units, const engine::MeasuredQuantity& quantity = {});

// The averaged spectrum of a reading of a recording of input range dblMaxVolt (V) in units of the
// quantity, or the one segment lngSegment it holds.
ShownSpectrum averagedSpectrum(const ViewReading& reading, double dblMaxVolt, engine::SpectrumUnits units,
                               std::optional<std::int64_t> lngSegment, const engine::MeasuredQuantity& quantity = {});

// The averaged spectrum of the envelope a reading holds (read with an envelope band) in the request's
// units, in the quantity as recorded, as its file holds it; empty where the reading has none.
ShownSpectrum envelopeSpectrum(const ViewReading& reading, const engine::AverageRequest& request);

// The peaks of a spectrum shown that stand dblThresholdDb above their floor, found on its magnitudes
// (amplitudes; the root of a power density), their values in the units shown: a line's value as the
// file writes it, the estimate corrected by the factor the magnitudes give.
std::vector<engine::SpectrumPeak> shownPeaks(const ShownSpectrum& shown, double dblThresholdDb);

} // namespace kestrix::ui
