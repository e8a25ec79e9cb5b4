// SPDX-License-Identifier: GPL-3.0-or-later
#include "ordered_jobs.h"

namespace kestrix::cli {

OrderedJobs::OrderedJobs(int lngWorkers, std::size_t lngWindow_, Emit emit_)
    : lngWindow(lngWindow_ < 1 ? 1 : lngWindow_), emit(std::move(emit_))
{
    for (int i = 0; i < lngWorkers; ++i) {
        workers.emplace_back([this] { workerLoop(); });
    }
}

OrderedJobs::~OrderedJobs()
{
    finish();
}

void OrderedJobs::submit(Work work)
{
    std::unique_lock lock(mutex);
    queue.emplace_back(lngSubmitted++, std::move(work));
    cvWork.notify_one();
    emitReady(lock);
    while (lngSubmitted - lngEmitted >= lngWindow) {
        cvDone.wait(lock);
        emitReady(lock);
    }
}

void OrderedJobs::finish()
{
    {
        std::unique_lock lock(mutex);
        blnClosed = true;
        cvWork.notify_all();
        emitReady(lock);
        while (lngEmitted < lngSubmitted) {
            cvDone.wait(lock);
            emitReady(lock);
        }
    }
    for (std::thread& worker : workers) {
        if (worker.joinable()) {
            worker.join();
        }
    }
}

// Emits the reports that are next in order, without holding the lock while they are printed.
void OrderedJobs::emitReady(std::unique_lock<std::mutex>& lock)
{
    for (auto report = finished.find(lngEmitted); report != finished.end(); report = finished.find(lngEmitted)) {
        FileReport ready = std::move(report->second);
        finished.erase(report);
        ++lngEmitted;
        lock.unlock();
        emit(ready);
        lock.lock();
    }
}

void OrderedJobs::workerLoop()
{
    std::unique_lock lock(mutex);
    for (;;) {
        cvWork.wait(lock, [this] { return blnClosed || !queue.empty(); });
        if (queue.empty()) {
            return;
        }
        auto [lngIndex, work] = std::move(queue.front());
        queue.pop_front();
        lock.unlock();
        FileReport report = work();
        lock.lock();
        finished.emplace(lngIndex, std::move(report));
        cvDone.notify_all();
    }
}

} // namespace kestrix::cli
