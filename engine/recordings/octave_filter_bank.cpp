// SPDX-License-Identifier: GPL-3.0-or-later
#include "octave_filter_bank.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace kestrix::engine {

namespace {

// A band runs at a rate of at least this many times its upper edge; octave bands, whose skirts reach
// an octave further, at twice that.
constexpr double dblRatePerUpperEdge = 4.0;

double ratePerUpperEdge(std::int32_t lngBandsPerOctave)
{
    return lngBandsPerOctave == 1 ? 2.0 * dblRatePerUpperEdge : dblRatePerUpperEdge;
}

// The samples handed from one stage to the next at a time, bounding each stage's buffer.
constexpr std::size_t lngStageBlock = 8192;
// The samples at fs gathered for the side thread's first stage at a time: enough that handing them
// over costs little beside filtering them (one block of 8192 does not), two such buffers in all.
constexpr std::size_t lngSideBlock = 65536;

// A frequency as a stage at dblRate sees it after the decimation into it: folded into 0 to dblRate / 2.
double folded(double dblHz, double dblRate)
{
    const double dblIn = std::fmod(dblHz, dblRate);
    return dblIn > dblRate / 2.0 ? dblRate - dblIn : dblIn;
}

} // namespace

OctaveFilterBank::OctaveFilterBank(std::int32_t lngBandsPerOctave, double dblFromHz, double dblSampFreq_,
                                   std::int32_t lngThreads)
    : bandList(analysedBands(lngBandsPerOctave, dblFromHz, dblSampFreq_)), dblSampFreq(dblSampFreq_)
{
    std::int32_t lngDeepest = 0;
    const double dblRatio = ratePerUpperEdge(lngBandsPerOctave);
    for (const OctaveBand& band : bandList) {
        std::int32_t lngStage = 0;
        while (band.dblUpper * dblRatio <= dblSampFreq / std::ldexp(1.0, lngStage + 1)) {
            ++lngStage;
        }
        lngStageOfBand.push_back(lngStage);
        lngDeepest = std::max(lngDeepest, lngStage);
    }
    std::vector<std::vector<std::size_t>> lngMembers(static_cast<std::size_t>(lngDeepest) + 1);
    std::vector<std::vector<std::vector<Biquad>>> designs(lngMembers.size());
    lngLaneOfBand.resize(bandList.size());
    for (std::size_t i = 0; i < bandList.size(); ++i) {
        const auto lngStage = static_cast<std::size_t>(lngStageOfBand[i]);
        const double dblRate = dblSampFreq / std::ldexp(1.0, lngStageOfBand[i]);
        lngLaneOfBand[i] = lngMembers[lngStage].size();
        lngMembers[lngStage].push_back(i);
        designs[lngStage].push_back(
            butterworthBandPass(lngBandOrder, bandList[i].dblLower, bandList[i].dblUpper, dblRate));
    }
    stages.reserve(lngMembers.size());
    for (std::size_t k = 0; k < lngMembers.size(); ++k) {
        stages.push_back(Stage{dblSampFreq / std::ldexp(1.0, static_cast<int>(k)),
                               std::move(lngMembers[k]),
                               designs[k],
                               BandPassBank(designs[k]),
                               HalfbandDecimator(),
                               {}});
    }
    if (lngThreads > 1 && stages.size() > 1) {
        dblGathering.reserve(lngSideBlock + lngStageBlock);
        dblSideInput.reserve(lngSideBlock + lngStageBlock);
        side = std::make_unique<SideThread>();
    }
}

void OctaveFilterBank::addSamples(std::span<const double> dblSignal)
{
    while (!dblSignal.empty()) {
        const std::span<const double> dblBlock = dblSignal.first(std::min(dblSignal.size(), lngStageBlock));
        dblSignal = dblSignal.subspan(dblBlock.size());
        if (!side) {
            stages.front().bank.process(dblBlock);
            runStagesBelowFirst(dblBlock);
            continue;
        }
        dblGathering.insert(dblGathering.end(), dblBlock.begin(), dblBlock.end());
        runStagesBelowFirst(dblBlock);
        if (dblGathering.size() >= lngSideBlock) {
            // The side thread's last block done, the gathered one goes to it, and the caller goes on.
            side->wait();
            std::swap(dblGathering, dblSideInput);
            dblGathering.clear();
            side->start([this] { stages.front().bank.process(dblSideInput); });
        }
    }
}

// The first stage's bands given every sample so far: the side thread's block done, the gathered
// samples filtered here.
void OctaveFilterBank::settle()
{
    if (side) {
        side->wait();
        stages.front().bank.process(dblGathering);
        dblGathering.clear();
    }
}

// The first stage's decimator and every stage below it, from a block at fs: each stage's decimated
// input through its bands, then on into the next.
void OctaveFilterBank::runStagesBelowFirst(std::span<const double> dblInput)
{
    for (std::size_t k = 0; k + 1 < stages.size(); ++k) {
        Stage& stage = stages[k];
        stage.dblOutput.clear();
        stage.decimator.process(dblInput, stage.dblOutput);
        dblInput = stage.dblOutput;
        stages[k + 1].bank.process(dblInput);
    }
}

std::vector<double> OctaveFilterBank::meanSquares()
{
    settle();
    std::vector<double> dblOut(bandList.size(), 0.0);
    for (const Stage& stage : stages) {
        const std::vector<double> dblSums = stage.bank.sumsOfSquares();
        const std::int64_t lngCount = stage.bank.samplesSummed();
        for (std::size_t j = 0; j < stage.lngBands.size(); ++j) {
            dblOut[stage.lngBands[j]] = lngCount > 0 ? dblSums[j] / static_cast<double>(lngCount) : 0.0;
        }
    }
    return dblOut;
}

void OctaveFilterBank::restartAverages()
{
    settle();
    for (Stage& stage : stages) {
        stage.bank.restartSums();
    }
}

std::int32_t OctaveFilterBank::bandStage(std::size_t lngBand) const
{
    return lngStageOfBand.at(lngBand);
}

double OctaveFilterBank::bandMagnitude(std::size_t lngBand, double dblHz) const
{
    const std::int32_t lngStage = lngStageOfBand.at(lngBand);
    double dblMagnitude = 1.0;
    double dblSeen = dblHz;
    for (std::int32_t k = 0; k < lngStage; ++k) {
        const double dblRate = stages[static_cast<std::size_t>(k)].dblRate;
        dblMagnitude *= HalfbandDecimator::magnitude(dblSeen / dblRate);
        dblSeen = folded(dblSeen, dblRate / 2.0);
    }
    const Stage& stage = stages[static_cast<std::size_t>(lngStage)];
    return dblMagnitude * std::abs(cascadeResponse(stage.designs[lngLaneOfBand[lngBand]], dblSeen, stage.dblRate));
}

} // namespace kestrix::engine
