// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum_units.h"

#include <algorithm>
#include <cmath>

namespace kestrix::engine {

namespace {

// Peak-to-peak over rms on a line above 0 Hz (a sine: 2 sqrt 2) and at 0 Hz (the mean itself: 2, the
// classic file's 4).
double ppPerRms(std::size_t lngLine, const SpectrumScale& scale)
{
    if (lngLine > 0) {
        return 2.0 * std::sqrt(2.0);
    }
    return scale.blnClassic ? 4.0 : 2.0;
}

} // namespace

double rmsOfValue(double dblValue, std::size_t lngLine, const SpectrumScale& scale)
{
    switch (scale.units) {
    case SpectrumUnits::Pp:
        return dblValue / ppPerRms(lngLine, scale);
    case SpectrumUnits::Peak:
        return lngLine > 0 ? dblValue / std::sqrt(2.0) : dblValue;
    case SpectrumUnits::Rms:
        return dblValue;
    case SpectrumUnits::DbV:
        return dblValue <= dblDbvFloor ? 0.0 : scale.dblDbReference * std::pow(10.0, dblValue / 20.0);
    case SpectrumUnits::Psd:
        return std::sqrt(std::max(dblValue, 0.0) * scale.dblNoiseBandwidth);
    case SpectrumUnits::Asd:
        return dblValue * std::sqrt(scale.dblNoiseBandwidth);
    }
    return dblValue;
}

double valueOfRms(double dblRms, std::size_t lngLine, const SpectrumScale& scale)
{
    switch (scale.units) {
    case SpectrumUnits::Pp:
        return dblRms * ppPerRms(lngLine, scale);
    case SpectrumUnits::Peak:
        return lngLine > 0 ? dblRms * std::sqrt(2.0) : dblRms;
    case SpectrumUnits::Rms:
        return dblRms;
    case SpectrumUnits::DbV:
        return dblRms > 0.0 ? std::max(20.0 * std::log10(dblRms / scale.dblDbReference), dblDbvFloor) : dblDbvFloor;
    case SpectrumUnits::Psd:
        return dblRms * dblRms / scale.dblNoiseBandwidth;
    case SpectrumUnits::Asd:
        return dblRms / std::sqrt(scale.dblNoiseBandwidth);
    }
    return dblRms;
}

std::vector<double> convertSpectrum(std::span<const double> dblValues, const SpectrumScale& from,
                                    const SpectrumScale& to)
{
    std::vector<double> dblOut(dblValues.size());
    for (std::size_t k = 0; k < dblValues.size(); ++k) {
        dblOut[k] = valueOfRms(rmsOfValue(dblValues[k], k, from), k, to);
    }
    return dblOut;
}

} // namespace kestrix::engine
