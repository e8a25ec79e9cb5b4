// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis_job.h"

namespace kestrix::ui {

AnalysisJob::AnalysisJob(QObject* parent) : QObject(parent) {}

AnalysisJob::~AnalysisJob()
{
    // Before the QObject goes: the work's last message to it is then dropped with the object's events.
    stopAndWait();
}

void AnalysisJob::start(Work work)
{
    stopAndWait();
    progress.blnCancel.store(false);
    progress.dblDone.store(0.0);
    const unsigned lngThisRun = ++lngRun;
    thrWork = std::thread([this, lngThisRun, work = std::move(work)] {
        work(progress);
        QMetaObject::invokeMethod(
            this, [this, lngThisRun] { workReturned(lngThisRun); }, Qt::QueuedConnection);
    });
}

void AnalysisJob::cancel()
{
    progress.blnCancel.store(true);
}

void AnalysisJob::stopAndWait()
{
    if (thrWork.joinable()) {
        progress.blnCancel.store(true);
        thrWork.join();
    }
}

void AnalysisJob::workReturned(unsigned lngReturned)
{
    // A work stopped by a newer start has been waited for already; only the current one finishes.
    if (lngReturned != lngRun || !thrWork.joinable()) {
        return;
    }
    thrWork.join();
    emit finished();
}

} // namespace kestrix::ui
