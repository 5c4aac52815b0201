// One run: the job, the chain, the result lines and the end of the run, for the console and the window.
#include "kvRun.h"

#include "batchTestProject.h"
#include "fileSizeLimit.h"
#include "kvBatch.h"
#include "kvConvertor.h"
#include "kvFileError.h"
#include "kvInfo.h"
#include "kvMainThreadInvoker.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QThread>

#include <gtest/gtest.h>

#include <deque>
#include <mutex>

namespace {

/// Converts by name, without files: "fail:<text>" fails with <text>, anything else succeeds with
/// "/out/" + the name as its target.
class TkvNameConvertor : public TkvConvertor
{
public:
    using TkvConvertor::TkvConvertor;
    static const TkvConvertorClass &Class()
    {
        static const TkvConvertorClassOf<TkvNameConvertor> names;
        return names;
    }

protected:
    void Convert(TkvBatch &batch, TkvNode &node) override
    {
        const bool fails = node.FileName.startsWith(QLatin1String("fail:"));
        const QString message = fails ? node.FileName.mid(5) : QStringLiteral("/out/") + node.FileName;
        {
            std::lock_guard guard(batch.NodesLock());
            node.Status = fails ? TkvNode::Failure : TkvNode::Success;
            node.Message = message;
        }
        if (fails)
            batch.AddFailure(message);
        else
            batch.AddSuccess();
    }
};

/// Keeps what a run tells its watcher; the calls from worker threads are counted under a lock.
class TkvRecordingObserver : public TkvRunObserver
{
public:
    void EntryAdded(TkvRun &, TkvNode &) override
    {
        std::lock_guard guard(lock);
        ++added;
    }
    void EntryDone(TkvRun &, TkvNode &) override
    {
        std::lock_guard guard(lock);
        ++done;
    }
    void RunFinished(TkvRun &run) override
    {
        ++finished;
        finishedOnMainThread = QThread::currentThread() == mainThread;
        convertingWhenFinished = run.IsConverting();
    }
    std::mutex lock;
    int added = 0;
    int done = 0;
    int finished = 0;
    bool finishedOnMainThread = false;
    bool convertingWhenFinished = true;
    QThread *const mainThread = QThread::currentThread();
};

/// Holds posted calls until the test runs them, as an event loop would.
class TkvQueueInvoker : public TkvMainThreadInvoker
{
public:
    void Post(std::function<void()> call) override
    {
        std::lock_guard guard(lock);
        calls.push_back(std::move(call));
    }
    /// Runs what is queued; the number of calls run.
    int RunQueued()
    {
        std::deque<std::function<void()>> now;
        {
            std::lock_guard guard(lock);
            now.swap(calls);
        }
        for (const auto &call : now)
            call();
        return int(now.size());
    }
    std::mutex lock;
    std::deque<std::function<void()>> calls;
};

class KvRunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        info = std::make_unique<TkvInfo>(TkvProductInfo{QStringLiteral("Batch WEB2ARC Converter"),
                                                        QStringLiteral("2024.16.511.3122"), QStringLiteral("web2arc")});
        Info = info.get();
        project->ConverterClass = &TkvNameConvertor::Class();
    }
    void TearDown() override { Info = nullptr; }

    /// A run over the single entries `names`, converted with the test project's options.
    std::unique_ptr<TkvRun> runOf(const QStringList &names, TkvMainThreadInvoker *mainThread = nullptr)
    {
        auto run = std::make_unique<TkvRun>(project.Options(), observer, mainThread);
        for (const QString &name : names)
            run->AddSingleFile(name);
        return run;
    }

    QTemporaryDir dir;
    BatchTestProject project;
    const QStringList &opened = project.Home().Opened();
    std::unique_ptr<TkvInfo> info;
    TkvRecordingObserver observer;
};

} // namespace

TEST(KvRunLinesTest, ResultLinesNameTheStatusSourceAndMessage)
{
    const auto line = [](int status, const char *file, const char *message) {
        TkvNode node;
        node.Status = status;
        node.FileName = QString::fromUtf8(file);
        node.Message = QString::fromUtf8(message);
        return TkvRun::ResultLine(node);
    };
    EXPECT_EQ(line(1, "/in/page.htm", "/out/page.mht"), QStringLiteral("Success => /in/page.htm => /out/page.mht"));
    EXPECT_EQ(line(2, "/in/bad.htm", "Cannot open it."), QStringLiteral("Failure => /in/bad.htm => Cannot open it."));
    // A skipped entry keeps its empty message; any other status value reads Running.
    EXPECT_EQ(line(1, "/in/a.htm", ""), QStringLiteral("Success => /in/a.htm => "));
    EXPECT_EQ(line(0, "a", "b"), QStringLiteral("Running => a => b"));
    EXPECT_EQ(line(7, "a", "b"), QStringLiteral("Running => a => b"));
    // The window's list as it is exported: the word in brackets.
    EXPECT_EQ(TkvRun::ListLine(2, QStringLiteral("/in/b.htm"), QStringLiteral("x")),
              QStringLiteral("[Failure] => /in/b.htm => x"));
    EXPECT_EQ(TkvRun::ListLine(0, QStringLiteral("/in/c.htm"), QString()),
              QStringLiteral("[Running] => /in/c.htm => "));
}

TEST(KvRunLinesTest, ControlCharactersInNamesCannotSplitOrForgeALine)
{
    TkvNode node;
    node.Status = TkvNode::Success;
    node.FileName = QStringLiteral("/in/a\nSuccess => /in/forged.htm => /out/forged.mht\r.htm");
    node.Message = QStringLiteral("/out/tab\there\x1B[2J\x7F\u0085\u2028.mht");
    EXPECT_EQ(TkvRun::ResultLine(node),
              QStringLiteral("Success => /in/a\\nSuccess => /in/forged.htm => /out/forged.mht\\r.htm => "
                             "/out/tab\\there\\x1B[2J\\x7F\\x85\\u2028.mht"));
    EXPECT_EQ(TkvRun::ListLine(2, QStringLiteral("x\ny"), QStringLiteral("bad\u2029")),
              QStringLiteral("[Failure] => x\\ny => bad\\u2029"));
    // Everything else is written as it is, backslashes and text outside ASCII included.
    EXPECT_EQ(TkvRun::LogText(QStringLiteral("C:\\dir\\caf\u00e9 \u4e2d.htm")),
              QStringLiteral("C:\\dir\\caf\u00e9 \u4e2d.htm"));
}

TEST(KvRunLinesTest, CommaTextQuotesItemsWithBlanksCommasAndQuotes)
{
    EXPECT_EQ(TkvRun::CommaText({QStringLiteral("a?b"), QStringLiteral("x")}), QStringLiteral("a?b,x"));
    EXPECT_EQ(TkvRun::CommaText({QStringLiteral("has space"), QStringLiteral("c,d"), QStringLiteral("say \"hi\""),
                                 QStringLiteral("tab\there"), QString(), QStringLiteral("plain")}),
              QStringLiteral("\"has space\",\"c,d\",\"say \"\"hi\"\"\",\"tab\there\",,plain"));
    EXPECT_EQ(TkvRun::CommaText({}), QString());
    EXPECT_EQ(TkvRun::FailureAction({QStringLiteral("a?b"), QStringLiteral("x")}), QStringLiteral("err&e=a%3Fb,x"));
}

TEST(KvRunLinesTest, FailureReportOfManyTextsStaysShortAndCountsWhatItLeftOut)
{
    // 20,000 distinct failures would otherwise make an address of megabytes, which no opener takes.
    QStringList errors;
    for (int i = 0; i < 20000; ++i)
        errors << QStringLiteral("Cannot open \"/in/page-%1.htm\": Permission denied").arg(i);
    const QString action = TkvRun::FailureAction(errors);
    EXPECT_LE(action.size(), TkvRun::MaxFailureReportLength + 200);
    EXPECT_TRUE(action.startsWith(QStringLiteral("err&e=\"Cannot open \"\"/in/page-0.htm\"\": Permission denied\",")));
    const qsizetype kept = action.count(QStringLiteral("Permission denied"));
    EXPECT_GT(kept, 10);
    EXPECT_TRUE(action.endsWith(QStringLiteral(",\"(and %1 more)\"").arg(20000 - kept)))
        << action.right(80).toStdString();

    // One text longer than the limit is still reported rather than dropped.
    const QString longText(3000, QLatin1Char('x'));
    EXPECT_EQ(TkvRun::FailureAction({longText}), QStringLiteral("err&e=") + longText);
    // A short list is reported whole.
    EXPECT_EQ(TkvRun::FailureAction({QStringLiteral("a"), QStringLiteral("b")}), QStringLiteral("err&e=a,b"));
}

TEST_F(KvRunTest, TheEndOfARunCountsReportsOnceAndWritesTheLog)
{
    const QString log = dir.filePath(QStringLiteral("run.log"));
    auto run = runOf({QStringLiteral("caf\u00e9.htm"), QStringLiteral("fail:a?b"), QStringLiteral("fail:a?b"),
                      QStringLiteral("fail:x")});
    run->LogFile = log;
    run->Convert(project.Options(), dir.filePath(QStringLiteral("out/")));
    run->Wait();

    EXPECT_FALSE(run->IsConverting());
    EXPECT_EQ(observer.finished, 1);
    EXPECT_EQ(observer.added, 4);
    EXPECT_EQ(observer.done, 4);
    EXPECT_EQ(run->Job().Failures, 3);
    EXPECT_EQ(run->Job().Errors, (QStringList{QStringLiteral("a?b"), QStringLiteral("x")}));
    EXPECT_EQ(info->Counter(QStringLiteral("C")), 1);
    EXPECT_EQ(info->Counter(QStringLiteral("A")), 4);
    EXPECT_EQ(info->Counter(QStringLiteral("S")), 1);
    EXPECT_EQ(info->Counter(QStringLiteral("F")), 3);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].startsWith(QStringLiteral("http://web2arc.example.org/net/?a=err&e=a%3Fb,x&p=web2arc&v=")))
        << opened[0].toStdString();
    // One converter: the lines come in the order of the entries.
    EXPECT_EQ(BatchReadFile(log), QStringLiteral("Success => caf\u00e9.htm => /out/caf\u00e9.htm\r\n"
                                                 "Failure => fail:a?b => a?b\r\n"
                                                 "Failure => fail:a?b => a?b\r\n"
                                                 "Failure => fail:x => x\r\n")
                                      .toUtf8());
}

TEST_F(KvRunTest, AnEmptyRunCountsZerosAndWritesAnEmptyLogWithoutReport)
{
    const QString log = dir.filePath(QStringLiteral("empty.log"));
    TkvRun run(project.Options(), observer);
    run.LogFile = log;
    run.Search(dir.filePath(QStringLiteral("nothing/*.htm?")), dir.filePath(QStringLiteral("out/")), true);
    run.Convert(project.Options(), dir.filePath(QStringLiteral("out/")));
    run.Wait();
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_TRUE(info->Counters.contains(QStringLiteral("A=0")));
    EXPECT_TRUE(info->Counters.contains(QStringLiteral("S=0")));
    EXPECT_TRUE(info->Counters.contains(QStringLiteral("F=0")));
    ASSERT_TRUE(QFileInfo(log).isFile());
    EXPECT_EQ(QFileInfo(log).size(), 0);

    // Without a LogFile nothing is written.
    auto quiet = runOf({QStringLiteral("a.htm")});
    quiet->Convert(project.Options(), dir.filePath(QStringLiteral("out/")));
    quiet->Wait();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("empty.log")});
}

TEST_F(KvRunTest, ALogInAMissingFolderEscapesNamingThePathAfterTheCounting)
{
    const QString log = dir.filePath(QStringLiteral("missing/run.log"));
    auto run = runOf({QStringLiteral("a.htm")});
    run->LogFile = log;
    run->Convert(project.Options(), dir.filePath(QStringLiteral("out/")));
    try {
        run->Wait();
        FAIL() << "no error";
    } catch (const std::runtime_error &e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(log)) << e.what();
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("missing"))));
    EXPECT_EQ(info->Counter(QStringLiteral("S")), 1); // counted before the log was tried
}

TEST_F(KvRunTest, ResultsFromManyConvertersAreAllKeptWhole)
{
    constexpr int entries = 3000;
    project->SetOption(QStringLiteral("ThreadsCount"), QStringLiteral("8"));
    QStringList names;
    for (int i = 0; i < entries; ++i)
        names << QStringLiteral("p%1.htm").arg(i);
    auto run = runOf(names);
    run->Convert(project.Options(), dir.filePath(QStringLiteral("out/")));
    run->Wait();
    const QStringList results = run->Results();
    ASSERT_EQ(results.size(), entries);
    EXPECT_EQ(QSet<QString>(results.cbegin(), results.cend()).size(), entries);
    EXPECT_TRUE(results.contains(QStringLiteral("Success => p2999.htm => /out/p2999.htm")));
    EXPECT_EQ(observer.done, entries);
}

TEST_F(KvRunTest, TheEndOfARunIsPostedToTheMainThreadOnce)
{
    project->SetOption(QStringLiteral("ThreadsCount"), QStringLiteral("3"));
    TkvQueueInvoker mainThread;
    auto run = runOf({QStringLiteral("a.htm"), QStringLiteral("fail:b"), QStringLiteral("c.htm")}, &mainThread);
    run->Convert(project.Options(), dir.filePath(QStringLiteral("out/")));
    EXPECT_TRUE(run->IsConverting());
    // Nothing ends the run until the main thread serves the call the last converter posted.
    ASSERT_TRUE(BatchWaitUntil([&] {
        std::lock_guard guard(mainThread.lock);
        return !mainThread.calls.empty();
    }));
    ASSERT_TRUE(BatchWaitUntil([&] { return run->ConvertorsRunning() == 0; }));
    EXPECT_EQ(observer.finished, 0);
    EXPECT_TRUE(run->IsConverting());
    EXPECT_EQ(mainThread.RunQueued(), 1);
    EXPECT_EQ(observer.finished, 1);
    EXPECT_TRUE(observer.finishedOnMainThread);
    EXPECT_FALSE(observer.convertingWhenFinished);
    EXPECT_EQ(info->Counter(QStringLiteral("F")), 1);

    // An end posted by a run that is gone by the time it is served does nothing.
    auto gone = runOf({QStringLiteral("d.htm")}, &mainThread);
    gone->Convert(project.Options(), dir.filePath(QStringLiteral("out/")));
    ASSERT_TRUE(BatchWaitUntil([&] { return gone->ConvertorsRunning() == 0; }));
    gone.reset();
    EXPECT_EQ(mainThread.RunQueued(), 1);
    EXPECT_EQ(observer.finished, 1);
}

TEST_F(KvRunTest, ALogThatCannotBeWrittenWholeKeepsTheOlderOne)
{
    // A child process with a file-size limit stands for a disk that fills up.
    const QString log = dir.filePath(QStringLiteral("run.log"));
    BatchWriteFile(log, "Success => older => run\r\n");
    const int code = RunWithFileSizeLimit(64, [&] {
        try {
            TkvRun::WriteLog(log, QStringList(20, QStringLiteral("Success => /in/page.htm => /out/page.mht")));
        } catch (const TkvFileError &e) {
            return e.Error() == EFBIG && QString::fromUtf8(e.what()).contains(log) ? 0 : 2;
        }
        return 1;
    });
    EXPECT_EQ(code, 0) << "1: reported success, 2: an unexpected error";
    EXPECT_EQ(BatchReadFile(log), "Success => older => run\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("run.log")});

    // A device is written to, not replaced, and its error is the device's own.
    try {
        TkvRun::WriteLog(QStringLiteral("/dev/full"), {QStringLiteral("line")});
        FAIL() << "a full device reported success";
    } catch (const TkvFileError &e) {
        EXPECT_EQ(e.Error(), ENOSPC) << e.what();
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(QStringLiteral("No space left on device"))) << e.what();
    }
    EXPECT_FALSE(QFileInfo(QStringLiteral("/dev/full")).isFile()) << "the device is still a device";
}

TEST_F(KvRunTest, AnInterruptedRunLogsWhatWasDoneAndSaysSo)
{
    const QString log = dir.filePath(QStringLiteral("run.log"));
    TkvRun run(project.Options(), observer);
    run.LogFile = log;
    run.Job().AddFile(QStringLiteral("a.htm"));
    run.Job().AddFile(QStringLiteral("b.htm"));
    // The search has not ended: the one converter waits for more once it has done both.
    run.Convert(project.Options(), dir.filePath(QStringLiteral("out/")));
    ASSERT_TRUE(BatchWaitUntil([&] { return run.Results().size() == 2; }));
    run.Interrupt(QStringLiteral("SIGTERM"));
    run.Wait();
    EXPECT_EQ(run.InterruptedBy(), QStringLiteral("SIGTERM"));
    EXPECT_EQ(BatchReadFile(log), "Success => a.htm => /out/a.htm\r\n"
                                  "Success => b.htm => /out/b.htm\r\n"
                                  "Interrupted => SIGTERM => The run was stopped; pages not listed above were not "
                                  "converted.\r\n");
}
