#pragma once

// A converter for tests of the chain: it records every entry it handles, writes a small target file
// the way the product's converter does (target path, write, count, post-process), and fails or waits
// on demand. Header-only so that the support library needs no link to the conversion layer.

#include "batchTestProject.h"
#include "kvBatch.h"
#include "kvConvertor.h"
#include "kvPath.h"
#include "kvRunContext.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

/// The context of a run started now with the test project's options, as CreateChain takes it.
inline std::shared_ptr<TkvRunContext> RunContextOf(const BatchTestProject &project)
{
    return std::make_shared<TkvRunContext>(project.Options());
}

/// What the recording converters of one test saw and may do. Install with `RecordingConvertor::Log`.
struct RecordingLog
{
    std::mutex lock;
    std::condition_variable changed;
    std::vector<int> converted;                    ///< entry indexes, in the order Convert began
    std::vector<const TkvConvertor *> convertedBy; ///< the converter of each entry of `converted`
    int inExecute = 0;                             ///< converters that have begun their loop
    int waiting = 0;                               ///< converters blocked at the gate right now
    bool gateOpen = true;                          ///< false: entries whose name holds "wait" block

    void OpenGate()
    {
        std::lock_guard guard(lock);
        gateOpen = true;
        changed.notify_all();
    }
    /// Waits until `done` holds (checked under the lock after every change), at most `limit`.
    template <class Pred> bool WaitFor(Pred done, std::chrono::seconds limit = std::chrono::seconds(30))
    {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, limit, done);
    }
    int CountBy(const TkvConvertor *convertor)
    {
        std::lock_guard guard(lock);
        return int(std::count(convertedBy.begin(), convertedBy.end(), convertor));
    }
};

/// Entry names (the name part) decide the outcome: "fail" gives a reported failure, "throw" an exception out of
/// Convert, "wait" blocks until the log's gate is open; any other entry is written to its target.
class RecordingConvertor : public TkvConvertor
{
public:
    explicit RecordingConvertor(TkvBatch *batch) : TkvConvertor(batch) {}
    static inline RecordingLog *Log = nullptr;
    static const TkvConvertorClass &Class()
    {
        static const TkvConvertorClassOf<RecordingConvertor> recording;
        return recording;
    }
    using TkvConvertor::AdjustTargetName;

protected:
    void Execute() override
    {
        {
            std::lock_guard guard(Log->lock);
            ++Log->inExecute;
            Log->changed.notify_all();
        }
        TkvConvertor::Execute();
    }

    void Convert(TkvBatch &batch, TkvNode &node) override
    {
        const QString name = TkvPath::NamePart(node.FileName);
        {
            std::unique_lock guard(Log->lock);
            Log->converted.push_back(node.Index);
            Log->convertedBy.push_back(this);
            Log->changed.notify_all();
            if (name.contains(QLatin1String("wait"))) {
                ++Log->waiting;
                Log->changed.notify_all();
                Log->changed.wait(guard, [] { return Log->gateOpen; });
                --Log->waiting;
            }
        }
        if (name.contains(QLatin1String("throw")))
            throw std::runtime_error("Recording converter refused the entry.");
        if (name.contains(QLatin1String("fail"))) {
            const QString text = QStringLiteral("Cannot convert \"%1\".").arg(node.FileName);
            node.Status = TkvNode::Failure;
            node.Message = text;
            batch.AddFailure(text);
            return;
        }
        const QString target = ComputeTargetPath(batch, node);
        if (target.isEmpty())
            return;
        QFile file(target);
        if (!file.open(QIODevice::WriteOnly)) {
            const QString text = QStringLiteral("Cannot create file \"%1\".").arg(target);
            node.Status = TkvNode::Failure;
            node.Message = text;
            batch.AddFailure(text);
            return;
        }
        file.write("converted:" + node.FileName.toUtf8());
        file.close();
        node.Status = TkvNode::Success;
        node.Message = target;
        batch.AddSuccess();
        PostProcess(batch, node, target);
    }
};
