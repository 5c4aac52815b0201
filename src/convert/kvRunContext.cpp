#include "kvRunContext.h"

#include "kvEngineParts.h"
#include "kvPageRenderer.h"

TkvRunContext::TkvRunContext(TkvRunOptions options, std::shared_ptr<TkvEngineParts> engine,
                             std::shared_ptr<TkvPageRenderer> renderer)
    : Options(std::move(options)), Engine(std::move(engine)), Renderer(std::move(renderer))
{}

int TkvRunContext::Running() const
{
    std::lock_guard guard(lock);
    return running;
}

bool TkvRunContext::WaitUntilNoneRunning(std::chrono::milliseconds timeout) const
{
    std::unique_lock wait(lock);
    return noneRunning.wait_for(wait, timeout, [this] { return running <= 0 && !inHandler; });
}

void TkvRunContext::Joined()
{
    std::lock_guard guard(lock);
    ++running;
}

void TkvRunContext::Ended()
{
    {
        std::lock_guard guard(lock);
        if (--running > 0)
            return;
        inHandler = true;
    }
    // Outside the lock, so the handler may look at the count; a waiter returns only after it.
    try {
        if (OnAllEnded)
            OnAllEnded();
    } catch (...) {
        // the handler only hands the end on; a failure there must not end the process from a worker
    }
    std::lock_guard guard(lock);
    inHandler = false;
    noneRunning.notify_all();
}
