#include "kvMain.h"
#include "kvBatch.h"
#include "kvInfo.h"
#include "kvOpener.h"
#include "kvProject.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

class KvMainTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        qputenv("WEB2ARC_HOME", home.path().toUtf8());
        qunsetenv("WEB2ARC_OPENER");
        kvOpener::SetOpenHook([this](const QString &address) { opened.append(address); });
        info = std::make_unique<TkvInfo>(TkvProductInfo{QStringLiteral("Batch WEB2ARC Converter"),
                                                        QStringLiteral("2024.16.511.3122"), QStringLiteral("web2arc")});
        Info = info.get();
        project = std::make_unique<TkvProject>();
        Project = project.get();
        runner.Batch = std::make_unique<TkvBatch>();
    }
    void TearDown() override
    {
        Project = nullptr;
        Info = nullptr;
        kvOpener::SetOpenHook({});
        qunsetenv("WEB2ARC_HOME");
    }

    static QByteArray ReadAll(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir home;
    QStringList opened;
    std::unique_ptr<TkvInfo> info;
    std::unique_ptr<TkvProject> project;
    TkvMain runner;
};

TkvNode Node(int status, const QString &file, const QString &message)
{
    TkvNode node;
    node.Status = status;
    node.FileName = file;
    node.Message = message;
    return node;
}

} // namespace

TEST(KvMainLinesTest, ResultLinesNameTheStatusSourceAndMessage)
{
    EXPECT_EQ(TkvMain::ResultLine(Node(1, QStringLiteral("/in/page.htm"), QStringLiteral("/out/page.mht"))),
              QStringLiteral("Success => /in/page.htm => /out/page.mht"));
    EXPECT_EQ(TkvMain::ResultLine(Node(2, QStringLiteral("/in/bad.htm"), QStringLiteral("Cannot open it."))),
              QStringLiteral("Failure => /in/bad.htm => Cannot open it."));
    // A skipped entry keeps its empty message; any other status value reads Running.
    EXPECT_EQ(TkvMain::ResultLine(Node(1, QStringLiteral("/in/a.htm"), QString())),
              QStringLiteral("Success => /in/a.htm => "));
    EXPECT_EQ(TkvMain::ResultLine(Node(0, QStringLiteral("a"), QStringLiteral("b"))),
              QStringLiteral("Running => a => b"));
    EXPECT_EQ(TkvMain::ResultLine(Node(7, QStringLiteral("a"), QStringLiteral("b"))),
              QStringLiteral("Running => a => b"));
}

TEST(KvMainLinesTest, CommaTextQuotesItemsWithBlanksCommasAndQuotes)
{
    EXPECT_EQ(TkvMain::CommaText({QStringLiteral("a?b"), QStringLiteral("x")}), QStringLiteral("a?b,x"));
    EXPECT_EQ(TkvMain::CommaText({QStringLiteral("has space"), QStringLiteral("c,d"), QStringLiteral("say \"hi\""),
                                  QStringLiteral("tab\there"), QString(), QStringLiteral("plain")}),
              QStringLiteral("\"has space\",\"c,d\",\"say \"\"hi\"\"\",\"tab\there\",,plain"));
    EXPECT_EQ(TkvMain::CommaText({}), QString());
    EXPECT_EQ(TkvMain::FailureAction({QStringLiteral("a?b"), QStringLiteral("x")}), QStringLiteral("err&e=a%3Fb,x"));
}

TEST(KvMainLinesTest, FailureReportOfManyTextsStaysShortAndCountsWhatItLeftOut)
{
    // 20,000 distinct failures would otherwise make an address of megabytes, which no opener takes.
    QStringList errors;
    for (int i = 0; i < 20000; ++i)
        errors << QStringLiteral("Cannot open \"/in/page-%1.htm\": Permission denied").arg(i);
    const QString action = TkvMain::FailureAction(errors);
    EXPECT_LE(action.size(), TkvMain::MaxFailureReportLength + 200);
    EXPECT_TRUE(action.startsWith(QStringLiteral("err&e=\"Cannot open \"\"/in/page-0.htm\"\": Permission denied\",")));
    const qsizetype kept = action.count(QStringLiteral("Permission denied"));
    EXPECT_GT(kept, 10);
    EXPECT_TRUE(action.endsWith(QStringLiteral(",\"(and %1 more)\"").arg(20000 - kept))) << action.right(80).toStdString();

    // One text longer than the limit is still reported rather than dropped.
    const QString longText(3000, QLatin1Char('x'));
    EXPECT_EQ(TkvMain::FailureAction({longText}), QStringLiteral("err&e=") + longText);
    // A short list is reported whole.
    EXPECT_EQ(TkvMain::FailureAction({QStringLiteral("a"), QStringLiteral("b")}), QStringLiteral("err&e=a,b"));
}

TEST_F(KvMainTest, SummarizeCountsReportsOnceAndWritesTheLog)
{
    runner.Batch->AddFailure(QStringLiteral("a?b"));
    runner.Batch->AddFailure(QStringLiteral("a?b"));
    runner.Batch->AddFailure(QStringLiteral("x"));
    runner.Batch->AddSuccess();
    TkvNode ok = Node(1, QStringLiteral("/in/caf\u00e9.htm"), QStringLiteral("/out/caf\u00e9.mht"));
    TkvNode bad = Node(2, QStringLiteral("/in/b.htm"), QStringLiteral("a?b"));
    runner.AddResult(*runner.Batch, ok);
    runner.AddResult(*runner.Batch, bad);
    const QString log = home.path() + QStringLiteral("/run.log");
    Project->SetOption(QStringLiteral("LogFile"), log);

    runner.Summarize();

    EXPECT_EQ(runner.Batch->Failures, 3);
    EXPECT_EQ(info->Counter(QStringLiteral("F")), 3);
    EXPECT_EQ(info->Counter(QStringLiteral("S")), 1);
    EXPECT_EQ(info->Counter(QStringLiteral("A")), 0);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].startsWith(QStringLiteral("http://web2arc.example.org/net/?a=err&e=a%3Fb,x&p=web2arc&v=")))
        << opened[0].toStdString();
    EXPECT_EQ(ReadAll(log), QStringLiteral("Success => /in/caf\u00e9.htm => /out/caf\u00e9.mht\r\n"
                                           "Failure => /in/b.htm => a?b\r\n")
                                .toUtf8());
}

TEST_F(KvMainTest, EmptyRunCreatesZeroCountersAndAnEmptyLogWithoutReport)
{
    const QString log = home.path() + QStringLiteral("/empty.log");
    Project->SetOption(QStringLiteral("LogFile"), log);
    runner.Summarize();
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_TRUE(info->Counters.contains(QStringLiteral("A=0")));
    EXPECT_TRUE(info->Counters.contains(QStringLiteral("S=0")));
    EXPECT_TRUE(info->Counters.contains(QStringLiteral("F=0")));
    ASSERT_TRUE(QFileInfo(log).isFile());
    EXPECT_EQ(QFileInfo(log).size(), 0);

    // Without a LogFile nothing is written.
    Project->SetOption(QStringLiteral("LogFile"), QString());
    QFile::remove(log);
    runner.Summarize();
    EXPECT_FALSE(QFile::exists(log));
}

TEST_F(KvMainTest, LogInAMissingFolderEscapesNamingThePath)
{
    const QString log = home.path() + QStringLiteral("/missing/run.log");
    Project->SetOption(QStringLiteral("LogFile"), log);
    try {
        runner.Summarize();
        FAIL() << "no error";
    } catch (const std::runtime_error &e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(log)) << e.what();
    }
    EXPECT_FALSE(QFileInfo::exists(home.path() + QStringLiteral("/missing")));
    EXPECT_EQ(info->Counter(QStringLiteral("A")), 0); // counted before the log was tried
    EXPECT_TRUE(info->Counters.contains(QStringLiteral("A=0")));
}

TEST_F(KvMainTest, ResultsFromManyWorkersAreAllKeptWhole)
{
    constexpr int workers = 8;
    constexpr int perWorker = 400;
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w) {
        threads.emplace_back([this, w] {
            for (int i = 0; i < perWorker; ++i) {
                TkvNode node = Node(1, QStringLiteral("/in/w%1-%2.htm").arg(w).arg(i), QStringLiteral("/out/x.mht"));
                runner.AddResult(*runner.Batch, node);
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    ASSERT_EQ(runner.Results.size(), workers * perWorker);
    QSet<QString> distinct(runner.Results.cbegin(), runner.Results.cend());
    EXPECT_EQ(distinct.size(), workers * perWorker);
    EXPECT_TRUE(distinct.contains(QStringLiteral("Success => /in/w7-399.htm => /out/x.mht")));
}

TEST_F(KvMainTest, AWebAddressWithoutTargetWritesToTheCurrentFolderNotToAFolderNamedAfterIt)
{
    // The console takes a source it does not recognise as a web address by its letter case.
    const QString work = home.path() + QStringLiteral("/work");
    ASSERT_TRUE(QDir().mkpath(work));
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(work));
    Project->SetOption(QStringLiteral("Source"), QStringLiteral("HTTPS://h.example/dir/a.htm"));
    runner.Run();
    QDir::setCurrent(previous);
    EXPECT_EQ(runner.Batch->TargetDir, QDir(work).canonicalPath() + QLatin1Char('/'));
    EXPECT_EQ(QDir(work).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden), QStringList());
}
