#pragma once

// A converter for window runs without the archive engine: it writes a small file at the computed
// target, fails every page whose name holds "bad", and can be held at a gate so a test decides when
// each file is converted.

#include "kvBatch.h"
#include "kvConvertor.h"

#include <QFile>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <mutex>

/// Lets converters through one file at a time. Open by default.
class TkvTestGate
{
public:
    void Limit(int permits)
    {
        std::lock_guard guard(lock);
        this->permits = permits;
        signal.notify_all();
    }
    void Open() { Limit(INT_MAX); }
    /// Waits for a permit, at most 60 s (a test that forgets to open the gate fails instead of hanging).
    void Pass()
    {
        std::unique_lock guard(lock);
        signal.wait_for(guard, std::chrono::seconds(60), [this] { return permits > 0; });
        if (permits > 0 && permits != INT_MAX)
            --permits;
    }

private:
    std::mutex lock;
    std::condition_variable signal;
    int permits = INT_MAX;
};

inline TkvTestGate *TestGate = nullptr;

class TkvTestConvertor : public TkvConvertor
{
public:
    using TkvConvertor::TkvConvertor;

protected:
    void Convert(TkvBatch &batch, TkvNode &node) override
    {
        if (TestGate)
            TestGate->Pass();
        const QString target = ComputeTargetPath(batch, node);
        if (target.isEmpty())
            return;
        QString failure;
        if (node.FileName.contains(QLatin1String("bad")))
            failure = QStringLiteral("Cannot read \"%1\": the page is refused?").arg(node.FileName);
        else {
            QFile out(target);
            if (!out.open(QIODevice::WriteOnly) || out.write("MIME-Version: 1.0\r\n") < 0)
                failure = QStringLiteral("Cannot create file \"%1\".").arg(target);
        }
        std::lock_guard guard(batch.NodesLock());
        node.Status = failure.isEmpty() ? TkvNode::Success : TkvNode::Failure;
        node.Message = failure.isEmpty() ? target : failure;
        if (failure.isEmpty())
            batch.AddSuccess();
        else
            batch.AddFailure(failure);
    }
};

inline const TkvConvertorClassOf<TkvTestConvertor> TestConvertorClass;
