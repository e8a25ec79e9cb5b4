// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <atomic>
#include <functional>
#include <thread>

namespace kestrix::ui {

// What a job's work sees of its job: the share done, to report, and whether to stop.
class JobProgress
{
public:
    // Records the share done (0 to 1; negative when not known) and answers whether to go on.
    bool report(double dblShare)
    {
        dblDone.store(dblShare, std::memory_order_relaxed);
        return !blnCancel.load(std::memory_order_relaxed);
    }
    bool cancelled() const
    {
        return blnCancel.load(std::memory_order_relaxed);
    }

private:
    friend class AnalysisJob;
    std::atomic<double> dblDone{0.0};
    std::atomic<bool> blnCancel{false};
};

// Long work off the window's thread: one at a time on a thread of its own, told to stop through its
// JobProgress. finished() comes on the window's thread once the work has returned; the work must
// catch its own failures (an escaping exception ends the program). Destroying the job stops and
// waits for the work, so nothing it touches may die before the job.
class AnalysisJob final : public QObject
{
    Q_OBJECT

public:
    using Work = std::function<void(JobProgress& progress)>;

    explicit AnalysisJob(QObject* parent = nullptr);
    ~AnalysisJob() override;
    AnalysisJob(const AnalysisJob&) = delete;
    AnalysisJob& operator=(const AnalysisJob&) = delete;

    // Runs work; a job still running is first told to stop and waited for (its finished() never comes).
    void start(Work work);
    // Tells the running work to stop; finished() still comes when it has returned.
    void cancel();
    bool running() const
    {
        return thrWork.joinable();
    }
    // The share the work last reported (0 to 1; negative when it cannot tell).
    double share() const
    {
        return progress.dblDone.load(std::memory_order_relaxed);
    }

signals:
    void finished();

private:
    void stopAndWait();
    void workReturned(unsigned lngRun);

    JobProgress progress;
    std::thread thrWork;
    unsigned lngRun = 0; // counts the works started, so a stopped one's return is told apart
};

} // namespace kestrix::ui
