#pragma once

class TkvRun;
struct TkvNode;

/// What a run tells whoever watches it: the console run (result lines, progress line) and the window
/// (the result list, the status bar). Each call names the thread it comes on; the observer keeps its
/// own state safe.
class TkvRunObserver
{
public:
    virtual ~TkvRunObserver() = default;
    /// `entry` was queued: on the search thread, or on the thread that added a single file.
    virtual void EntryAdded(TkvRun &run, TkvNode &entry) = 0;
    /// A converter has finished `entry` (Status and Message set): on that converter's thread, several
    /// at once when the run has several converters.
    virtual void EntryDone(TkvRun &run, TkvNode &entry) = 0;
    /// The run's search has ended (also after a single file was queued): on the search thread, or on
    /// the thread that queued the single file.
    virtual void SearchFinished(TkvRun &) {}
    /// Every converter of the run has ended and the end-of-run work is done: on the run's main thread.
    virtual void RunFinished(TkvRun &run) = 0;
};
