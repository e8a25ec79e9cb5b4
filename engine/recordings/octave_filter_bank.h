// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "band_filters.h"
#include "octave_bands.h"
#include "side_thread.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// The fractional-octave filter bank: one Butterworth band-pass a band, run at the lowest rate that
// keeps it accurate, and the mean square of each band's output.
//
// Multirate. The signal is run through a chain of stages: stage 0 at the sampling frequency fs,
// stage k at fs / 2^k, each fed from the one above by a HalfbandDecimator (a 55-tap linear-phase
// half-band low-pass, flat to 0.19 of its input rate and more than 95 dB down from 0.31, then every
// second sample). A band runs at the deepest stage whose rate is at least four times its upper edge
// (eight times for octave bands, whose skirts reach further; stage 0 takes the third-octaves whose
// upper edge lies above fs / 8): at that rate the bilinear transform bends the band's skirts
// so little that neighbouring bands still cross at their shared edge as analogue Butterworth filters
// do, and the half-band's pass band reaches well past the band's skirts (to 1.5 times its upper edge),
// while everything the decimation folds onto the band was removed beforehand. So each stage holds
// one octave of bands, every band below the top stage is filtered with 4.5 to 9 samples a period of
// its midband (11 to 22 for octaves), and a stage costs half the one above: the whole bank about twice
// its top octave. The 25 Hz third-octave band at 48 kHz (5.8 Hz wide) runs at 187.5 Hz.
//
// Filters. Each band is a Butterworth band-pass of 12 poles (order 6 a side: lngBandOrder), its
// -3 dB points on the band's edges, designed at its stage's rate by the bilinear transform with both
// edges prewarped, and run as 6 second-order sections in double precision. Order 6 meets the class 1
// masks with a wide margin where order 3 fails on the lower skirts of the highest bands, and lets the
// band powers add up: summed over the bands, the power responses lie within -0.1 and +0.26 dB of unity
// (a tone anywhere between the lowest and the highest midband reads its level in the band sum, as
// analogue Butterworth bands would to +0.16 dB), except among the bands above fs / 8, which cannot run
// faster than fs: there the bilinear transform squeezes the upper bands' skirts more than their lower
// neighbours', and the sum ripples by up to +-0.8 dB at 48 kHz (the 16 and 20 kHz third-octaves).
// Broadband noise still adds up within a few hundredths of a decibel.
namespace kestrix::engine {

inline constexpr std::int32_t lngBandOrder = 6;

class OctaveFilterBank
{
public:
    // The bands of analysedBands(b, dblFromHz, dblSampFreq) (b as isBandsPerOctave accepts, fs > 0);
    // none is fine (a bank that only counts samples).
    // With lngThreads above 1 the first stage's bands are filtered on a thread of their own, a block
    // behind, while the caller decimates and filters the stages below: the same results, each stage
    // keeping its state.
    OctaveFilterBank(std::int32_t lngBandsPerOctave, double dblFromHz, double dblSampFreq, std::int32_t lngThreads = 1);
    // The side thread works on this bank's own members.
    OctaveFilterBank(const OctaveFilterBank&) = delete;
    OctaveFilterBank& operator=(const OctaveFilterBank&) = delete;

    const std::vector<OctaveBand>& bands() const
    {
        return bandList;
    }

    // Filters the next samples at fs (any number, in any unit).
    void addSamples(std::span<const double> dblSignal);

    // Per band, the mean square of its output since the start (or the last restartAverages), in the
    // input's unit squared: the sum of squares over the samples its stage received. 0 for a band
    // whose stage has received no sample yet.
    std::vector<double> meanSquares();

    // Averages start again from the next sample; the filters keep their state (so a settled bank can
    // measure without its start-up transient).
    void restartAverages();

    // The stage band i runs at: its rate is fs / 2^stage.
    std::int32_t bandStage(std::size_t lngBand) const;

    // The magnitude of band i's response to a sine at dblHz (0 to fs / 2) at the input: the half-band
    // filters of the stages above it at the frequency as each sees it (folded about the lower rate's
    // half), times the band filter at the frequency its stage sees. This is what a steady tone reads.
    double bandMagnitude(std::size_t lngBand, double dblHz) const;

private:
    void runStagesBelowFirst(std::span<const double> dblInput);
    void settle();

    struct Stage
    {
        double dblRate = 0.0;
        std::vector<std::size_t> lngBands; // indices into bandList
        std::vector<std::vector<Biquad>> designs;
        BandPassBank bank;
        HalfbandDecimator decimator; // into the next stage, when there is one
        std::vector<double> dblOutput;
    };

    std::vector<OctaveBand> bandList;
    std::vector<std::int32_t> lngStageOfBand;
    std::vector<std::size_t> lngLaneOfBand;
    std::vector<Stage> stages;
    double dblSampFreq;
    // With more than one thread: the first stage's input gathered, and the block its bands are
    // filtering on the side thread. The thread goes first when the bank goes.
    std::vector<double> dblGathering;
    std::vector<double> dblSideInput;
    std::unique_ptr<SideThread> side;
};

} // namespace kestrix::engine
