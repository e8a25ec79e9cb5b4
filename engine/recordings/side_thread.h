// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace kestrix::engine {

// One task at a time run on a thread of its own while the caller does other work: for analyses whose
// work parts into two independent halves (each half keeping its own state, so the results do not
// depend on which thread runs it).
class SideThread
{
public:
    SideThread();
    // Waits for the task running, if any, and ends the thread.
    ~SideThread();
    SideThread(const SideThread&) = delete;
    SideThread& operator=(const SideThread&) = delete;

    // Starts task on the side thread; the previous one must have been waited for.
    void start(std::function<void()> task);
    // Waits for the task started last (at once when there is none); an exception it raised is raised
    // here.
    void wait();

private:
    void loop();

    std::mutex mutex;
    std::condition_variable changed;
    std::function<void()> task;
    bool blnPending = false;
    bool blnStopping = false;
    std::exception_ptr failure;
    std::thread thread;
};

} // namespace kestrix::engine
