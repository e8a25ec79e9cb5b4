// SPDX-License-Identifier: GPL-3.0-or-later
#include "temporary_files.h"

#include "posix_file.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <unistd.h>

namespace kestrix::platform {

namespace {

// Room for the temporary files of -j 1024 with a few files each.
constexpr std::size_t lngSlots = 4096;

// The marked paths (heap copies). A slot is taken by exchanging a null pointer for the path and given
// back by exchanging it for null; the handler only reads them. A path given back while the handler
// may be reading it is left allocated rather than freed under its feet.
std::array<std::atomic<char*>, lngSlots> pchMarked{};
std::atomic<bool> blnRemoving{false};
std::atomic<int> lngCreating{0}; // temporary files being created at this moment
std::atomic<int> intPendingSignal{0};
// The deferrals in force, with a flag for a signal that came: one word, so that a signal and a deferral
// starting or ending at once see each other in one order.
constexpr unsigned lngSignalCame = 1U << 31;
constexpr unsigned lngDeferralMask = lngSignalCame - 1;
std::atomic<unsigned> lngDeferralState{0};

[[noreturn]] void waitForTheEnd()
{
    for (;;) {
        ::pause();
    }
}

// Removes every marked file and ends the process by intSignal. Only async-signal-safe calls.
void removeAndEnd(int intSignal)
{
    blnRemoving.store(true);
    // A creation under way on another thread removes its own file once it sees the flag, and none starts
    // after it; one under way on this thread never resumes, and its file (if made) is marked and
    // removed below: the wait is bounded for it.
    constexpr int lngWaits = 200;
    for (int i = 0; i < lngWaits && lngCreating.load() > 0; ++i) {
        const timespec tsMillisecond{0, 1000 * 1000};
        ::nanosleep(&tsMillisecond, nullptr);
    }
    for (std::atomic<char*>& slot : pchMarked) {
        if (const char* pchPath = slot.load(); pchPath != nullptr) {
            ::unlink(pchPath);
        }
    }
    std::signal(intSignal, SIG_DFL);
    std::raise(intSignal);
}

extern "C" void onEndingSignal(int intSignal)
{
    intPendingSignal.store(intSignal);
    // With deferrals in force the last of them to end sees the flag and ends the process.
    if ((lngDeferralState.fetch_or(lngSignalCame) & lngDeferralMask) != 0) {
        return;
    }
    removeAndEnd(intSignal);
}

} // namespace

void removeTemporaryFilesOnSignals()
{
    struct sigaction action
    {
    };
    action.sa_handler = &onEndingSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int intSignal : {SIGINT, SIGTERM}) {
        ::sigaction(intSignal, &action, nullptr);
    }
}

TemporaryFileMark::TemporaryFileMark(const std::string& strPath) : strPath(strPath)
{
    char* pchPath = ::strdup(strPath.c_str());
    if (pchPath == nullptr) {
        return;
    }
    for (std::size_t i = 0; i < lngSlots; ++i) {
        char* pchFree = nullptr;
        if (pchMarked[i].compare_exchange_strong(pchFree, pchPath)) {
            lngSlot = static_cast<int>(i);
            return;
        }
    }
    std::free(pchPath);
}

int TemporaryFileMark::createNew(int& intErrno) const
{
    // Unmarked (no slot was free) the file is made all the same.
    // Counted before the flag is read: a handler that saw no creation under way set the flag first, so
    // a creation counted after that sees the flag and makes nothing.
    lngCreating.fetch_add(1);
    if (blnRemoving.load()) {
        lngCreating.fetch_sub(1);
        waitForTheEnd();
    }
    const int fd = createNewFile(strPath, intErrno);
    if (blnRemoving.load()) {
        // The handler may have looked for the file before it was made.
        if (fd >= 0) {
            ::unlink(strPath.c_str());
        }
        lngCreating.fetch_sub(1);
        waitForTheEnd();
    }
    lngCreating.fetch_sub(1);
    return fd;
}

TemporaryFileMark::~TemporaryFileMark()
{
    release();
}

void TemporaryFileMark::release()
{
    if (lngSlot < 0) {
        return;
    }
    char* pchPath = pchMarked[static_cast<std::size_t>(lngSlot)].exchange(nullptr);
    lngSlot = -1;
    if (!blnRemoving.load()) {
        std::free(pchPath);
    }
}

SignalDeferral::SignalDeferral()
{
    if ((lngDeferralState.fetch_add(1) & lngSignalCame) == 0) {
        return;
    }
    // The process is ending: nothing more is put in place. The last deferral to go ends it (the handler
    // does, where there was none).
    if ((lngDeferralState.fetch_sub(1) & lngDeferralMask) == 1) {
        removeAndEnd(intPendingSignal.load());
    }
    waitForTheEnd();
}

SignalDeferral::~SignalDeferral()
{
    const unsigned lngBefore = lngDeferralState.fetch_sub(1);
    if ((lngBefore & lngDeferralMask) == 1 && (lngBefore & lngSignalCame) != 0) {
        removeAndEnd(intPendingSignal.load());
    }
}

} // namespace kestrix::platform
