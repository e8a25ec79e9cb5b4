// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis_parameters.h"

#include "field_checks.h"
#include "number_text.h"
#include "platform/failure.h"

#include <cmath>

namespace kestrix::engine {

namespace {

constexpr std::int32_t lngMaxPoints = 65536;

} // namespace

ParameterReading readAnalysisParameters(AnalysisControls& controls)
{
    ParameterReading reading;
    AnalysisParameters& params = reading.params;
    params.lngSampFreq = wholeNumberOfText(controls.sampFreqText());
    params.dblMaxAnaFreq = params.lngSampFreq / dblPointsPerLine;
    params.lngNumSamp = wholeNumberOfText(controls.numSampText());
    if (params.lngNumSamp <= 0 || params.lngNumSamp > lngMaxPoints ||
        (params.lngNumSamp & (params.lngNumSamp - 1)) != 0) {
        raiseFailure(err::lngInvalidCall, "the number of points must be a power of two up to 65536");
    }
    params.dblMaxVolt = fixedValueOfText(controls.maxVoltText(), 3);
    params.dblPosScale = params.dblMaxVolt / dblFullScaleCount;
    params.blnBand = controls.bandValue() == 1;
    if (params.blnBand) {
        reading.strRefusal = checkBandLimits(controls, params);
        if (!reading.strRefusal.empty()) {
            return reading;
        }
    }
    params.blnWave = controls.waveValue() == 1;
    return reading;
}

std::int32_t spectrumLineCount(std::int32_t lngNumSamp)
{
    return static_cast<std::int32_t>(std::nearbyint(lngNumSamp / dblPointsPerLine + 1));
}

} // namespace kestrix::engine
