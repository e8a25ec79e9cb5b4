// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// The temporary files a process has open for writing, removed when SIGINT or SIGTERM ends it: a run
// cut short leaves neither half a file under its final name (the writers rename only what is complete)
// nor a temporary file beside it. (On Windows, which has no such signals, the marks and deferrals do
// nothing: a console's Ctrl+C ends the process without a handler of ours.)
namespace kestrix::platform {

// Installs the handlers of SIGINT and SIGTERM (once, from main; without it the signals end the process
// as they would). The handler removes every temporary file marked at that moment, then lets the signal
// end the process as it would have. While a set of files is being put in place (SignalDeferral) the
// signal waits until they are all in place or all restored.
void removeTemporaryFilesOnSignals();

// Marks a path as a temporary file for as long as it lives (or until released). Marking is safe on any
// thread; a process with more temporary files at once than the marks hold (thousands) leaves the extra
// ones unmarked.
class TemporaryFileMark
{
public:
    explicit TemporaryFileMark(const std::string& strPath);
    ~TemporaryFileMark();
    TemporaryFileMark(const TemporaryFileMark&) = delete;
    TemporaryFileMark& operator=(const TemporaryFileMark&) = delete;

    // Creates the marked file, which must not exist yet, for writing (createNewFile of posix_file.h);
    // its descriptor, or -1 with the errno in intErrno. A signal's handler waits for creations under
    // way; once the process is ending nothing more is created, a file made meanwhile is removed at once,
    // and the call never returns.
    int createNew(int& intErrno) const;

    // The path is no temporary file any more (renamed into place, or removed).
    void release();

private:
    std::string strPath;
    int lngSlot = -1; // where the signal handler finds the path; -1 while unmarked
};

// Holds SIGINT and SIGTERM back for its lifetime, on every thread: a signal that comes meanwhile ends
// the process (removing the temporary files) when the last deferral ends.
class SignalDeferral
{
public:
    SignalDeferral();
    ~SignalDeferral();
    SignalDeferral(const SignalDeferral&) = delete;
    SignalDeferral& operator=(const SignalDeferral&) = delete;
};

} // namespace kestrix::platform
