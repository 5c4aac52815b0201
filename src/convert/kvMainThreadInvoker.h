#pragma once

#include <functional>

/// Hands a call to the program's main thread and waits until it has returned. Converters use it to run
/// OnFinish where the window's state lives.
///
/// Thread safety: Invoke may be called from any thread, by several at once.
class TkvMainThreadInvoker
{
public:
    virtual ~TkvMainThreadInvoker() = default;
    /// Runs `call` on the main thread and returns after it has returned. Called on the main thread
    /// itself, it runs `call` directly (a queued call would deadlock).
    virtual void Invoke(const std::function<void()> &call) = 0;
};

/// The Qt implementation: a blocking queued call into the QCoreApplication's thread, which must be
/// running its event loop while converters end. Without an application object the call runs directly.
class TkvQtMainThreadInvoker : public TkvMainThreadInvoker
{
public:
    void Invoke(const std::function<void()> &call) override;
};
