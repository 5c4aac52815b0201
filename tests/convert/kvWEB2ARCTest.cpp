#include "kvWEB2ARC.h"
#include "batchTestProject.h"
#include "kvBatch.h"
#include "kvFileName.h"
#include "kvMain.h"
#include "kvMatch.h"
#include "mimeReader.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <gtest/gtest.h>

namespace {

const QByteArray png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR-not-really-an-image", 34);

class KvWEB2ARCTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        NameMatcher = &matcher;
        project->ConverterClass = &TkvWEB2ARC::Class();
        project->SetOption(QStringLiteral("Source"), Src(QStringLiteral("*.htm?")));
        project->SetOption(QStringLiteral("Target"), Dst(QString()));
    }
    void TearDown() override { NameMatcher = nullptr; }

    QString Src(const QString &rel) const { return dir.path() + QStringLiteral("/in/") + rel; }
    QString Dst(const QString &rel) const { return dir.path() + QStringLiteral("/out/") + rel; }

    void WritePage(const QString &rel, const QByteArray &title, const QByteArray &head = "<meta charset=\"utf-8\">")
    {
        BatchWriteFile(Src(rel), "<!DOCTYPE html><html><head>" + head + "<title>" + title +
                                     "</title></head><body><img src=\"pic.png\"></body></html>");
        BatchWriteFile(QFileInfo(Src(rel)).absolutePath() + QStringLiteral("/pic.png"), png);
    }

    /// The first part of the archive, or a failure when it cannot be read.
    static TMimeReadMessage ReadArchive(const QString &path)
    {
        TMimeReadMessage m = ReadMimeFile(path);
        EXPECT_TRUE(m.ok) << path.toStdString() << ": " << m.error;
        return m;
    }

    QTemporaryDir dir;
    BatchTestProject project;
    TkvMatch matcher;
    TkvMain runner;
};

} // namespace

TEST(KvWEB2ARCUrlTest, LocalPathsBecomeEncodedFileUrlsAndWebAddressesPass)
{
    EXPECT_EQ(TkvWEB2ARC::SourceUrl(QStringLiteral("/a b/page.htm")), QStringLiteral("file:///a%20b/page.htm"));
    EXPECT_EQ(TkvWEB2ARC::SourceUrl(QStringLiteral("/in/caf\u00e9#1.htm")),
              QStringLiteral("file:///in/caf%C3%A9%231.htm"));
    EXPECT_EQ(TkvWEB2ARC::SourceUrl(QStringLiteral("/in/back\\slash.htm")),
              QStringLiteral("file:///in/back%5Cslash.htm"));
    // A queued name that is not UTF-8 (byte 0xE9) gives the URL of those bytes, not of U+FFFD.
    EXPECT_EQ(TkvWEB2ARC::SourceUrl(TkvFileName::Decode("/in/caf\xE9.htm")), QStringLiteral("file:///in/caf%E9.htm"));
    EXPECT_EQ(TkvWEB2ARC::SourceUrl(QStringLiteral("http://srv/dir/page.htm")),
              QStringLiteral("http://srv/dir/page.htm"));
    EXPECT_EQ(TkvWEB2ARC::SourceUrl(QStringLiteral("HTTPS://Srv/p?q=1")), QStringLiteral("HTTPS://Srv/p?q=1"));
    // A folder that merely starts with the letters is a local path, made absolute.
    EXPECT_EQ(TkvWEB2ARC::SourceUrl(QStringLiteral("httpdocs/a.htm")),
              QStringLiteral("file://") + QDir::currentPath() + QStringLiteral("/httpdocs/a.htm"));
}

TEST_F(KvWEB2ARCTest, RunConvertsEveryPageIntoAnArchiveHoldingItsResources)
{
    WritePage(QStringLiteral("index.htm"), "Home");
    WritePage(QStringLiteral("sub/page.html"), "Sub");
    project->SetOption(QStringLiteral("Subdir"), QStringLiteral("1"));

    runner.Run();

    const QStringList results = runner.Results();
    EXPECT_EQ(QSet<QString>(results.cbegin(), results.cend()),
              (QSet<QString>{QStringLiteral("Success => %1 => %2")
                                 .arg(Src(QStringLiteral("index.htm")), Dst(QStringLiteral("index.mht"))),
                             QStringLiteral("Success => %1 => %2")
                                 .arg(Src(QStringLiteral("sub/page.html")), Dst(QStringLiteral("sub/page.mht")))}));
    EXPECT_EQ(runner.Batch()->Successes, 2);
    const TMimeReadMessage m = ReadArchive(Dst(QStringLiteral("sub/page.mht")));
    ASSERT_GE(m.parts.size(), 2u);
    EXPECT_EQ(m.parts[0].contentType, "text/html");
    EXPECT_TRUE(m.parts[0].data.contains("<title>Sub</title>"));
    EXPECT_EQ(m.parts[1].data, png);
}

TEST_F(KvWEB2ARCTest, CharsetOptionRelabelsThePageAndAnUnknownOneFailsTheEntry)
{
    WritePage(QStringLiteral("old.htm"), "Caf\xe9", "<meta charset=\"windows-1252\">");
    project->SetOption(QStringLiteral("Charset"), QStringLiteral("utf-8"));
    runner.Run();
    TMimeReadMessage m = ReadArchive(Dst(QStringLiteral("old.mht")));
    ASSERT_FALSE(m.parts.empty());
    EXPECT_EQ(QString::fromStdString(m.parts[0].charset).toLower(), QStringLiteral("utf-8"));
    EXPECT_TRUE(m.parts[0].data.contains("Caf\xc3\xa9"));

    // An unknown charset: the entry fails with the engine's own text; the source stays untouched.
    project->SetOption(QStringLiteral("Charset"), QStringLiteral("utf-88"));
    project->SetOption(QStringLiteral("Target"), Dst(QStringLiteral("second")));
    project->SetOption(QStringLiteral("RenameSource"), QStringLiteral(".done"));
    TkvMain second;
    second.Run();
    ASSERT_EQ(second.Results().size(), 1);
    ASSERT_EQ(second.Batch()->Failures, 1);
    ASSERT_EQ(second.Batch()->Errors.size(), 1);
    const QString text = second.Batch()->Errors[0];
    EXPECT_TRUE(text.contains(QStringLiteral("utf-88"))) << text.toStdString();
    EXPECT_EQ(second.Results()[0], QStringLiteral("Failure => %1 => %2").arg(Src(QStringLiteral("old.htm")), text));
    EXPECT_FALSE(QFileInfo::exists(Dst(QStringLiteral("second/old.mht"))));
    EXPECT_TRUE(QFileInfo::exists(Src(QStringLiteral("old.htm"))));
    EXPECT_FALSE(QFileInfo::exists(Src(QStringLiteral("old.htm.done"))));
}

TEST_F(KvWEB2ARCTest, SkippedTargetIsReportedAsSuccessWithoutCounting)
{
    WritePage(QStringLiteral("page.htm"), "Page");
    BatchWriteFile(Dst(QStringLiteral("page.mht")), "EXISTING");
    project->SetOption(QStringLiteral("IsOverwrite"), QStringLiteral("SKIP"));
    runner.Run();
    EXPECT_EQ(runner.Results(), QStringList{QStringLiteral("Success => %1 => ").arg(Src(QStringLiteral("page.htm")))});
    EXPECT_EQ(runner.Batch()->Successes, 0);
    EXPECT_EQ(BatchReadFile(Dst(QStringLiteral("page.mht"))), "EXISTING");

    project->SetOption(QStringLiteral("IsOverwrite"), QStringLiteral("1"));
    TkvMain again;
    again.Run();
    EXPECT_EQ(again.Batch()->Successes, 1);
    EXPECT_TRUE(ReadArchive(Dst(QStringLiteral("page.mht"))).ok);
}

TEST_F(KvWEB2ARCTest, SeveralConvertersShareTheQueueAndEveryResultIsCounted)
{
    for (int i = 0; i < 24; ++i)
        WritePage(QStringLiteral("p%1.htm").arg(i), "P" + QByteArray::number(i));
    for (const char *threads : {"3", "0"}) {
        project->SetOption(QStringLiteral("ThreadsCount"), QString::fromLatin1(threads));
        project->SetOption(QStringLiteral("Target"), Dst(QString::fromLatin1(threads)));
        TkvMain run;
        run.Run();
        const QStringList results = run.Results();
        EXPECT_EQ(results.size(), 24) << threads;
        EXPECT_EQ(QSet<QString>(results.cbegin(), results.cend()).size(), 24) << threads;
        EXPECT_EQ(run.Batch()->Successes, 24) << threads;
    }
}

TEST_F(KvWEB2ARCTest, EmptyTargetPutsArchivesBesideTheirSources)
{
    WritePage(QStringLiteral("top.htm"), "Top");
    WritePage(QStringLiteral("a/low.htm"), "Low");
    project->SetOption(QStringLiteral("Target"), QString());
    project->SetOption(QStringLiteral("Subdir"), QStringLiteral("1"));
    runner.Run();
    EXPECT_EQ(runner.Batch()->Successes, 2);
    EXPECT_TRUE(ReadArchive(Src(QStringLiteral("top.mht"))).ok);
    EXPECT_TRUE(ReadArchive(Src(QStringLiteral("a/low.mht"))).ok);
}
