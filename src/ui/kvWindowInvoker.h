#pragma once

#include "kvMainThreadInvoker.h"

#include <QPointer>

#include <atomic>

class QObject;

/// Takes a converter's finish to the window: a blocking queued call into the thread of `window`, run
/// in the window's context. When the window is gone the call is dropped (the converter does not wait
/// for a window that no longer exists). Called on the window's own thread, the call runs directly.
///
/// Thread safety: Invoke from any thread, several at once.
class TkvWindowInvoker : public TkvMainThreadInvoker
{
public:
    explicit TkvWindowInvoker(QObject *window) : window(window) {}
    void Invoke(const std::function<void()> &call) override;
    /// From now on calls are dropped: for a window that is being destroyed.
    void Detach() { detached = true; }

private:
    QPointer<QObject> window;
    std::atomic<bool> detached{false};
};
