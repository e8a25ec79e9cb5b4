// SPDX-License-Identifier: GPL-3.0-or-later
#include "transfer_function.h"

#include "engine/run/fft.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

namespace kestrix::engine {

namespace {

constexpr double dblNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double dblFullTurnDeg = 360.0;

bool trusted(std::span<const double> dblWrappedDeg, std::span<const double> dblCoherence, double dblThreshold,
             std::size_t k)
{
    return !std::isnan(dblWrappedDeg[k]) && (dblCoherence.empty() || dblCoherence[k] >= dblThreshold);
}

// The value of dblWrappedDeg plus the whole turns that bring it nearest to dblCourseDeg.
double nearestTurn(double dblWrappedDeg, double dblCourseDeg)
{
    return dblWrappedDeg + dblFullTurnDeg * std::round((dblCourseDeg - dblWrappedDeg) / dblFullTurnDeg);
}

std::string coherenceRefusal(const CrossSpectra& spectra)
{
    const AverageSettings& settings = spectra.settings;
    const std::int64_t lngNeeded = settings.lngNumSamp + segmentStep(settings.lngNumSamp, settings.dblOverlap);
    return "no coherence from " + std::to_string(spectra.lngSegments) +
           " segment: it is 1 on every line whatever the channels hold; it needs 2 segments or more (N = " +
           std::to_string(settings.lngNumSamp) + ", " + std::to_string(spectra.lngSamples) + " samples; " +
           std::to_string(lngNeeded) + " give 2)";
}

// The group delay of line k from the unwrapped phase: central where both neighbours are trusted, else
// one-sided towards the one that is.
double groupDelayAt(std::span<const double> dblUnwrappedDeg, const std::vector<bool>& blnTrusted, std::size_t k,
                    double dblDeltaFreq)
{
    const bool blnBelow = k > 0 && blnTrusted[k - 1];
    const bool blnAbove = k + 1 < blnTrusted.size() && blnTrusted[k + 1];
    if (!blnTrusted[k] || !(blnBelow || blnAbove)) {
        return dblNaN;
    }
    const std::size_t lngLow = blnBelow ? k - 1 : k;
    const std::size_t lngHigh = blnAbove ? k + 1 : k;
    const double dblSlope =
        (dblUnwrappedDeg[lngHigh] - dblUnwrappedDeg[lngLow]) / (static_cast<double>(lngHigh - lngLow) * dblDeltaFreq);
    return -dblSlope / dblFullTurnDeg;
}

} // namespace

std::vector<double> unwrapPhase(std::span<const double> dblWrappedDeg, std::span<const double> dblCoherence,
                                double dblThreshold)
{
    assert(dblCoherence.empty() || dblCoherence.size() == dblWrappedDeg.size());
    std::vector<double> dblOut(dblWrappedDeg.begin(), dblWrappedDeg.end());
    std::size_t lngFirst = 0;
    while (lngFirst < dblOut.size() && !trusted(dblWrappedDeg, dblCoherence, dblThreshold, lngFirst)) {
        ++lngFirst;
    }
    if (lngFirst == dblOut.size()) {
        return dblOut;
    }
    std::size_t lngLast = lngFirst; // the last trusted line so far
    double dblSlope = 0.0;          // degrees per line from the first trusted line to the last
    for (std::size_t k = lngFirst + 1; k < dblOut.size(); ++k) {
        const double dblCourse = dblOut[lngLast] + dblSlope * static_cast<double>(k - lngLast);
        dblOut[k] = nearestTurn(dblWrappedDeg[k], dblCourse);
        if (trusted(dblWrappedDeg, dblCoherence, dblThreshold, k)) {
            lngLast = k;
            dblSlope = (dblOut[k] - dblOut[lngFirst]) / static_cast<double>(k - lngFirst);
        }
    }
    for (std::size_t k = 0; k < lngFirst; ++k) {
        dblOut[k] = nearestTurn(dblWrappedDeg[k], dblOut[lngFirst] - dblSlope * static_cast<double>(lngFirst - k));
    }
    return dblOut;
}

namespace {

// Counts^2 to EU^2/Hz of each product, for a line with a mirror line.
struct DensityFactors
{
    double dblInput = 0.0;
    double dblOutput = 0.0;
    double dblCross = 0.0;
};

// Line k's estimates into est, whose vectors have their size.
void estimateLine(const CrossSpectra& spectra, const DensityFactors& factors, std::size_t k, double dblDegPerRadian,
                  TransferEstimates& est)
{
    const std::size_t lngHalf = spectra.dblInputPower.size() - 1; // N / 2
    const double dblSide = (k == 0 || k == lngHalf) ? 0.5 : 1.0;  // lines without a mirror line
    const double dblXX = spectra.dblInputPower[k];
    const double dblYY = spectra.dblOutputPower[k];
    const double dblXY = std::hypot(spectra.dblCrossRe[k], spectra.dblCrossIm[k]);
    est.dblGxx[k] = dblSide * factors.dblInput * dblXX;
    est.dblGyy[k] = dblSide * factors.dblOutput * dblYY;
    est.dblGxyMagnitude[k] = dblSide * factors.dblCross * dblXY;
    est.dblH1Magnitude[k] = est.dblGxx[k] > 0.0 ? est.dblGxyMagnitude[k] / est.dblGxx[k] : dblNaN;
    est.dblH2Magnitude[k] = est.dblGxyMagnitude[k] > 0.0 ? est.dblGyy[k] / est.dblGxyMagnitude[k] : dblNaN;
    double dblPhase = dblNaN;
    if (dblXY > 0.0) {
        dblPhase = std::atan2(spectra.dblCrossIm[k], spectra.dblCrossRe[k]) * dblDegPerRadian;
        if (dblPhase <= -180.0) {
            dblPhase += dblFullTurnDeg;
        }
    }
    est.dblPhaseDeg[k] = dblPhase;
    if (!est.dblCoherence.empty()) {
        est.dblCoherence[k] = dblXX > 0.0 && dblYY > 0.0 ? (dblXY / dblXX) * (dblXY / dblYY) : dblNaN;
    }
}

} // namespace

TransferEstimates transferEstimates(const CrossSpectra& spectra, const TransferScale& scale, std::size_t lngLines,
                                    double dblPI)
{
    assert(lngLines <= spectra.dblInputPower.size());
    assert(spectra.lngSegments >= 1);
    // A density D (EU^2/Hz) gives a mean |X[k]|^2 of D / 2 fs sum(w^2) (counts^2 times (EU per count)^2)
    // on each side.
    const double dblDensity = 2.0 / (scale.dblSampFreq * spectra.figures.dblSquareSum);
    const DensityFactors factors{dblDensity * scale.dblInputPerCount * scale.dblInputPerCount,
                                 dblDensity * scale.dblOutputPerCount * scale.dblOutputPerCount,
                                 dblDensity * scale.dblInputPerCount * scale.dblOutputPerCount};
    TransferEstimates est;
    for (std::vector<double>* dblLines :
         {&est.dblGxx, &est.dblGyy, &est.dblGxyMagnitude, &est.dblH1Magnitude, &est.dblH2Magnitude, &est.dblPhaseDeg}) {
        dblLines->resize(lngLines);
    }
    if (spectra.lngSegments >= 2) {
        est.dblCoherence.resize(lngLines);
    } else {
        est.strCoherenceRefusal = coherenceRefusal(spectra);
    }
    for (std::size_t k = 0; k < lngLines; ++k) {
        estimateLine(spectra, factors, k, 180.0 / dblPI, est);
    }
    est.dblUnwrappedDeg = unwrapPhase(est.dblPhaseDeg, est.dblCoherence, scale.dblCoherenceThreshold);
    std::vector<bool> blnTrusted(lngLines);
    for (std::size_t k = 0; k < lngLines; ++k) {
        blnTrusted[k] = trusted(est.dblPhaseDeg, est.dblCoherence, scale.dblCoherenceThreshold, k);
    }
    est.dblGroupDelay.resize(lngLines);
    const double dblDeltaFreq = scale.dblSampFreq / spectra.settings.lngNumSamp;
    for (std::size_t k = 0; k < lngLines; ++k) {
        est.dblGroupDelay[k] = groupDelayAt(est.dblUnwrappedDeg, blnTrusted, k, dblDeltaFreq);
    }
    return est;
}

namespace {

// The cross-correlation's band-limited interpolation r(t) (t in samples) through the lines
// lngFirst .. N / 2 of the cross-spectrum, times dblSign, with its first two derivatives.
class CorrelationCurve
{
public:
    CorrelationCurve(const CrossSpectra& spectra, std::size_t lngFirst, double dblSign, double dblPI)
        : spectra(spectra), lngFirst(lngFirst), dblSign(dblSign), dblOmega(2.0 * dblPI / spectra.settings.lngNumSamp),
          dblPI(dblPI)
    {
    }

    struct Value
    {
        double dblValue = 0.0;
        double dblSlope = 0.0;
        double dblCurvature = 0.0;
    };

    // A line k between 0 Hz and N / 2 stands for itself and its mirror line: 2 Re(G[k] e^(i w k t)).
    // N / 2 is real and stands alone: G[N/2] cos(pi t).
    Value at(double dblT) const
    {
        Value value;
        const std::size_t lngHalf = spectra.dblCrossRe.size() - 1;
        for (std::size_t k = lngFirst; k < lngHalf; ++k) {
            const double dblW = dblOmega * static_cast<double>(k);
            const double dblCos = std::cos(dblW * dblT);
            const double dblSin = std::sin(dblW * dblT);
            const double dblEven = spectra.dblCrossRe[k] * dblCos - spectra.dblCrossIm[k] * dblSin;
            const double dblOdd = spectra.dblCrossRe[k] * dblSin + spectra.dblCrossIm[k] * dblCos;
            value.dblValue += 2.0 * dblEven;
            value.dblSlope -= 2.0 * dblW * dblOdd;
            value.dblCurvature -= 2.0 * dblW * dblW * dblEven;
        }
        if (lngFirst <= lngHalf) {
            const double dblNyquist = spectra.dblCrossRe[lngHalf];
            value.dblValue += dblNyquist * std::cos(dblPI * dblT);
            value.dblSlope -= dblNyquist * dblPI * std::sin(dblPI * dblT);
            value.dblCurvature -= dblNyquist * dblPI * dblPI * std::cos(dblPI * dblT);
        }
        value.dblValue *= dblSign;
        value.dblSlope *= dblSign;
        value.dblCurvature *= dblSign;
        return value;
    }

private:
    const CrossSpectra& spectra;
    std::size_t lngFirst;
    double dblSign;
    double dblOmega; // radians per sample of line 1
    double dblPI;
};

// The maximum of the curve next to the sample lngPeak where it is highest: the zero of its slope on
// the side where the slope points, by Newton's method kept inside the bracket (a bisection step
// wherever Newton would leave it or the curve is not concave). The sample itself when the slope does
// not change sign within one sample on that side.
double refinePeak(const CorrelationCurve& curve, double dblPeak)
{
    constexpr double dblTolerance = 1e-9; // samples
    constexpr int intMaxSteps = 100;
    const double dblSlopeAtPeak = curve.at(dblPeak).dblSlope;
    if (dblSlopeAtPeak == 0.0) {
        return dblPeak;
    }
    double dblLow = dblSlopeAtPeak > 0.0 ? dblPeak : dblPeak - 1.0; // the slope is > 0 here
    double dblHigh = dblLow + 1.0;                                  // and < 0 here
    if (curve.at(dblSlopeAtPeak > 0.0 ? dblHigh : dblLow).dblSlope * dblSlopeAtPeak >= 0.0) {
        return dblPeak;
    }
    double dblT = 0.5 * (dblLow + dblHigh);
    for (int intStep = 0; intStep < intMaxSteps && dblHigh - dblLow > dblTolerance; ++intStep) {
        const CorrelationCurve::Value value = curve.at(dblT);
        if (value.dblSlope > 0.0) {
            dblLow = dblT;
        } else {
            dblHigh = dblT;
        }
        const double dblNewton = dblT - value.dblSlope / value.dblCurvature;
        const double dblNext = value.dblCurvature < 0.0 && dblNewton > dblLow && dblNewton < dblHigh
                                   ? dblNewton
                                   : 0.5 * (dblLow + dblHigh);
        if (std::abs(dblNext - dblT) < dblTolerance) {
            return dblNext;
        }
        dblT = dblNext;
    }
    return dblT;
}

// Twice the sum over the lines lngFirst .. N / 2 - 1 of dblPower plus line N / 2: the power of the
// two-sided spectrum through those lines.
double twoSidedSum(std::span<const double> dblPower, std::size_t lngFirst)
{
    const std::size_t lngHalf = dblPower.size() - 1;
    double dblSum = lngFirst <= lngHalf ? dblPower[lngHalf] : 0.0;
    for (std::size_t k = lngFirst; k < lngHalf; ++k) {
        dblSum += 2.0 * dblPower[k];
    }
    return dblSum;
}

} // namespace

std::optional<ChannelDelay> channelDelay(const CrossSpectra& spectra, double dblSampFreq, double dblPI)
{
    const std::int32_t lngNumSamp = spectra.settings.lngNumSamp;
    const auto lngSize = static_cast<std::size_t>(lngNumSamp);
    const std::size_t lngHalf = lngSize / 2;
    assert(spectra.dblCrossRe.size() == lngHalf + 1);
    const auto lngFirst = static_cast<std::size_t>(mainLobeHalfWidth(spectra.settings.window));
    // The two-sided cross-spectrum through the lines used, transformed back: N times the correlation
    // at every whole lag, lag m at m and -m at N - m.
    std::vector<double> dblR(lngSize, 0.0);
    std::vector<double> dblI(lngSize, 0.0);
    for (std::size_t k = lngFirst; k <= lngHalf; ++k) {
        dblR[k] = spectra.dblCrossRe[k];
        dblI[k] = spectra.dblCrossIm[k];
        if (k < lngHalf) {
            dblR[lngSize - k] = spectra.dblCrossRe[k];
            dblI[lngSize - k] = -spectra.dblCrossIm[k];
        }
    }
    FftPlan(lngNumSamp, (2 * dblPI) / lngNumSamp).transform(dblR, dblI);
    const auto itPeak = std::max_element(dblR.begin(), dblR.end(),
                                         [](double dblA, double dblB) { return std::abs(dblA) < std::abs(dblB); });
    if (*itPeak == 0.0) {
        return std::nullopt;
    }
    auto lngPeak = static_cast<std::int64_t>(itPeak - dblR.begin());
    if (lngPeak >= static_cast<std::int64_t>(lngHalf)) {
        lngPeak -= lngNumSamp;
    }
    const double dblSign = *itPeak > 0.0 ? 1.0 : -1.0;
    const CorrelationCurve curve(spectra, lngFirst, dblSign, dblPI);
    ChannelDelay delay;
    delay.dblSamples = refinePeak(curve, static_cast<double>(lngPeak));
    delay.dblSeconds = delay.dblSamples / dblSampFreq;
    const double dblPowers =
        twoSidedSum(spectra.dblInputPower, lngFirst) * twoSidedSum(spectra.dblOutputPower, lngFirst);
    delay.dblCorrelation = dblPowers > 0.0 ? dblSign * curve.at(delay.dblSamples).dblValue / std::sqrt(dblPowers) : 0.0;
    return delay;
}

} // namespace kestrix::engine
