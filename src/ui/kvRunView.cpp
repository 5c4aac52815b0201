#include "kvRunView.h"

#include "kvNode.h"
#include "kvResultModel.h"
#include "kvRun.h"

TkvRunView::TkvRunView(TkvResultModel &model, std::function<void()> finished, const TkvRunOptions &options,
                       TkvMainThreadInvoker *mainThread)
    : model(model), generation(model.Generation()), finished(std::move(finished)),
      run(std::make_unique<TkvRun>(options, *this, mainThread))
{}

TkvRunView::~TkvRunView() = default;

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
