#pragma once

#include <QString>

/// Copies file times from one file to another. Linux keeps no settable creation time, so the access
/// and modification times are copied, with nanoseconds.
///
/// Thread safety: stateless; any thread.
class TkvFileTimes
{
public:
    /// Gives `target` the access and modification times of `source` (links followed). Returns false,
    /// changing nothing, when either file cannot be reached.
    static bool Copy(const QString &source, const QString &target);
};
