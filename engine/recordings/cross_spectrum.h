// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "averaged_spectrum.h"
#include "window_function.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// The averaged auto- and cross-spectra of two channels recorded together, an input x and an output y
// (Welch's method, as the averaged spectrum: the same segments, window, overlap and detrending, the
// mean over the segments). A pure computation fed with both channels' converter counts chunk by chunk:
// no files, no shared state, memory bounded by a few N-point buffers whatever the length.
namespace kestrix::engine {

// The outcome of a cross-spectral averaging. Per line k from 0 Hz to half the rate (N / 2 + 1 lines),
// in counts^2, X and Y being the unscaled transforms of a windowed segment of x and of y: the means
// over the segments of |X[k]|^2, |Y[k]|^2 and conj(X[k]) Y[k] (so a y that is x delayed has the phase
// of a delay, as scipy.signal.csd(x, y) has it). All 0 without a segment.
struct CrossSpectra
{
    AverageSettings settings;
    std::int64_t lngSamples = 0;        // samples received per channel
    std::int64_t lngSegments = 0;       // segments transformed: segmentCount(lngSamples, N, p)
    WindowFigures figures;              // of the window used
    std::vector<double> dblInputPower;  // mean |X[k]|^2
    std::vector<double> dblOutputPower; // mean |Y[k]|^2
    std::vector<double> dblCrossRe;     // real part of the mean conj(X[k]) Y[k]
    std::vector<double> dblCrossIm;     // its imaginary part
};

// Averages two channels given chunk by chunk, in step. With FFTW (the settings' transform), each channel's
// segment has its own real-input transform. With the engine's FFT, each segment is transformed once: x as
// the real and y as the imaginary part of one complex transform, parted by the transform's symmetry;
// before the transform y is scaled by a power of two that brings its size near x's, and the part taken
// out is scaled back: exact in binary floating point, so a channel far smaller than the other keeps its
// own relative precision instead of inheriting the larger one's rounding. A segment of zeros only (a
// silent channel) has a transform of exact zeros. The segments are transformed on lngThreads threads
// (SegmentPipeline) and their products summed in their order on the caller's thread: the same bits
// whatever the number of threads.
class CrossSpectrumAverager
{
public:
    // settings must meet their ranges, with Averaging::Mean (the settings' blnToHalfRate is not used:
    // the spectra always reach half the rate); dblPI is the program's pi (computePI).
    CrossSpectrumAverager(const AverageSettings& settings, double dblPI, std::int32_t lngThreads = 1);
    CrossSpectrumAverager(const CrossSpectrumAverager&) = delete;
    CrossSpectrumAverager& operator=(const CrossSpectrumAverager&) = delete;

    // Takes the next samples of both channels, in counts: dblInput and dblOutput of one size (any,
    // also none), sample i of one recorded with sample i of the other.
    void addSamples(std::span<const double> dblInput, std::span<const double> dblOutput);

    std::int64_t samplesReceived() const
    {
        return runs.samples();
    }

    // The averages. Call once, last.
    CrossSpectra finish();

private:
    // The samples of segment s of both channels at s * step of their runs (SegmentRuns), each segment
    // windowed into dblInput and dblOutput in turn; per segment its four products' lines at
    // 4 * s * lines (|X|^2, |Y|^2, Re and Im of conj(X) Y).
    struct Slot
    {
        std::vector<double> dblInputRun;
        std::vector<double> dblOutputRun;
        SegmentBuffer dblInput;
        SegmentBuffer dblOutput;
        SegmentBuffer dblScratch;
        std::vector<double> dblProducts;
        std::size_t lngSegments = 0;
        std::int64_t lngFirstSegment = 0; // the number of its first segment
    };

    void transformSlot(Slot& slot) const;
    void productsOf(std::span<double> dblInput, std::span<double> dblOutput, std::span<double> dblProducts,
                    SegmentBuffer& dblScratch) const;
    void addProducts(Slot& slot); // and empties it

    AverageSettings settings;
    RealTransform transform;
    std::int32_t lngStep;
    std::size_t lngLines;
    std::size_t lngSlotSegments;
    std::vector<double> dblWindow;
    CrossSpectra sums; // the sums so far
    SegmentRuns runs;
    std::vector<Slot> workSlots;
    std::unique_ptr<SegmentPipeline> pipeline;
    Slot* filling = nullptr; // the slot taking segments, if any
};

} // namespace kestrix::engine
