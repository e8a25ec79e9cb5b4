#include "peaks.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kestrix::engine {

ToneEstimate estimateTone(std::span<const double> dblVolts, std::size_t lngLine)
{
    ToneEstimate estimate{static_cast<double>(lngLine), 1.0};
    if (lngLine == 0 || lngLine + 1 >= dblVolts.size() || !(dblVolts[lngLine] > 0.0)) {
        return estimate;
    }
    const double dblLower = dblVolts[lngLine - 1];
    const double dblUpper = dblVolts[lngLine + 1];
    const bool blnUpward = dblUpper >= dblLower;
    const double dblNeighbour = blnUpward ? dblUpper : dblLower;
    // A neighbour above the peak means this is no maximum: the ratio would put the tone beyond the
    // neighbour, so stay on the line.
    if (!(dblNeighbour > 0.0) || dblNeighbour > dblVolts[lngLine]) {
        return estimate;
    }
    const double dblRatio = dblNeighbour / dblVolts[lngLine];
    const double dblOffset = dblRatio / (1.0 + dblRatio); // 0 to 0.5 lines
    estimate.dblLine += blnUpward ? dblOffset : -dblOffset;
    const double dblPhase = std::numbers::pi * dblOffset;
    estimate.dblScale = dblPhase / std::sin(dblPhase);
    return estimate;
}

std::vector<SpectrumPeak> findPeaks(std::span<const double> dblVolts, double dblDeltaFreq, std::size_t lngCount)
{
    // Relative size below which an amplitude is the transform's rounding residue (a clean tone leaves
    // lines of about 1e-16 of its height), not something measured.
    constexpr double dblResidue = 1e-10;
    const std::size_t lngNumLine = dblVolts.size();
    if (lngNumLine < 2 || lngCount == 0) {
        return {};
    }
    const double dblHighest = *std::max_element(dblVolts.begin() + 1, dblVolts.end());
    const double dblFloor = dblHighest * dblResidue;

    std::vector<std::size_t> lngCandidates;
    for (std::size_t i = 1; i < lngNumLine; ++i) {
        const double dblHere = dblVolts[i];
        const bool blnAboveLower = dblHere > dblVolts[i - 1];
        const bool blnNotBelowUpper = i + 1 == lngNumLine || dblHere >= dblVolts[i + 1];
        if (blnAboveLower && blnNotBelowUpper && dblHere > 0.0 && dblHere >= dblFloor) {
            lngCandidates.push_back(i);
        }
    }
    std::stable_sort(lngCandidates.begin(), lngCandidates.end(),
                     [&](std::size_t a, std::size_t b) { return dblVolts[a] > dblVolts[b]; });
    lngCandidates.resize(std::min(lngCandidates.size(), lngCount));

    std::vector<SpectrumPeak> peaks;
    peaks.reserve(lngCandidates.size());
    for (const std::size_t lngLine : lngCandidates) {
        const ToneEstimate estimate = estimateTone(dblVolts, lngLine);
        SpectrumPeak peak;
        peak.lngLine = static_cast<std::int32_t>(lngLine);
        peak.dblFreq = static_cast<double>(lngLine) * dblDeltaFreq;
        peak.dblVolts = dblVolts[lngLine];
        peak.dblEstimatedFreq = estimate.dblLine * dblDeltaFreq;
        peak.dblEstimatedVolts = dblVolts[lngLine] * estimate.dblScale;
        peaks.push_back(peak);
    }
    return peaks;
}

std::vector<double> harmonicFrequencies(double dblFundamental, double dblMaxFreq, std::size_t lngMaxCount)
{
    std::vector<double> dblFreqs;
    if (!(dblFundamental > 0.0)) {
        return dblFreqs;
    }
    for (std::size_t k = 1; k <= lngMaxCount; ++k) {
        const double dblFreq = static_cast<double>(k) * dblFundamental;
        if (dblFreq > dblMaxFreq) {
            break;
        }
        dblFreqs.push_back(dblFreq);
    }
    return dblFreqs;
}

} // namespace kestrix::engine
