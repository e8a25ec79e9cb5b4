// SPDX-License-Identifier: GPL-3.0-or-later
#include "side_thread.h"

#include <cassert>
#include <utility>

namespace kestrix::engine {

SideThread::SideThread() : thread([this] { loop(); }) {}

SideThread::~SideThread()
{
    {
        const std::lock_guard lock(mutex);
        blnStopping = true;
    }
    changed.notify_all();
    thread.join();
}

void SideThread::loop()
{
    std::unique_lock lock(mutex);
    while (true) {
        changed.wait(lock, [this] { return blnStopping || blnPending; });
        if (!blnPending) {
            return;
        }
        std::function<void()> current = std::move(task);
        task = nullptr;
        lock.unlock();
        std::exception_ptr raised;
        try {
            current();
        } catch (...) {
            raised = std::current_exception();
        }
        lock.lock();
        failure = raised;
        blnPending = false;
        changed.notify_all();
    }
}

void SideThread::start(std::function<void()> newTask)
{
    {
        const std::lock_guard lock(mutex);
        assert(!blnPending);
        task = std::move(newTask);
        blnPending = true;
    }
    changed.notify_all();
}

void SideThread::wait()
{
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return !blnPending; });
    if (failure) {
        std::rethrow_exception(std::exchange(failure, nullptr));
    }
}

} // namespace kestrix::engine
