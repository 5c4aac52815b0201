#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

class TkvBatch;
struct TkvNode;

/// A worker thread serving one batch job's queue. Created suspended (constructed, not started);
/// Resume starts the thread, which runs Execute and then DoTerminate, and holds its own object alive
/// until then, so an owner may drop its reference at any time ("free on terminate").
///
/// Worker loop (Execute): until the terminated flag is set, take the next entry with the job's
/// NextNode (none: set the flag and end), store it as CurrentEntry and call ProcessEntry. An
/// exception escaping ProcessEntry marks the entry failed (Status 2, the exception's text as Message,
/// counted through AddFailure) and the loop goes on. The flag is tested between entries only: a
/// worker stopped while it waits inside NextNode still processes the entry that arrives next.
///
/// Thread safety: Resume, Terminate and Terminated may be called from any thread; CurrentEntry belongs
/// to the worker thread. REQUIRES: the object is owned by a std::shared_ptr before Resume.
class TkvWorkBase : public std::enable_shared_from_this<TkvWorkBase>
{
public:
    /// REQUIRES: `batch` outlives the worker.
    explicit TkvWorkBase(TkvBatch *batch);
    virtual ~TkvWorkBase();
    TkvWorkBase(const TkvWorkBase &) = delete;
    TkvWorkBase &operator=(const TkvWorkBase &) = delete;

    TkvBatch *const Batch;           ///< not owned
    TkvNode *CurrentEntry = nullptr; ///< the entry being processed; not owned

    /// Starts the thread; later calls do nothing. Returns false when no thread could be created (the
    /// worker then counts as ended: DoTerminate has run on the calling thread).
    bool Resume();
    /// Sets the terminated flag: the loop ends before its next entry.
    void Terminate() { terminated = true; }
    bool Terminated() const { return terminated; }
    /// True once the thread has finished DoTerminate (or the start failed).
    bool Finished() const { return finished; }

protected:
    /// The worker loop described above.
    virtual void Execute();
    /// Handles CurrentEntry; the base version does nothing.
    virtual void ProcessEntry();
    /// Runs once on the worker's thread after Execute; the base version does nothing.
    virtual void DoTerminate();

private:
    void run();

    std::atomic<bool> terminated{false};
    std::atomic<bool> finished{false};
    std::mutex threadLock;
    std::thread thread;
};
