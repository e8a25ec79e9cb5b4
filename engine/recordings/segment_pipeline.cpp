// SPDX-License-Identifier: GPL-3.0-or-later
#include "segment_pipeline.h"

#include <algorithm>
#include <cassert>
#include <utility>

namespace kestrix::engine {

std::int32_t analysisThreads(std::int32_t lngAsked)
{
    const auto lngCores = static_cast<std::int32_t>(
        std::min<unsigned>(std::thread::hardware_concurrency(), static_cast<unsigned>(lngMaxAnalysisThreads)));
    return std::clamp(lngAsked > 0 ? lngAsked : lngCores, std::int32_t{1}, lngMaxAnalysisThreads);
}

SegmentPipeline::SegmentPipeline(std::int32_t lngThreads, SlotTask work, SlotTask take)
    : work(std::move(work)), take(std::move(take)),
      lngSlots(lngThreads <= 1 ? 1 : 2 * static_cast<std::size_t>(std::min(lngThreads, lngMaxAnalysisThreads))),
      blnDone(lngSlots, 0), failures(lngSlots)
{
    // The caller works too when it waits: one thread fewer is started.
    if (lngThreads > 1) {
        workers.reserve(lngSlots / 2 - 1);
        try {
            for (std::size_t t = 0; t + 1 < lngSlots / 2; ++t) {
                workers.emplace_back([this] { workerLoop(); });
            }
        } catch (...) {
            // Fewer threads than asked still give the same results; none at all: the caller works alone.
        }
    }
}

SegmentPipeline::~SegmentPipeline()
{
    {
        const std::lock_guard lock(mutex);
        blnStopping = true;
    }
    changed.notify_all();
    for (std::thread& worker : workers) {
        worker.join();
    }
}

void SegmentPipeline::workerLoop()
{
    std::unique_lock lock(mutex);
    while (true) {
        changed.wait(lock, [this] { return blnStopping || lngStarted < lngHandedOver; });
        if (blnStopping) {
            return;
        }
        runWork(lngStarted++, lock);
    }
}

// Runs work on the slot of lngIndex (already counted as started) without the lock.
void SegmentPipeline::runWork(std::uint64_t lngIndex, std::unique_lock<std::mutex>& lock)
{
    const std::size_t lngSlot = lngIndex % lngSlots;
    lock.unlock();
    std::exception_ptr failure;
    try {
        work(lngSlot);
    } catch (...) {
        failure = std::current_exception();
    }
    lock.lock();
    failures[lngSlot] = failure;
    blnDone[lngSlot] = 1;
    changed.notify_all();
}

std::size_t SegmentPipeline::nextSlot()
{
    std::unique_lock lock(mutex);
    if (lngHandedOver - lngTaken == lngSlots) {
        takeOldest(lock);
    }
    return lngHandedOver % lngSlots;
}

void SegmentPipeline::handOver()
{
    std::unique_lock lock(mutex);
    assert(lngHandedOver - lngTaken < lngSlots);
    ++lngHandedOver;
    if (workers.empty()) {
        takeOldest(lock); // works on the slot itself first
        return;
    }
    lock.unlock();
    changed.notify_one();
}

// Waits for the oldest slot handed over (working on slots not yet started meanwhile), then takes it.
void SegmentPipeline::takeOldest(std::unique_lock<std::mutex>& lock)
{
    const std::size_t lngSlot = lngTaken % lngSlots;
    while (!blnDone[lngSlot]) {
        if (lngStarted < lngHandedOver) {
            runWork(lngStarted++, lock);
        } else {
            changed.wait(lock);
        }
    }
    blnDone[lngSlot] = 0;
    const std::exception_ptr failure = std::exchange(failures[lngSlot], nullptr);
    lock.unlock();
    // The slot stays counted until it is taken: no one fills or works on it meanwhile.
    struct Release
    {
        std::unique_lock<std::mutex>& lock;
        std::uint64_t& lngTaken;
        ~Release()
        {
            lock.lock();
            ++lngTaken;
        }
    } release{lock, lngTaken};
    if (failure) {
        std::rethrow_exception(failure);
    }
    take(lngSlot);
}

void SegmentPipeline::finish()
{
    std::unique_lock lock(mutex);
    while (lngTaken < lngHandedOver) {
        takeOldest(lock);
    }
}

SegmentRuns::SegmentRuns(std::int32_t lngNumSamp, std::int32_t lngStep, std::size_t lngSlotSegments)
    : lngNumSamp(static_cast<std::size_t>(lngNumSamp)), lngStep(static_cast<std::size_t>(lngStep)),
      lngSlotSegments(lngSlotSegments), lngNextEnd(lngNumSamp)
{
    assert(lngStep >= 1 && lngStep <= lngNumSamp && lngSlotSegments >= 1);
}

bool SegmentRuns::taken(std::size_t lngTaken)
{
    lngSamples += static_cast<std::int64_t>(lngTaken);
    assert(lngSamples <= lngNextEnd);
    if (lngSamples < lngNextEnd) {
        return false;
    }
    ++lngRunSegments;
    lngNextEnd += static_cast<std::int64_t>(lngStep);
    return true;
}

void SegmentRuns::startNextRun()
{
    assert(runFull());
    lngRunFirst += static_cast<std::int64_t>(lngSlotSegments * lngStep);
    lngRunFirstSegment += static_cast<std::int64_t>(lngRunSegments);
    lngRunSegments = 0;
}

} // namespace kestrix::engine
