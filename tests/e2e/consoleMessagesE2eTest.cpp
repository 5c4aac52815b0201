// What an unattended run says on standard error, and when it ends with exit code 1: a folder given
// without a mask, a Source that finds nothing, options that are not understood, a log that has no
// place, the summary at the end, and a machine without a display.
#include "e2eHarness.h"
#include "httpTestServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList ErrLines(const TkvE2eResult &r)
{
    return QString::fromUtf8(r.Err).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool IsSummary(const QString &line)
{
    static const QRegularExpression summary(
        QStringLiteral(R"(^web2arc: [\d,]+ converted, [\d,]+ skipped, [\d,]+ failed in \d+\.\d s(; log: .+)?$)"));
    return summary.match(line).hasMatch();
}

class ConsoleMessagesE2eTest : public ::testing::Test
{
protected:
    TkvE2eEnv env;

    QString Site(const QString &rel = QString()) const { return env.Path(QStringLiteral("site/") + rel); }
    QString Log() const { return env.Path(QStringLiteral("run.log")); }
};

TEST_F(ConsoleMessagesE2eTest, AFolderWithoutAMaskMeansItsPagesAndItIsTheTarget)
{
    env.WritePage(QStringLiteral("site/a.htm"), QStringLiteral("A"));
    env.WritePage(QStringLiteral("site/sub/b.html"), QStringLiteral("B"));
    // Inline, without a trailing slash, with blanks after the separators.
    TkvE2eResult r = env.Run({QStringLiteral("-P:Source=%1, Subdir=1, PureConsole=1").arg(env.Path(QStringLiteral("site")))});
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    EXPECT_TRUE(QFile::exists(Site(QStringLiteral("a.mht"))));
    EXPECT_TRUE(QFile::exists(Site(QStringLiteral("sub/b.mht"))));
    EXPECT_FALSE(QFile::exists(env.Path(QStringLiteral("site.mht"))));

    // A project with a trailing slash and its own target.
    r = env.RunProject({QStringLiteral("Source=") + Site(), QStringLiteral("Target=") + env.Path(QStringLiteral("out")),
                        QStringLiteral("PureConsole=1")});
    EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    EXPECT_TRUE(QFile::exists(env.Path(QStringLiteral("out/a.mht"))));
    EXPECT_FALSE(QFile::exists(env.Path(QStringLiteral("out/sub/b.mht")))); // no Subdir
}

TEST_F(ConsoleMessagesE2eTest, NothingFoundIsSaidAndAWrongSourceEndsWithOne)
{
    ASSERT_TRUE(QDir().mkpath(Site()));
    TkvE2eResult r = env.RunProject({QStringLiteral("Source=") + Site(QStringLiteral("*.htm?")),
                                     QStringLiteral("PureConsole=1"), QStringLiteral("LogFile=") + Log()});
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 0) << "a folder that is empty tonight is no error";
    QStringList lines = ErrLines(r);
    ASSERT_EQ(lines.size(), 2) << r.Err.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("web2arc: no pages found in %1 matching *.htm?").arg(Site()));
    EXPECT_TRUE(IsSummary(lines[1])) << lines[1].toStdString();
    EXPECT_TRUE(QFile::exists(Log()));

    const QString port = QString::number(TkvSilentListener::UnusedPort());
    const struct
    {
        QString source;
        QString says;
    } wrong[] = {
        {env.Path(QStringLiteral("gone/*.htm?")), QStringLiteral("the folder %1 does not exist").arg(env.Path(QStringLiteral("gone/")))},
        {Site(QStringLiteral("page.htm")), QStringLiteral("%1 does not exist").arg(Site(QStringLiteral("page.htm")))},
        {Site(QStringLiteral("a")) + QChar(0) + QStringLiteral("b/*.htm?"), QStringLiteral("NUL character")},
        {QStringLiteral("HTTP://127.0.0.1:%1/").arg(port), QStringLiteral("lower case")},
        {QString(), QStringLiteral("no Source was given")},
    };
    for (const auto &c : wrong) {
        r = env.RunProject({QStringLiteral("Source=") + c.source, QStringLiteral("PureConsole=1")});
        ASSERT_TRUE(r.Finished);
        EXPECT_EQ(r.ExitCode, 1) << c.says.toStdString();
        lines = ErrLines(r);
        ASSERT_FALSE(lines.isEmpty()) << c.says.toStdString();
        EXPECT_TRUE(lines[0].startsWith(QStringLiteral("web2arc: no pages found"))) << lines[0].toStdString();
        EXPECT_TRUE(lines[0].contains(c.says)) << lines[0].toStdString();
    }
}

TEST_F(ConsoleMessagesE2eTest, OptionsThatAreNotUnderstoodAreNamed)
{
    env.WritePage(QStringLiteral("site/a.htm"), QStringLiteral("A"));
    const TkvE2eResult r = env.RunProject({QStringLiteral("Source=") + Site(QStringLiteral("*.htm?")),
                                           QStringLiteral("Tagret=/nowhere"), QStringLiteral("ThreadsCount=two"),
                                           QStringLiteral("RegExt=(a"), QStringLiteral(" PureConsole = yes ")});
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    const QStringList lines = ErrLines(r);
    EXPECT_TRUE(lines.contains(QStringLiteral("web2arc: unknown option Tagret, ignored"))) << r.Err.toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("web2arc: ThreadsCount=two is not an integer, 1 used")))
        << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains("web2arc: RegExt (a is not a valid regular expression")) << r.Err.toStdString();
    EXPECT_TRUE(QFile::exists(Site(QStringLiteral("a.mht")))) << "the invalid expression lets the page pass";
}

TEST_F(ConsoleMessagesE2eTest, TheLogFolderIsMadeBeforeTheWorkOrTheRunStopsThere)
{
    env.WritePage(QStringLiteral("site/a.htm"), QStringLiteral("A"));
    const QString deep = env.Path(QStringLiteral("logs/new/run.log"));
    TkvE2eResult r = env.RunProject({QStringLiteral("Source=") + Site(QStringLiteral("*.htm?")),
                                     QStringLiteral("PureConsole=1"), QStringLiteral("LogFile=") + deep});
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    EXPECT_TRUE(TkvE2eEnv::ReadAll(deep).startsWith("Success => ")) << deep.toStdString();
    ASSERT_EQ(ErrLines(r).size(), 1);
    EXPECT_TRUE(ErrLines(r)[0].endsWith(QStringLiteral("; log: ") + deep)) << r.Err.toStdString();

    // A folder that cannot be made (a file stands in its way): nothing is converted.
    env.WriteFile(QStringLiteral("blocker"), "x");
    const QString blocked = env.Path(QStringLiteral("blocker/run.log"));
    r = env.RunProject({QStringLiteral("Source=") + Site(QStringLiteral("*.htm?")),
                        QStringLiteral("Target=") + env.Path(QStringLiteral("out")), QStringLiteral("PureConsole=1"),
                        QStringLiteral("LogFile=") + blocked});
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 1);
    ASSERT_EQ(ErrLines(r).size(), 1) << r.Err.toStdString();
    EXPECT_TRUE(ErrLines(r)[0].contains(blocked)) << r.Err.toStdString();
    EXPECT_FALSE(QFile::exists(env.Path(QStringLiteral("out/a.mht"))));
}

TEST_F(ConsoleMessagesE2eTest, TheSummaryCountsConvertedSkippedAndFailedPages)
{
    env.WritePage(QStringLiteral("site/a.htm"), QStringLiteral("A"));
    env.WritePage(QStringLiteral("site/b.htm"), QStringLiteral("B"));
    const QStringList base{QStringLiteral("Source=") + Site(QStringLiteral("*.htm?")), QStringLiteral("PureConsole=1")};
    const auto summaryOf = [&](const QStringList &extra) {
        const TkvE2eResult r = env.RunProject(base + extra);
        const QStringList lines = ErrLines(r);
        EXPECT_EQ(r.ExitCode, 0);
        EXPECT_EQ(lines.size(), 1) << r.Err.toStdString();
        EXPECT_TRUE(!lines.isEmpty() && IsSummary(lines.back())) << r.Err.toStdString();
        return lines.isEmpty() ? QString() : lines.back();
    };
    EXPECT_TRUE(summaryOf({}).startsWith(QStringLiteral("web2arc: 2 converted, 0 skipped, 0 failed in ")));
    env.WritePage(QStringLiteral("site/c.htm"), QStringLiteral("C"));
    EXPECT_TRUE(summaryOf({QStringLiteral("IsOverwrite=skip")})
                    .startsWith(QStringLiteral("web2arc: 1 converted, 2 skipped, 0 failed in ")));
    // Failures, without a report when Reports is off; with it on, exactly one report is opened.
    EXPECT_TRUE(summaryOf({QStringLiteral("Charset=utf-88"), QStringLiteral("Reports=False")})
                    .startsWith(QStringLiteral("web2arc: 0 converted, 0 skipped, 3 failed in ")));
    summaryOf({QStringLiteral("Charset=utf-88")});
    const QStringList opened = env.WaitOpened(1);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].contains(QStringLiteral("utf-88"))) << opened[0].toStdString();
}

TEST_F(ConsoleMessagesE2eTest, AFolderBeyondThePathLimitIsAFailureLineNotASilence)
{
    // Made one level at a time relative to the last, since no path call takes the whole name.
    const QByteArray name(200, 'd');
    ASSERT_TRUE(QDir().mkpath(Site()));
    int fd = ::open(QFile::encodeName(Site()).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    QString deepest = Site();
    for (int level = 0; deepest.size() < 4200; ++level) {
        ASSERT_EQ(::mkdirat(fd, name.constData(), 0777), 0);
        const int next = ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
        deepest += QString::fromLatin1(name) + QLatin1Char('/');
    }
    const int page = ::openat(fd, "lost.htm", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(page, 0);
    ASSERT_EQ(::write(page, "<title>Lost</title>", 19), 19);
    ::close(page);
    ::close(fd);
    env.WritePage(QStringLiteral("site/top.htm"), QStringLiteral("Top"));

    const TkvE2eResult r = env.RunProject({QStringLiteral("Source=") + Site(QStringLiteral("*.htm?")),
                                           QStringLiteral("Subdir=1"), QStringLiteral("PureConsole=1"),
                                           QStringLiteral("Reports=0"), QStringLiteral("LogFile=") + Log()});
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    const QString log = QString::fromUtf8(TkvE2eEnv::ReadAll(Log()));
    EXPECT_TRUE(log.contains(QStringLiteral("Success => ") + Site(QStringLiteral("top.htm")))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("Failure => ") + Site())) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("Cannot list the folder"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("File name too long"))) << log.toStdString();
    // rm walks below the path limit, which the temporary folder's own clean-up does not.
    EXPECT_EQ(QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), Site()}), 0);
}

TEST_F(ConsoleMessagesE2eTest, WithoutADisplayTheWindowIsRefusedWithTheReason)
{
    const TkvE2eResult help = env.Run({QStringLiteral("-h")});
    ASSERT_TRUE(help.Finished);
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_TRUE(help.Out.contains("Usage: web2arc")) << help.Err.toStdString();

    ASSERT_EQ(::mkfifo(QFile::encodeName(env.Path(QStringLiteral("fifo.batch-web2arc"))).constData(), 0600), 0);
    env.WriteFile(QStringLiteral("plain.batch-web2arc"), "Source=/x/*.htm?\r\n");
    const struct
    {
        QString project;
        QString says;
    } cases[] = {
        {env.Path(QStringLiteral("missing.batch-web2arc")), QStringLiteral("No such file or directory")},
        {env.Path(QStringLiteral("fifo.batch-web2arc")), QStringLiteral("not a regular file")},
        {env.Path(QStringLiteral("plain.batch-web2arc")), QStringLiteral("does not set PureConsole=True")},
    };
    for (const auto &c : cases) {
        const TkvE2eResult r = env.Run({c.project}, 60000, {QStringLiteral("QT_QPA_PLATFORM")});
        ASSERT_TRUE(r.Finished) << c.project.toStdString();
        EXPECT_EQ(r.ExitCode, 1) << r.Err.toStdString();
        EXPECT_TRUE(r.Err.startsWith("web2arc: ")) << r.Err.toStdString();
        EXPECT_TRUE(QString::fromUtf8(r.Err).contains(c.says)) << r.Err.toStdString();
        EXPECT_TRUE(r.Err.contains("graphical session")) << r.Err.toStdString();
    }
}

TEST_F(ConsoleMessagesE2eTest, TheHiddenWindowStopsWhenItsLogHasNoPlace)
{
    env.WriteFile(QStringLiteral("blocker"), "x");
    const QString log = env.Path(QStringLiteral("blocker/run.log"));
    const QString source = QStringLiteral("http://127.0.0.1:%1/gone.htm").arg(TkvSilentListener::UnusedPort());
    const TkvE2eResult r =
        env.Run({QStringLiteral("-P:Source=%1,Target=%2,PureConsole=1,Reports=0,LogFile=%3")
                     .arg(source, env.Path(QStringLiteral("out")), log)});
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(r.Err).contains(log)) << r.Err.toStdString();
}

} // namespace
