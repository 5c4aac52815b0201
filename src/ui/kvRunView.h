#pragma once

#include "kvRunObserver.h"

#include <QtGlobal>

#include <functional>
#include <memory>

class TkvMainThreadInvoker;
class TkvResultModel;
class TkvRun;
class TkvRunOptions;

/// A run as the window shows it: owns the run and observes it. Entries the run queues and finishes
/// become row updates of the result model, tagged with the list's generation at the view's creation,
/// so late reports of a replaced run never reach a new list; the end of the run becomes a call of
/// `finished` on the window thread.
///
/// Thread safety: EntryAdded and EntryDone from the run's threads (they only queue model updates);
/// everything else on the window thread. Destroying the view stops the run and waits for it.
class TkvRunView : public TkvRunObserver
{
public:
    /// REQUIRES: `model` and `mainThread` outlive the view; the model was just reset for this run.
    /// `searched` (may be empty) is called on the window thread when the run's search has ended.
    TkvRunView(TkvResultModel &model, std::function<void()> finished, const TkvRunOptions &options,
               TkvMainThreadInvoker *mainThread, std::function<void()> searched = {});
    ~TkvRunView() override;

    TkvRun &Run() const { return *run; }

    void EntryAdded(TkvRun &run, TkvNode &entry) override;
    void EntryDone(TkvRun &run, TkvNode &entry) override;
    void RunFinished(TkvRun &run) override;
    void SearchFinished(TkvRun &run) override;

private:
    TkvResultModel &model;
    const quint64 generation;
    const std::function<void()> finished;
    const std::function<void()> searched;
    TkvMainThreadInvoker *mainThread;
    std::shared_ptr<int> alive = std::make_shared<int>(0); ///< lets a posted call see the view is gone
    std::unique_ptr<TkvRun> run; // last: it goes first, while what it reports to still exists
};
