#include "kvWorkBase.h"

#include "kvBatch.h"

#include <system_error>

TkvWorkBase::TkvWorkBase(TkvBatch *batch) : Batch(batch)
{}

TkvWorkBase::~TkvWorkBase()
{
    std::lock_guard guard(threadLock);
    if (!thread.joinable())
        return;
    // The last owner may be the worker itself, as its thread releases the object.
    if (thread.get_id() == std::this_thread::get_id())
        thread.detach();
    else
        thread.join();
}

bool TkvWorkBase::Resume()
{
    {
        std::lock_guard guard(threadLock);
        if (thread.joinable() || finished)
            return true;
        try {
            thread = std::thread([self = shared_from_this()] { self->run(); });
            return true;
        } catch (const std::system_error &) {
            // fall through: end the worker as if its run had ended at once
        }
    }
    terminated = true;
    DoTerminate();
    finished = true;
    return false;
}

void TkvWorkBase::run()
{
    try {
        Execute();
    } catch (...) {
        // Execute handles every entry's errors itself; anything else only ends this worker.
    }
    try {
        DoTerminate();
    } catch (...) {
    }
    finished = true;
}

void TkvWorkBase::Execute()
{
    while (!Terminated()) {
        TkvNode *node = Batch->NextNode();
        if (!node) {
            Terminate();
            break;
        }
        CurrentEntry = node;
        QString failure;
        try {
            ProcessEntry();
            continue;
        } catch (const std::exception &e) {
            failure = QString::fromUtf8(e.what());
        } catch (...) {
            failure = QStringLiteral("The conversion of \"%1\" failed with an unknown error.").arg(node->FileName);
        }
        // An entry whose processing broke off is a failure, counted and kept like any other.
        {
            std::lock_guard guard(Batch->NodesLock());
            node->Status = TkvNode::Failure;
            node->Message = failure;
        }
        Batch->AddFailure(failure);
    }
}

void TkvWorkBase::ProcessEntry()
{}

void TkvWorkBase::DoTerminate()
{}
