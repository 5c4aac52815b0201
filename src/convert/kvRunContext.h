#pragma once

#include "kvRunOptions.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

struct TkvEngineParts;
class TkvPageRenderer;

/// What the converters of one chain share with the run that started them: the run's options, the
/// engine's parts, the page renderer when scripts are to run, and the count of converters still
/// running. The run and every converter hold it,
/// so it lives until the last of them has let go.
///
/// Counting: a converter counts from the moment it joins the chain until its run has ended (or until
/// it is destroyed without having run). The converter that brings the count to zero calls OnAllEnded
/// on its own thread and then wakes whoever waits; after that no converter of the chain touches the
/// job again.
///
/// Thread safety: Options, Engine and Renderer are read-only and thread-safe (the renderer itself is); the count and the wait from any
/// thread. OnAllEnded is set before the chain starts.
class TkvRunContext
{
public:
    explicit TkvRunContext(TkvRunOptions options, std::shared_ptr<TkvEngineParts> engine = nullptr,
                           std::shared_ptr<TkvPageRenderer> renderer = nullptr);

    const TkvRunOptions Options;
    const std::shared_ptr<TkvEngineParts> Engine; ///< null: nothing is shared between conversions
    /// Renders the pages when their scripts are to run; null: pages are read as they are stored.
    const std::shared_ptr<TkvPageRenderer> Renderer;
    /// Called once, on the thread of the converter that ends last. Must not block on the main thread.
    std::function<void()> OnAllEnded;

    /// Converters counted now.
    int Running() const;
    /// Waits until no converter is counted and OnAllEnded has returned, at most `timeout`; true then.
    bool WaitUntilNoneRunning(std::chrono::milliseconds timeout) const;

    /// One converter more (a converter joining the chain).
    void Joined();
    /// One converter fewer: the last call made for a converter that has ended.
    void Ended();

private:
    mutable std::mutex lock;
    mutable std::condition_variable noneRunning;
    int running = 0;
    bool inHandler = false; // OnAllEnded is running
};
