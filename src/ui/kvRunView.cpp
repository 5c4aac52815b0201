#include "kvRunView.h"

#include "kvMainThreadInvoker.h"
#include "kvNode.h"
#include "kvResultModel.h"
#include "kvRun.h"

TkvRunView::TkvRunView(TkvResultModel &model, std::function<void()> finished, const TkvRunOptions &options,
                       TkvMainThreadInvoker *mainThread, std::function<void()> searched)
    : model(model), generation(model.Generation()), finished(std::move(finished)), searched(std::move(searched)),
      mainThread(mainThread), run(std::make_unique<TkvRun>(options, *this, mainThread))
{}

TkvRunView::~TkvRunView()
{
    alive.reset();
}

void TkvRunView::SearchFinished(TkvRun &)
{
    if (!searched || !mainThread)
        return;
    // The run is stopped and joined in the destructor, but the posted call may come after it.
    mainThread->Post([this, alive = std::weak_ptr<int>(alive)] {
        if (alive.lock())
            searched();
    });
}

void TkvRunView::EntryAdded(TkvRun &, TkvNode &entry)
{
    model.PostAdded(generation, entry.Index, entry.FileName);
}

void TkvRunView::EntryDone(TkvRun &, TkvNode &entry)
{
    // On the worker that has just finished this entry: it alone writes Status and Message.
    model.PostDone(generation, entry.Index, entry.Status, entry.FileName, entry.Message);
}

void TkvRunView::RunFinished(TkvRun &)
{
    if (finished)
        finished();
}
