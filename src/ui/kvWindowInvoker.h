#pragma once

#include "kvMainThreadInvoker.h"

#include <QPointer>

#include <atomic>

class QObject;

/// Takes a run's end to the window: a queued call into the thread of `window`, run in the window's
/// context. When the window is gone, or has been detached, the call is dropped.
///
/// Thread safety: Post from any thread, several at once.
class TkvWindowInvoker : public TkvMainThreadInvoker
{
public:
    explicit TkvWindowInvoker(QObject *window) : window(window) {}
    void Post(std::function<void()> call) override;
    /// From now on calls are dropped: for a window that is being destroyed.
    void Detach() { detached = true; }

private:
    QPointer<QObject> window;
    std::atomic<bool> detached{false};
};
