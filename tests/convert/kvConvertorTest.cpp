#include "kvConvertor.h"

#include "RecordingConvertor.h"
#include "batchTestProject.h"
#include "testHome.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>

namespace {

class KvConvertorTest : public TkvFolderTest
{
protected:
    void SetUp() override
    {
        TkvFolderTest::SetUp();
        RecordingConvertor::Log = &log;
        project->ConverterClass = &RecordingConvertor::Class();
    }
    void TearDown() override { RecordingConvertor::Log = nullptr; }

    void makePages(int count, const QString &prefix = QStringLiteral("p"))
    {
        for (int i = 0; i < count; ++i)
            BatchWriteFile(root + QStringLiteral("in/%1%2.htm").arg(prefix).arg(i, 3, 10, QChar(u'0')));
    }

    // Runs a whole chain over the job; returns how often the context heard that every member had ended.
    int runChain(TkvBatch &batch, std::atomic<int> &results)
    {
        auto context = RunContextOf(project);
        std::atomic<int> ends{0};
        context->OnAllEnded = [&] { ++ends; };
        auto head = TkvConvertor::CreateChain(
            &batch, root + QStringLiteral("out/"), [&](TkvBatch &, TkvNode &) { ++results; }, context);
        head->Start();
        EXPECT_TRUE(context->WaitUntilNoneRunning(std::chrono::seconds(30)));
        return ends;
    }

    RecordingLog log;
    BatchTestProject project;
};

int chainLength(const std::shared_ptr<TkvConvertor> &head, std::vector<int> *counts = nullptr)
{
    int length = 0;
    for (TkvConvertor *member = head.get(); member; member = member->NextConvertor.get()) {
        ++length;
        if (counts)
            counts->push_back(member->ChainCount);
        EXPECT_NE(dynamic_cast<RecordingConvertor *>(member), nullptr) << "member built from the descriptor's class";
    }
    return length;
}

} // namespace

TEST_F(KvConvertorTest, ChainSizeFollowsThreadsCount)
{
    TkvBatch batch;
    for (const char *value : {"", "0", "-3", "1", "many"}) {
        project->SetOption(QStringLiteral("ThreadsCount"), QString::fromLatin1(value));
        auto context = RunContextOf(project);
        auto head = TkvConvertor::CreateChain(&batch, root + QStringLiteral("out"), {}, context);
        EXPECT_EQ(chainLength(head), 1) << value;
        EXPECT_EQ(head->ChainCount, 1);
        EXPECT_EQ(context->Running(), 1);
    }
    project->SetOption(QStringLiteral("ThreadsCount"), QStringLiteral("4"));
    std::vector<int> counts;
    auto context = RunContextOf(project);
    bool ended = false;
    context->OnAllEnded = [&] { ended = true; };
    auto head = TkvConvertor::CreateChain(&batch, QStringLiteral("file:///out/x%20y"), {}, context);
    EXPECT_EQ(chainLength(head, &counts), 4);
    EXPECT_EQ(counts, (std::vector<int>{4, 3, 2, 1}));
    EXPECT_EQ(context->Running(), 4);
    EXPECT_EQ(batch.TargetDir, QStringLiteral("/out/x y"));
    head.reset(); // a chain that never ran counts no more once released
    EXPECT_EQ(context->Running(), 0);
    EXPECT_TRUE(ended);
}

TEST_F(KvConvertorTest, AHugeThreadsCountGivesABoundedChain)
{
    TkvBatch searching;
    for (const char *value : {"10000000", "$7FFFFFFF"}) {
        project->SetOption(QStringLiteral("ThreadsCount"), QString::fromLatin1(value));
        auto head = TkvConvertor::CreateChain(&searching, root + QStringLiteral("out"), {}, RunContextOf(project));
        std::vector<int> counts;
        EXPECT_EQ(chainLength(head, &counts), TkvConvertor::MaxChainLength) << value;
        EXPECT_EQ(counts.front(), TkvConvertor::MaxChainLength);
        EXPECT_EQ(counts.back(), 1);
    }
    // Once the search is over, no more converters than entries left.
    TkvBatch two;
    two.AddFile(root + QStringLiteral("a.htm"));
    two.AddSingleFile(root + QStringLiteral("b.htm"));
    auto head = TkvConvertor::CreateChain(&two, root + QStringLiteral("out"), {}, RunContextOf(project));
    EXPECT_EQ(chainLength(head), 2);
}

TEST_F(KvConvertorTest, WithoutADescriptorClassThePlainConvertorIsBuilt)
{
    project->ConverterClass = nullptr;
    project->SetOption(QStringLiteral("ThreadsCount"), QStringLiteral("2"));
    TkvBatch batch;
    batch.AddFile(root + QStringLiteral("a.htm"));
    batch.AddSingleFile(root + QStringLiteral("b.htm"));
    std::atomic<int> results{0};
    auto context = RunContextOf(project);
    auto head = TkvConvertor::CreateChain(
        &batch, root + QStringLiteral("out"), [&](TkvBatch &, TkvNode &) { ++results; }, context);
    EXPECT_EQ(dynamic_cast<RecordingConvertor *>(head.get()), nullptr);
    ASSERT_NE(head->NextConvertor, nullptr);
    EXPECT_EQ(dynamic_cast<RecordingConvertor *>(head->NextConvertor.get()), nullptr);
    head->Start();
    EXPECT_TRUE(context->WaitUntilNoneRunning(std::chrono::seconds(30)));
    EXPECT_EQ(results, 2); // handed out, converted by the do-nothing base, reported
}

TEST_F(KvConvertorTest, EveryEntryIsConvertedExactlyOnceWhileTheSearchRuns)
{
    makePages(120);
    for (const char *threads : {"1", "4"}) {
        log.converted.clear();
        log.convertedBy.clear();
        project->SetOption(QStringLiteral("ThreadsCount"), QString::fromLatin1(threads));
        project->SetOption(QStringLiteral("IsOverwrite"), QStringLiteral("True"));
        TkvBatch batch;
        batch.StartSearch(root + QStringLiteral("in/*.htm"), root + QStringLiteral("out"), false);
        std::atomic<int> results{0};
        const int ends = runChain(batch, results); // starts while the search may still be running
        EXPECT_EQ(ends, 1);
        EXPECT_EQ(results, 120);
        EXPECT_EQ(batch.Successes, 120);
        std::vector<int> seen = log.converted;
        if (std::string(threads) == "1") {
            EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << "one worker keeps the append order";
        }
        std::sort(seen.begin(), seen.end());
        ASSERT_EQ(seen.size(), 120u);
        for (int i = 0; i < 120; ++i)
            EXPECT_EQ(seen[i], i);
        const auto &nodes = batch.LockNodes();
        for (const auto &node : nodes) {
            EXPECT_EQ(node->Status, TkvNode::Success);
            EXPECT_EQ(BatchReadFile(node->Message), "converted:" + node->FileName.toUtf8());
        }
        batch.UnlockNodes();
    }
}

TEST_F(KvConvertorTest, FailuresAndExceptionsAreReportedAndTheRunGoesOn)
{
    project->SetOption(QStringLiteral("ThreadsCount"), QStringLiteral("2"));
    TkvBatch batch;
    for (const char *name : {"ok1.htm", "fail.htm", "throw.htm", "ok2.htm"})
        BatchWriteFile(root + QStringLiteral("in/") + QString::fromLatin1(name));
    batch.StartSearch(root + QStringLiteral("in/*.htm"), root + QStringLiteral("out"), false);
    std::mutex statusLock;
    std::map<QString, int> statusAtCallback;
    auto context = RunContextOf(project);
    auto head = TkvConvertor::CreateChain(
        &batch, root + QStringLiteral("out"),
        [&](TkvBatch &, TkvNode &node) {
            std::lock_guard guard(statusLock);
            statusAtCallback[TkvPath::NamePart(node.FileName)] = node.Status;
        },
        context);
    head->Start();
    ASSERT_TRUE(context->WaitUntilNoneRunning(std::chrono::seconds(30)));
    EXPECT_EQ(statusAtCallback,
              (std::map<QString, int>{{"fail.htm", 2}, {"ok1.htm", 1}, {"ok2.htm", 1}, {"throw.htm", 2}}));
    EXPECT_EQ(batch.Successes, 2);
    EXPECT_EQ(batch.Failures, 2);
    ASSERT_EQ(batch.Errors.size(), 2);
    EXPECT_TRUE(batch.Errors.contains(QStringLiteral("Recording converter refused the entry.")));
}

TEST_F(KvConvertorTest, StopWhileEveryWorkerWaitsLetsEachTakeAtMostOneMoreEntry)
{
    // A job whose search starts only when the test says so: the workers find an empty queue.
    class GatedBatch : public TkvBatch
    {
    public:
        ~GatedBatch() override
        {
            Open();
            WaitFor();
        }
        void Open()
        {
            std::lock_guard guard(lock);
            open = true;
            changed.notify_all();
        }

    protected:
        void Execute() override
        {
            {
                std::unique_lock guard(lock);
                changed.wait(guard, [&] { return open; });
            }
            TkvBatch::Execute();
        }

    private:
        std::mutex lock;
        std::condition_variable changed;
        bool open = false;
    };

    makePages(12);
    project->SetOption(QStringLiteral("ThreadsCount"), QStringLiteral("4"));
    GatedBatch batch;
    batch.StartSearch(root + QStringLiteral("in/*.htm"), root + QStringLiteral("out"), false);
    auto context = RunContextOf(project);
    auto head = TkvConvertor::CreateChain(&batch, root + QStringLiteral("out"), {}, context);
    std::vector<const TkvConvertor *> members;
    for (TkvConvertor *member = head.get(); member; member = member->NextConvertor.get())
        members.push_back(member);
    head->Start();
    ASSERT_TRUE(log.WaitFor([&] { return log.inExecute == 4; }));
    head->Stop();
    for (const TkvConvertor *member : members)
        EXPECT_TRUE(member->Terminated());
    batch.Open();
    ASSERT_TRUE(context->WaitUntilNoneRunning(std::chrono::seconds(30)));
    for (const TkvConvertor *member : members) {
        EXPECT_TRUE(BatchWaitUntil([member] { return member->Finished(); }));
        EXPECT_LE(log.CountBy(member), 1);
    }
    batch.WaitFor();
    EXPECT_LE(int(log.converted.size()), 4);
    EXPECT_EQ(batch.NodeCount(), 12); // the rest stays queued for a later run
}

TEST_F(KvConvertorTest, StopAndReleaseAfterSomeMembersHaveEnded)
{
    project->SetOption(QStringLiteral("ThreadsCount"), QStringLiteral("4"));
    log.gateOpen = false;
    TkvBatch batch;
    batch.AddFile(root + QStringLiteral("wait.htm"));
    for (int i = 0; i < 6; ++i)
        batch.AddFile(root + QStringLiteral("fail%1.htm").arg(i));
    batch.AddSingleFile(root + QStringLiteral("fail-last.htm"));
    auto context = RunContextOf(project);
    auto head = TkvConvertor::CreateChain(&batch, root + QStringLiteral("out"), {}, context);
    head->Start();
    // One member holds the waiting entry; the other three drain the queue and end.
    ASSERT_TRUE(BatchWaitUntil([&] { return context->Running() == 1; }));
    head->Stop(); // touches ended members: they must still be valid
    head.reset(); // the owner lets go while one member still runs
    log.OpenGate();
    ASSERT_TRUE(context->WaitUntilNoneRunning(std::chrono::seconds(30)));
    EXPECT_EQ(batch.Failures, 7);
}
