// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

// Many segments of one recording worked on at once, their results taken in the order they came. The
// caller fills a slot, hands it over, and is given the finished slots back one by one in that order:
// whatever the number of threads, every result is summed exactly as one thread would sum it, so the
// output is the same to the bit. Memory is the caller's slots: a fixed number, whatever the length.
namespace kestrix::engine {

// The threads an analysis uses when asked for lngAsked: lngAsked itself when positive, else every
// core the machine reports (at least 1); never more than lngMaxAnalysisThreads.
std::int32_t analysisThreads(std::int32_t lngAsked);
inline constexpr std::int32_t lngMaxAnalysisThreads = 64;

// On more than one thread a slot holds segments worth about this many samples (one segment at least):
// few enough hand-overs that passing them between threads costs next to nothing beside short
// transforms (an hour at 4096 points hands over 2 637 slots of 32 segments; a quarter of this made
// four times as many, and an hour's averaging on two cores about a fifth slower). A slot holds at most
// about 1 MB of samples (N = 65536: two segments).
inline constexpr std::size_t lngSlotSamples = 128 * 1024;

class SegmentPipeline
{
public:
    // Told the index of a slot (0 to slotCount() - 1). work runs on any thread, on one slot at a time, and
    // must touch nothing but that slot (and what no one writes); take runs on the caller's thread, in
    // the order the slots were handed over. With lngThreads <= 1 no thread is started: handOver runs
    // work, then take, before it returns.
    using SlotTask = std::function<void(std::size_t lngSlot)>;
    SegmentPipeline(std::int32_t lngThreads, SlotTask work, SlotTask take);
    ~SegmentPipeline();
    SegmentPipeline(const SegmentPipeline&) = delete;
    SegmentPipeline& operator=(const SegmentPipeline&) = delete;

    // Slots the caller keeps: two per thread, so that every thread finds one ready while the caller
    // fills the next.
    std::size_t slotCount() const
    {
        return lngSlots;
    }

    // The slot to fill next. When every slot is handed over, the caller first waits for the oldest
    // (working on waiting slots itself meanwhile) and takes it.
    std::size_t nextSlot();

    // Hands over the slot nextSlot gave, filled.
    void handOver();

    // Takes every slot handed over, in order. An exception raised by work is raised here (or by
    // nextSlot) when its slot's turn comes.
    void finish();

private:
    void workerLoop();
    void takeOldest(std::unique_lock<std::mutex>& lock);
    void runWork(std::uint64_t lngIndex, std::unique_lock<std::mutex>& lock);

    SlotTask work;
    SlotTask take;
    std::size_t lngSlots;
    std::mutex mutex;
    std::condition_variable changed;
    // Counters of slots since the start: taken <= started <= handed over; slot = counter mod lngSlots.
    std::uint64_t lngTaken = 0;
    std::uint64_t lngStarted = 0;
    std::uint64_t lngHandedOver = 0;
    std::vector<char> blnDone;
    std::vector<std::exception_ptr> failures;
    bool blnStopping = false;
    std::vector<std::thread> workers;
};

// Where the samples of a recording's overlapping segments go (N samples each, lngStep apart): a slot
// holds lngSlotSegments consecutive segments as one run of samples, segment s of the slot at
// s * lngStep, so that each sample is copied once (and the few the next slot's first segment shares
// with this one once more) however much the segments overlap; the threads window the segments
// themselves. This keeps the count: the caller copies the samples where it is told.
class SegmentRuns
{
public:
    SegmentRuns(std::int32_t lngNumSamp, std::int32_t lngStep, std::size_t lngSlotSegments);

    // The samples a slot's run holds: (lngSlotSegments - 1) * lngStep + N.
    std::size_t runSamples() const
    {
        return (lngSlotSegments - 1) * lngStep + lngNumSamp;
    }
    // Of lngOffered samples, those that go into the run now (up to the end of the next segment), and
    // where in the run the first of them goes.
    std::size_t nextTake(std::size_t lngOffered) const
    {
        return static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(lngOffered), lngNextEnd - lngSamples));
    }
    std::size_t runAt() const
    {
        return static_cast<std::size_t>(lngSamples - lngRunFirst);
    }
    // Counts lngTaken samples (as nextTake gave); true when they complete a segment.
    bool taken(std::size_t lngTaken);
    // Segments complete in the run.
    std::size_t runSegments() const
    {
        return lngRunSegments;
    }
    bool runFull() const
    {
        return lngRunSegments == lngSlotSegments;
    }
    // After a full run: the next run's start. carry copies the samples the next run's first segments
    // share with the full one's last from dblFull to the start of dblNext (which may be dblFull
    // itself: the samples move down).
    void startNextRun();
    void carry(std::span<const double> dblFull, std::span<double> dblNext) const
    {
        const auto lngFrom = static_cast<std::ptrdiff_t>(lngSlotSegments * lngStep);
        std::copy(dblFull.begin() + lngFrom,
                  dblFull.begin() + lngFrom + static_cast<std::ptrdiff_t>(lngNumSamp - lngStep), dblNext.begin());
    }
    std::int64_t samples() const
    {
        return lngSamples;
    }
    // The number of the run's first segment, from 0.
    std::int64_t firstSegment() const
    {
        return lngRunFirstSegment;
    }

private:
    std::size_t lngNumSamp;
    std::size_t lngStep;
    std::size_t lngSlotSegments;
    std::int64_t lngSamples = 0;  // samples counted
    std::int64_t lngRunFirst = 0; // the sample at the start of the run
    std::int64_t lngNextEnd;      // the sample count at which the next segment is complete
    std::size_t lngRunSegments = 0;
    std::int64_t lngRunFirstSegment = 0;
};

// Takes lngCount samples into the runs of a pipeline's slots (filling: the slot taking them, if any):
// copyIn(slot, lngFrom, lngTake, lngRunAt) copies samples lngFrom to lngFrom + lngTake - 1 of the
// chunk into the slot's run(s) at lngRunAt; a slot whose run is full is handed over, and the next
// one starts with carryOver(full, next), which copies the shared samples (SegmentRuns::carry) of each
// run. Each slot is told its segments (lngSegments) and the number of its first (lngFirstSegment).
template <typename Slot, typename CopyIn, typename CarryOver>
void feedRuns(SegmentRuns& runs, SegmentPipeline& pipeline, std::vector<Slot>& slotsOwned, Slot*& filling,
              std::size_t lngCount, CopyIn copyIn, CarryOver carryOver)
{
    std::size_t lngDone = 0;
    while (lngDone < lngCount) {
        if (filling == nullptr) {
            filling = &slotsOwned[pipeline.nextSlot()];
            filling->lngFirstSegment = runs.firstSegment();
        }
        const std::size_t lngTake = runs.nextTake(lngCount - lngDone);
        copyIn(*filling, lngDone, lngTake, runs.runAt());
        lngDone += lngTake;
        if (!runs.taken(lngTake)) {
            continue;
        }
        filling->lngSegments = runs.runSegments();
        if (runs.runFull()) {
            Slot& full = *filling;
            pipeline.handOver();
            filling = &slotsOwned[pipeline.nextSlot()];
            carryOver(full, *filling);
            runs.startNextRun();
            filling->lngFirstSegment = runs.firstSegment();
        }
    }
}

} // namespace kestrix::engine
