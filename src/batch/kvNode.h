#pragma once

#include <QString>

#include <functional>

class TkvBatch;

/// One queue entry of a batch job: a file (or web address) to convert and its outcome. Owned by its
/// job and alive until the job is destroyed; everyone else holds plain pointers.
///
/// Thread safety: `Index`, `FileName` and `TargetName` are fixed once the entry is queued. `Status`
/// and `Message` are written by the one worker that took the entry; readers on other threads take the
/// job's lock.
struct TkvNode
{
    static constexpr int Running = 0;
    static constexpr int Success = 1;
    static constexpr int Failure = 2;

    int Status = Running;
    int Index = 0;    ///< position in the job's list, also the entry's result row
    QString FileName; ///< full source path, or the text of a single add
    /// The archive's path below the target, chosen by a site search ("api/x.mht"); empty: the
    /// converter names the archive after FileName.
    QString TargetName;
    QString Message; ///< target path on success, error text on failure
};

/// A callback taking the job and one of its entries: the job's added-entry callback and the
/// converters' per-file result callback. Runs on the thread that produced the event.
using TkvNodeEvent = std::function<void(TkvBatch &, TkvNode &)>;
