// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestrix::cli {

// What one FILE of a batch printed, and its exit status.
struct FileReport
{
    std::string strOut;
    std::string strErr;
    int lngStatus = 0;
};

// Runs jobs on worker threads and hands their reports to emit on the calling thread, in the order the
// jobs were submitted, so the output is what running them one after the other would print. At most
// lngWindow jobs are submitted and not yet emitted: submit waits (emitting) while the window is full,
// which bounds the memory whatever the number of jobs.
class OrderedJobs
{
public:
    using Work = std::function<FileReport()>;
    using Emit = std::function<void(FileReport&)>;

    OrderedJobs(int lngWorkers, std::size_t lngWindow, Emit emit);
    ~OrderedJobs();
    OrderedJobs(const OrderedJobs&) = delete;
    OrderedJobs& operator=(const OrderedJobs&) = delete;

    void submit(Work work);
    // Waits for every job and emits the reports not yet emitted.
    void finish();

private:
    void workerLoop();
    void emitReady(std::unique_lock<std::mutex>& lock);

    std::size_t lngWindow;
    Emit emit;
    std::mutex mutex;
    std::condition_variable cvWork;
    std::condition_variable cvDone;
    std::deque<std::pair<std::size_t, Work>> queue;
    std::map<std::size_t, FileReport> finished;
    std::size_t lngSubmitted = 0;
    std::size_t lngEmitted = 0;
    bool blnClosed = false;
    std::vector<std::thread> workers;
};

} // namespace kestrix::cli
