// The console run end to end: the real executable converts a site on disk and writes its log.

#include "e2eHarness.h"
#include "mhtReaderCheck.h"
#include "mimeReader.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <set>

namespace {

class KvConsoleE2eTest : public ::testing::Test
{
protected:
    TkvE2eEnv env;

    QString Site(const QString &rel = QString()) const { return env.Path(QStringLiteral("site/") + rel); }
    QString Out(const QString &rel = QString()) const { return env.Path(QStringLiteral("out/") + rel); }
    QString LogPath() const { return env.Path(QStringLiteral("run.log")); }

    QStringList Options(const QStringList &extra) const
    {
        QStringList options{QStringLiteral("Source=") + Site(QStringLiteral("*.htm?")),
                            QStringLiteral("Target=") + env.Path(QStringLiteral("out")),
                            QStringLiteral("PureConsole=1"), QStringLiteral("LogFile=") + LogPath()};
        return options + extra;
    }

    /// Exit code 0, nothing on stdout, and on stderr (not a terminal here) at most the summary line
    /// a run ends with.
    void ExpectClean(const TkvE2eResult &r) const
    {
        ASSERT_TRUE(r.Finished);
        EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();
        static const QRegularExpression summary(
            QStringLiteral(R"(^(web2arc: [\d,]+ converted, [\d,]+ skipped, [\d,]+ failed in [\d.]+ s[^\n]*\n)?$)"));
        EXPECT_TRUE(summary.match(QString::fromUtf8(r.Err)).hasMatch()) << r.Err.toStdString();
        EXPECT_TRUE(r.Out.isEmpty()) << r.Out.toStdString();
    }

    /// The log's lines; fails the test when a line does not end with CR LF or a bare CR/LF occurs.
    QStringList LogLines(const QString &path = QString()) const
    {
        const QByteArray bytes = TkvE2eEnv::ReadAll(path.isEmpty() ? LogPath() : path);
        EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF")) << "no byte-order mark";
        if (!bytes.isEmpty()) {
            EXPECT_TRUE(bytes.endsWith("\r\n"));
        }
        QStringList lines = QString::fromUtf8(bytes).split(QStringLiteral("\r\n"));
        if (!lines.isEmpty() && lines.back().isEmpty())
            lines.removeLast();
        for (const QString &line : lines)
            EXPECT_FALSE(line.contains(QLatin1Char('\r')) || line.contains(QLatin1Char('\n'))) << line.toStdString();
        return lines;
    }

    static QString Line(const QString &word, const QString &source, const QString &message)
    {
        return word + QStringLiteral(" => ") + source + QStringLiteral(" => ") + message;
    }

    /// The archive reads back with an independent MIME reader: the page first, the logo byte-identical.
    static void ExpectArchiveOf(const QString &archive, const QString &title)
    {
        const TMimeReadMessage m = ReadMimeFile(archive);
        ASSERT_TRUE(m.ok) << archive.toStdString() << ": " << m.error;
        ASSERT_FALSE(m.parts.empty());
        EXPECT_EQ(m.parts[0].contentType, "text/html");
        EXPECT_TRUE(m.parts[0].data.contains(title.toUtf8())) << archive.toStdString();
        bool logo = false;
        for (const TMimeReadPart &p : m.parts)
            logo = logo || (p.contentType == "image/png" && p.data == TkvE2eEnv::LogoPng());
        EXPECT_TRUE(logo) << "the logo is embedded unchanged in " << archive.toStdString();
    }

    static QString QueryPart(const QString &address, const QString &name)
    {
        for (const QString &part : address.mid(address.indexOf(QLatin1Char('?')) + 1).split(QLatin1Char('&'))) {
            if (part.startsWith(name + QLatin1Char('=')))
                return part.mid(name.size() + 1);
        }
        return QString();
    }
};

std::set<QString> AsSet(const QStringList &list)
{
    return std::set<QString>(list.begin(), list.end());
}

} // namespace

TEST_F(KvConsoleE2eTest, ProjectFileConvertsSubfoldersAndLogsEveryFile)
{
    env.WritePage(QStringLiteral("site/index.htm"), QStringLiteral("Home"));
    env.WritePage(QStringLiteral("site/caf\u00e9 \u65e5.html"), QStringLiteral("Caf\u00e9"));
    env.WritePage(QStringLiteral("site/sub/deep/page.html"), QStringLiteral("Deep"));
    env.WriteFile(QStringLiteral("site/notes.txt"), "not a page");

    ExpectClean(env.RunProject(Options({QStringLiteral("Subdir=1")})));

    ExpectArchiveOf(Out(QStringLiteral("index.mht")), QStringLiteral("Home"));
    ExpectArchiveOf(Out(QStringLiteral("caf\u00e9 \u65e5.mht")), QStringLiteral("Caf\u00e9"));
    ExpectArchiveOf(Out(QStringLiteral("sub/deep/page.mht")), QStringLiteral("Deep"));
    EXPECT_FALSE(QFile::exists(Out(QStringLiteral("notes.mht"))));
    EXPECT_EQ(AsSet(LogLines()),
              (std::set<QString>{
                  Line(QStringLiteral("Success"), Site(QStringLiteral("index.htm")), Out(QStringLiteral("index.mht"))),
                  Line(QStringLiteral("Success"), Site(QStringLiteral("caf\u00e9 \u65e5.html")),
                       Out(QStringLiteral("caf\u00e9 \u65e5.mht"))),
                  Line(QStringLiteral("Success"), Site(QStringLiteral("sub/deep/page.html")),
                       Out(QStringLiteral("sub/deep/page.mht")))}));
}

TEST_F(KvConsoleE2eTest, InlineOptionsWithoutSubfoldersConvertOnlyTheTopFolder)
{
    env.WritePage(QStringLiteral("site/top.htm"), QStringLiteral("Top"));
    env.WritePage(QStringLiteral("site/sub/below.htm"), QStringLiteral("Below"));
    const QString inlineOptions = QStringLiteral("-P:") + Options({QStringLiteral("Subdir=0")}).join(QLatin1Char(';'));

    ExpectClean(env.Run({inlineOptions}));

    ExpectArchiveOf(Out(QStringLiteral("top.mht")), QStringLiteral("Top"));
    EXPECT_FALSE(QFileInfo::exists(Out(QStringLiteral("sub"))));
    EXPECT_EQ(LogLines(), QStringList{Line(QStringLiteral("Success"), Site(QStringLiteral("top.htm")),
                                           Out(QStringLiteral("top.mht")))});
}

TEST_F(KvConsoleE2eTest, HiddenFilesAndTheExtraExpressionFilterTheSearch)
{
    env.WritePage(QStringLiteral("site/.hidden.htm"), QStringLiteral("Hidden"));
    env.WritePage(QStringLiteral("site/keep-a.htm"), QStringLiteral("Keep"));
    env.WritePage(QStringLiteral("site/drop-b.htm"), QStringLiteral("Drop"));

    ExpectClean(env.RunProject(Options({QStringLiteral("SkipHidden=1"), QStringLiteral("RegExt=keep-[a-z]\\.htm$")})));
    EXPECT_EQ(LogLines(), QStringList{Line(QStringLiteral("Success"), Site(QStringLiteral("keep-a.htm")),
                                           Out(QStringLiteral("keep-a.mht")))});
    EXPECT_FALSE(QFile::exists(Out(QStringLiteral("drop-b.mht"))));
    EXPECT_FALSE(QFile::exists(Out(QStringLiteral(".hidden.mht"))));

    // An expression that does not compile lets every name through, and the run says so; hidden files
    // count when not skipped.
    const TkvE2eResult r = env.RunProject(Options({QStringLiteral("SkipHidden=0"), QStringLiteral("RegExt=(unclosed")}));
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_TRUE(r.Err.startsWith("web2arc: RegExt (unclosed is not a valid regular expression")) << r.Err.toStdString();
    EXPECT_EQ(LogLines().size(), 3);
    ExpectArchiveOf(Out(QStringLiteral(".hidden.mht")), QStringLiteral("Hidden"));
    ExpectArchiveOf(Out(QStringLiteral("drop-b.mht")), QStringLiteral("Drop"));
}

TEST_F(KvConsoleE2eTest, ExistingTargetsAreReplacedKeptBesideOrSkipped)
{
    env.WritePage(QStringLiteral("site/page.htm"), QStringLiteral("Fresh"));
    env.WriteFile(QStringLiteral("out/page.mht"), "OLD");

    ExpectClean(env.RunProject(Options({QStringLiteral("IsOverwrite=skip")})));
    EXPECT_EQ(TkvE2eEnv::ReadAll(Out(QStringLiteral("page.mht"))), "OLD");
    EXPECT_EQ(LogLines(), QStringList{Line(QStringLiteral("Success"), Site(QStringLiteral("page.htm")), QString())});

    ExpectClean(env.RunProject(Options({QStringLiteral("IsOverwrite=0")})));
    EXPECT_EQ(TkvE2eEnv::ReadAll(Out(QStringLiteral("page.mht"))), "OLD");
    ExpectArchiveOf(Out(QStringLiteral("-web2arc-page.mht")), QStringLiteral("Fresh"));
    EXPECT_EQ(LogLines(), QStringList{Line(QStringLiteral("Success"), Site(QStringLiteral("page.htm")),
                                           Out(QStringLiteral("-web2arc-page.mht")))});

    ExpectClean(env.RunProject(Options({QStringLiteral("IsOverwrite=1")})));
    ExpectArchiveOf(Out(QStringLiteral("page.mht")), QStringLiteral("Fresh"));
}

TEST_F(KvConsoleE2eTest, FlatTargetsKeepFileTimesAndRenameSources)
{
    env.WritePage(QStringLiteral("site/a/p1.htm"), QStringLiteral("One"));
    env.WritePage(QStringLiteral("site/b/p2.htm"), QStringLiteral("Two"));
    const QDateTime old(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC);
    for (const QString &rel : {QStringLiteral("a/p1.htm"), QStringLiteral("b/p2.htm")}) {
        QFile f(Site(rel));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(old, QFileDevice::FileModificationTime));
    }

    ExpectClean(env.RunProject(Options({QStringLiteral("Subdir=1"), QStringLiteral("KeepTargetSubdirs=0"),
                                        QStringLiteral("KeepFileTime=1"), QStringLiteral("RenameSource=.done")})));

    for (const QString &name : {QStringLiteral("p1"), QStringLiteral("p2")}) {
        const QString archive = Out(name + QStringLiteral(".mht"));
        ASSERT_TRUE(QFile::exists(archive)) << archive.toStdString();
        EXPECT_EQ(QFileInfo(archive).lastModified().toUTC(), old);
    }
    EXPECT_FALSE(QFileInfo::exists(Out(QStringLiteral("a"))));
    EXPECT_TRUE(QFile::exists(Site(QStringLiteral("a/p1.htm.done"))));
    EXPECT_FALSE(QFile::exists(Site(QStringLiteral("a/p1.htm"))));
    EXPECT_TRUE(QFile::exists(Site(QStringLiteral("b/p2.htm.done"))));
}

TEST_F(KvConsoleE2eTest, DeleteSourceRemovesOnlyConvertedPages)
{
    env.WritePage(QStringLiteral("site/gone.htm"), QStringLiteral("Gone"));
    ExpectClean(env.RunProject(Options({QStringLiteral("DeleteSource=1")})));
    ExpectArchiveOf(Out(QStringLiteral("gone.mht")), QStringLiteral("Gone"));
    EXPECT_FALSE(QFile::exists(Site(QStringLiteral("gone.htm"))));
    EXPECT_TRUE(QFile::exists(Site(QStringLiteral("logo.png"))));
}

TEST_F(KvConsoleE2eTest, FourThreadsConvertEveryPageOnce)
{
    QStringList expected;
    for (int i = 0; i < 40; ++i) {
        const QString name = QStringLiteral("p%1").arg(i, 2, 10, QLatin1Char('0'));
        env.WritePage(QStringLiteral("site/") + name + QStringLiteral(".htm"), QStringLiteral("Page ") + name);
        expected << Line(QStringLiteral("Success"), Site(name + QStringLiteral(".htm")),
                         Out(name + QStringLiteral(".mht")));
    }
    ExpectClean(env.RunProject(Options({QStringLiteral("ThreadsCount=4")})));
    const QStringList lines = LogLines();
    EXPECT_EQ(lines.size(), 40);
    EXPECT_EQ(AsSet(lines), AsSet(expected));
    for (int i = 0; i < 40; i += 13) {
        const QString name = QStringLiteral("p%1").arg(i, 2, 10, QLatin1Char('0'));
        ExpectArchiveOf(Out(name + QStringLiteral(".mht")), QStringLiteral("Page ") + name);
    }
}

TEST_F(KvConsoleE2eTest, FailedFilesAreLoggedAndReportedOnce)
{
    env.WritePage(QStringLiteral("site/ok.htm"), QStringLiteral("Fine"));
    env.WritePage(QStringLiteral("site/q?x/a.htm"), QStringLiteral("A"));
    env.WriteFile(QStringLiteral("out/q?x"), "a regular file where the target folder should be");

    ExpectClean(env.RunProject(Options({QStringLiteral("Subdir=1")})));

    const QStringList lines = LogLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(
        lines.contains(Line(QStringLiteral("Success"), Site(QStringLiteral("ok.htm")), Out(QStringLiteral("ok.mht")))));
    const QString failurePrefix = Line(QStringLiteral("Failure"), Site(QStringLiteral("q?x/a.htm")), QString());
    const QString failure = lines[0].startsWith(failurePrefix) ? lines[0] : lines[1];
    ASSERT_TRUE(failure.startsWith(failurePrefix)) << failure.toStdString();
    EXPECT_GT(failure.size(), failurePrefix.size()) << "the error text follows";
    EXPECT_EQ(TkvE2eEnv::ReadAll(Out(QStringLiteral("q?x"))), "a regular file where the target folder should be");

    const QStringList opened = env.WaitOpened(1);
    ASSERT_EQ(opened.size(), 1);
    const QString report = opened[0];
    EXPECT_TRUE(report.startsWith(QStringLiteral("http://web2arc.example.org/net/?a=err&e="))) << report.toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("CreateDir Failed: ") + Out(QStringLiteral("q%3Fx/"))))
        << report.toStdString();
    EXPECT_EQ(report.count(QLatin1Char('?')), 1) << "every ? of the texts is escaped: " << report.toStdString();
    EXPECT_FALSE(report.contains(QLatin1Char('"')));
    // Two entries, one success, one failure (its folder cannot be made, so nothing is saved).
    EXPECT_TRUE(QueryPart(report, QStringLiteral("c")).endsWith(QStringLiteral("c1a2s1f1"))) << report.toStdString();
}

TEST_F(KvConsoleE2eTest, CountersSurviveRunsAndTravelWithTheSwitches)
{
    env.WritePage(QStringLiteral("site/one.htm"), QStringLiteral("One"));
    env.WritePage(QStringLiteral("site/two.htm"), QStringLiteral("Two"));
    ExpectClean(env.RunProject(Options({})));
    ExpectClean(env.RunProject(Options({QStringLiteral("IsOverwrite=1")})));
    EXPECT_TRUE(env.Opened().isEmpty());

    ExpectClean(env.Run({QStringLiteral("-U")}));
    QStringList opened = env.WaitOpened(1);
    ASSERT_EQ(opened.size(), 1) << "no failure report from the successful runs";
    const QString install = QueryPart(opened[0], QStringLiteral("i"));
    EXPECT_EQ(opened[0],
              QStringLiteral("http://web2arc.example.org/net/?a=uni&p=web2arc&v=2024.16.511.3122&c=r3c2a4s4f0&i=") +
                  install);
    bool ok = false;
    install.toInt(&ok);
    EXPECT_TRUE(ok) << install.toStdString();

    QFile::remove(LogPath());
    ExpectClean(env.Run({QStringLiteral("-Isource=e2e")}));
    opened = env.WaitOpened(2);
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[1],
              QStringLiteral("http://web2arc.example.org/net/?a=ins&p=web2arc&v=2024.16.511.3122&c=r4c2a4s4f0&i=") +
                  install + QStringLiteral("&source=e2e"));
    EXPECT_FALSE(QFile::exists(LogPath())) << "the switches run nothing else";
}

TEST_F(KvConsoleE2eTest, InformationFileOfAnotherInstallationStartsAfresh)
{
    ExpectClean(env.Run({QStringLiteral("-U")}));
    const QStringList first = env.WaitOpened(1);
    ASSERT_EQ(first.size(), 1);
    const int install = QueryPart(first[0], QStringLiteral("i")).toInt();
    ASSERT_TRUE(QFile::exists(env.Home() + QStringLiteral("/web2arc.ext")));

    // The same counters, encoded for a different installation number, as if copied from elsewhere.
    QFile file(env.Home() + QStringLiteral("/web2arc.ext"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(EncodeInfoForTest(QStringLiteral("R=50\r\nC=9\r\n"), install + 1));
    file.close();

    ExpectClean(env.Run({QStringLiteral("-U")}));
    const QStringList opened = env.WaitOpened(2);
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(QueryPart(opened[1], QStringLiteral("c")), QStringLiteral("r1"));
}

TEST_F(KvConsoleE2eTest, EmptySourceFolderGivesAnEmptyLogAndZeroCounters)
{
    QDir().mkpath(Site());
    const TkvE2eResult r = env.RunProject(Options({}));
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_TRUE(r.Err.startsWith("web2arc: no pages found in ")) << r.Err.toStdString();
    EXPECT_TRUE(QFile::exists(LogPath()));
    EXPECT_TRUE(LogLines().isEmpty());
    ExpectClean(env.Run({QStringLiteral("-U")}));
    const QStringList opened = env.WaitOpened(1);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(QueryPart(opened[0], QStringLiteral("c")), QStringLiteral("r2c1a0s0f0"));
}

TEST_F(KvConsoleE2eTest, UnwritableLogEndsWithOneErrorLineAndExitCodeOne)
{
    env.WritePage(QStringLiteral("site/page.htm"), QStringLiteral("Page"));
    QStringList options = Options({});
    options.removeLast();
    QDir().mkpath(env.Path(QStringLiteral("logs/run.log"))); // a folder where the log should be
    options << QStringLiteral("LogFile=") + env.Path(QStringLiteral("logs/run.log"));
    const TkvE2eResult r = env.RunProject(options);
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 1);
    const QString err = QString::fromUtf8(r.Err);
    EXPECT_EQ(err.count(QLatin1Char('\n')), 1) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("logs/run.log"))) << err.toStdString();
    ExpectArchiveOf(Out(QStringLiteral("page.mht")), QStringLiteral("Page")); // the conversion itself happened
}

TEST_F(KvConsoleE2eTest, EmptyTargetWritesEachArchiveBesideItsSource)
{
    env.WritePage(QStringLiteral("site/top.htm"), QStringLiteral("Top"));
    env.WritePage(QStringLiteral("site/sub/low.htm"), QStringLiteral("Low"));
    ExpectClean(env.RunProject({QStringLiteral("Source=") + Site(QStringLiteral("*.htm?")), QStringLiteral("Subdir=1"),
                                QStringLiteral("PureConsole=1"), QStringLiteral("LogFile=") + LogPath()}));
    ExpectArchiveOf(Site(QStringLiteral("top.mht")), QStringLiteral("Top"));
    ExpectArchiveOf(Site(QStringLiteral("sub/low.mht")), QStringLiteral("Low"));
    EXPECT_EQ(LogLines().size(), 2);
}

TEST_F(KvConsoleE2eTest, SampleProjectConvertsTheSampleSiteWithImagesFontsAndFrames)
{
    // The sample project names its folders relative to the folder it is run from, as script/run does.
    const QString examples = TkvE2eEnv::ExamplesDir();
    QDirIterator it(examples, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        env.WriteFile(QStringLiteral("examples/") + QDir(examples).relativeFilePath(file), TkvE2eEnv::ReadAll(file));
    }
    const QString site = env.Path(QStringLiteral("examples/site/"));
    ExpectClean(env.Run({QStringLiteral("examples/site.batch-web2arc")}));
    const QStringList lines = LogLines(Out(QStringLiteral("web2arc.log")));
    EXPECT_EQ(AsSet(lines),
              (std::set<QString>{QStringLiteral("Success => examples/site/index.html => out/index.mht"),
                                 QStringLiteral("Success => examples/site/about.htm => out/about.mht"),
                                 QStringLiteral("Success => examples/site/docs/guide.html => out/docs/guide.mht"),
                                 QStringLiteral("Success => examples/site/docs/frame.html => out/docs/frame.mht"),
                                 QStringLiteral("Success => examples/site/docs/legacy.htm => out/docs/legacy.mht")}));

    const QByteArray archive = TkvE2eEnv::ReadAll(Out(QStringLiteral("index.mht")));
    const std::vector<std::string> problems = CheckMhtForReaders(archive);
    EXPECT_TRUE(problems.empty()) << (problems.empty() ? std::string() : problems.front());
    const TMimeReadMessage m = ReadMimeMessage(archive);
    ASSERT_TRUE(m.ok) << m.error;
    auto find = [&](const QString &rel) -> const TMimeReadPart * {
        for (const TMimeReadPart &p : m.parts) {
            if (QString::fromStdString(p.location).endsWith(QStringLiteral("/examples/site/") + rel))
                return &p;
        }
        return nullptr;
    };
    for (const QString &rel :
         {QStringLiteral("img/logo.png"), QStringLiteral("img/hero-2x.png"), QStringLiteral("img/tile.png"),
          QStringLiteral("fonts/site-pixel.ttf"), QStringLiteral("css/site.css")}) {
        const TMimeReadPart *part = find(rel);
        ASSERT_NE(part, nullptr) << rel.toStdString();
        EXPECT_EQ(part->data, TkvE2eEnv::ReadAll(site + rel)) << rel.toStdString();
    }
    const TMimeReadPart *frame = find(QStringLiteral("docs/frame.html"));
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->contentType, "text/html");
    EXPECT_NE(find(QStringLiteral("img/icon.svg")), nullptr) << "the frame's own image";
}
