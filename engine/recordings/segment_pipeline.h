// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
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
// transforms.
inline constexpr std::size_t lngSlotSamples = 32 * 1024;

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

} // namespace kestrix::engine
