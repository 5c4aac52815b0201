#pragma once

#include <functional>

/// Hands a call to the program's main thread without waiting for it. A run uses it to take its end
/// from the converter that ends last to where the window's state lives.
///
/// Thread safety: Post may be called from any thread, by several at once.
class TkvMainThreadInvoker
{
public:
    virtual ~TkvMainThreadInvoker() = default;
    /// Queues `call` to run on the main thread and returns at once.
    virtual void Post(std::function<void()> call) = 0;
};
