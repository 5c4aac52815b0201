#pragma once

#include <QString>

/// The signals that ask an unattended run to end (SIGTERM, SIGINT, SIGHUP), caught while an object of
/// this class lives. The first one is only recorded, so that the run can stop in order: take no new
/// page, let the pages in progress end, write its log. From then on those signals have the system's
/// effect again, so a second one ends the process at once (whatever temporary files that leaves are
/// removed by a later run; see TkvAtomicFile::RemoveLeftovers). The destructor puts back the handling
/// there was before.
///
/// Thread safety: at most one object at a time, made and destroyed on the main thread; Received from
/// any thread.
class TkvStopSignals
{
public:
    TkvStopSignals();
    ~TkvStopSignals();
    TkvStopSignals(const TkvStopSignals &) = delete;
    TkvStopSignals &operator=(const TkvStopSignals &) = delete;

    /// The number of the first signal received while an object lived; 0 when none was.
    static int Received();
    /// "SIGTERM", "SIGINT" or "SIGHUP"; "signal <n>" for any other number.
    static QString Name(int signal);
};
