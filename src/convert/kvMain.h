#pragma once

#include "kvRunObserver.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>

class TkvBatch;
class TkvRun;

/// The console runner: converts the current project's source without any window. It starts one run
/// (TkvRun) with the project's options, shows a progress line on a terminal while the converters work,
/// and lets the run do its end: usage counters, the failure report, and the result lines written to
/// LogFile. One instance for the process; it runs at most once.
///
/// Thread safety: Run on the main thread; the observer calls come from the run's threads and touch
/// nothing of the runner.
class TkvMain : public TkvRunObserver
{
public:
    TkvMain();
    ~TkvMain() override;
    TkvMain(const TkvMain &) = delete;
    TkvMain &operator=(const TkvMain &) = delete;

    /// The whole run: search, convert with ThreadsCount workers, wait until every converter has ended,
    /// then the end of the run and one summary line on standard error (TkvRun::Summary). A Source that
    /// names a folder without a mask means that folder's pages. An empty Target means each archive is
    /// written beside its source (the source's folder is the target; a web address's archive goes to
    /// the current folder).
    /// Lines on standard error, each beginning "web2arc: ", also say when RegExt is not a valid
    /// expression and when no page was found (TkvRun::NothingFound).
    /// SIGTERM, SIGINT or SIGHUP stop the run in order: no new page is started, the pages in progress
    /// end, the log holds every page reported and a last line saying the run was interrupted. A second
    /// signal ends the process at once.
    /// Returns the exit code: 128 + the number of such a signal when one came, else 1 when the Source
    /// itself was wrong (see NothingFound), else 0.
    /// REQUIRES: Project set. Throws std::runtime_error when the log file cannot be written (the
    /// archives are already written and counted); start-up prints it as one line and ends with exit
    /// code 1.
    int Run();

    /// The run's job; null before Run. Kept until the runner is destroyed.
    TkvBatch *Batch() const;
    /// The run's "%s => %s => %s" lines in the order the entries were reported.
    QStringList Results() const;

    void EntryAdded(TkvRun &run, TkvNode &entry) override;
    void EntryDone(TkvRun &run, TkvNode &entry) override;
    void RunFinished(TkvRun &run) override;

private:
    void showProgress(std::chrono::steady_clock::time_point start) const;
    /// Called about every 100 ms while the run converts: interrupts it when a stop signal came.
    void checkSignals();
    void clearProgress() const;

    std::unique_ptr<TkvRun> run;
    bool terminal = false; // standard error is a terminal: a progress line is shown
};

/// The one process-wide console runner; null until start-up creates it.
extern TkvMain *Main;
