// Nothing of the user's is lost: the real executable with pages that share a name, names that would
// forge log lines, signals in the middle of a run and the leftovers of a killed run.

#include "e2eHarness.h"
#include "httpTestServer.h"
#include "mimeReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

#include <condition_variable>
#include <csignal>
#include <mutex>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

QStringList logLines(const QString &path)
{
    QStringList lines = QString::fromUtf8(TkvE2eEnv::ReadAll(path)).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

QStringList hiddenFiles(const QString &folder)
{
    return QDir(folder)
        .entryList(QDir::Files | QDir::Hidden | QDir::System)
        .filter(QRegularExpression(QStringLiteral("^\\.")));
}

QByteArray titleOf(const QString &archive)
{
    const TMimeReadMessage m = ReadMimeFile(archive);
    if (!m.ok || m.parts.empty())
        return "<unreadable>";
    const QByteArray &page = m.parts[0].data;
    const qsizetype start = page.indexOf("<title>") + 7;
    return page.mid(start, page.indexOf("</title>") - start);
}

/// A server whose picture /img/NN.png answers at once until the request for /img/01.png, which waits
/// until Release; from then on each answer comes a little late, as from a slow site.
class TkvStallingServer
{
public:
    TkvStallingServer()
    {
        server.Server().Get(R"(/img/(\d+)\.png)", [this](const httplib::Request &request, httplib::Response &response) {
            std::unique_lock lock(mutex);
            if (request.matches[1] == "01") {
                stalled = true;
                changed.notify_all();
                changed.wait_for(lock, std::chrono::seconds(60), [this] { return released; });
            } else if (released) {
                lock.unlock();
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
            }
            response.set_content(TkvE2eEnv::LogoPng().toStdString(), "image/png");
        });
        server.Start();
    }
    bool WaitStalled()
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(60), [this] { return stalled; });
    }
    void Release()
    {
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    }
    QString Url(const QString &path) const { return server.Url(path); }

private:
    TkvHttpTestServer server;
    std::mutex mutex;
    std::condition_variable changed;
    bool stalled = false;
    bool released = false;
};

} // namespace

TEST(KvDataSafetyE2eTest, PagesSharingANameEachKeepTheirArchiveAndNamesCannotForgeLogLines)
{
    TkvE2eEnv env;
    for (const char *name : {"a.htm", "a.html", "a.HTM"})
        env.WritePage(QStringLiteral("site/") + QLatin1String(name), QStringLiteral("Page ") + QLatin1String(name));
    // A name with line breaks that would read as a line of its own in the log.
    env.WritePage(QStringLiteral("site/x\nSuccess => forged.htm => forged.mht\n.htm"), QStringLiteral("Newline"));
    const QString log = env.Path(QStringLiteral("run.log"));
    const TkvE2eResult r = env.RunProject({QStringLiteral("Source=") + env.Path(QStringLiteral("site/*.htm?")),
                                           QStringLiteral("Target=") + env.Path(QStringLiteral("out")),
                                           QStringLiteral("PureConsole=1"), QStringLiteral("DeleteSource=1"),
                                           QStringLiteral("ThreadsCount=3"), QStringLiteral("LogFile=") + log});
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();

    QSet<QByteArray> titles;
    for (const char *archive : {"a.mht", "a-2.mht", "a-3.mht"})
        titles.insert(titleOf(env.Path(QStringLiteral("out/") + QLatin1String(archive))));
    EXPECT_EQ(titles, (QSet<QByteArray>{"Page a.htm", "Page a.html", "Page a.HTM"}));
    EXPECT_EQ(titleOf(env.Path(QStringLiteral("out/x\nSuccess => forged.htm => forged.mht\n.mht"))), "Newline");
    EXPECT_EQ(QDir(env.Path(QStringLiteral("site"))).entryList(QDir::Files), QStringList{QStringLiteral("logo.png")})
        << "every page was deleted after its own archive was written";

    const QStringList lines = logLines(log);
    ASSERT_EQ(lines.size(), 4) << lines.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(
        lines.contains(QStringLiteral("Success => %1 => %2")
                           .arg(env.Path(QStringLiteral("site/x\\nSuccess => forged.htm => forged.mht\\n.htm")),
                                env.Path(QStringLiteral("out/x\\nSuccess => forged.htm => forged.mht\\n.mht")))))
        << lines.join(QLatin1Char('|')).toStdString();
}

TEST(KvDataSafetyE2eTest, AStopSignalEndsTheRunInOrder)
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        TkvStallingServer server;
        TkvE2eEnv env;
        constexpr int pages = 20;
        for (int i = 0; i < pages; ++i) {
            const QString name = QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'));
            env.WriteFile(QStringLiteral("site/p%1.htm").arg(name),
                          QStringLiteral("<!DOCTYPE html><title>%1</title><img src=\"%2\">")
                              .arg(name, server.Url(QStringLiteral("/img/%1.png").arg(name)))
                              .toUtf8());
        }
        const QString log = env.Path(QStringLiteral("run.log"));
        env.WriteFile(QStringLiteral("job.batch-web2arc"),
                      QStringLiteral("Source=%1\r\nTarget=%2\r\nPureConsole=1\r\nLogFile=%3\r\n")
                          .arg(env.Path(QStringLiteral("site/*.htm")), env.Path(QStringLiteral("out")), log)
                          .toUtf8());
        QProcess process;
        process.setProcessEnvironment(env.Environment());
        process.setWorkingDirectory(env.Root());
        process.start(TkvE2eEnv::Executable(), {env.Path(QStringLiteral("job.batch-web2arc"))});
        ASSERT_TRUE(process.waitForStarted(30000));
        ASSERT_TRUE(server.WaitStalled()) << "the second page never asked for its picture";
        ASSERT_EQ(::kill(pid_t(process.processId()), signal), 0);
        server.Release();
        ASSERT_TRUE(process.waitForFinished(120000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << "ended by its own exit, not by the signal";
        EXPECT_EQ(process.exitCode(), 128 + signal) << process.readAllStandardError().toStdString();

        const QStringList lines = logLines(log);
        ASSERT_GE(lines.size(), 3) << lines.join(QLatin1Char('|')).toStdString();
        EXPECT_LT(lines.size(), pages + 1) << "no new page is started once the signal came";
        const QString name = signal == SIGTERM  ? QStringLiteral("SIGTERM")
                             : signal == SIGINT ? QStringLiteral("SIGINT")
                                                : QStringLiteral("SIGHUP");
        EXPECT_EQ(lines.back(), QStringLiteral("Interrupted => %1 => The run was stopped; pages not listed above "
                                               "were not converted.")
                                    .arg(name));
        // The pages before the signal and the one in progress are there; every page logged as converted
        // has its archive, and no page that is not logged has one.
        EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Success => ") + env.Path(QStringLiteral("site/p00.htm"))));
        EXPECT_TRUE(lines[1].contains(env.Path(QStringLiteral("site/p01.htm")))) << lines[1].toStdString();
        const QStringList archives = QDir(env.Path(QStringLiteral("out"))).entryList({QStringLiteral("*.mht")});
        EXPECT_EQ(archives.size(), lines.filter(QRegularExpression(QStringLiteral("^Success => "))).size());
        for (const QString &archive : archives)
            EXPECT_EQ(lines.filter(env.Path(QStringLiteral("out/")) + archive).size(), 1) << archive.toStdString();
        EXPECT_EQ(hiddenFiles(env.Path(QStringLiteral("out"))), QStringList()) << "no temporary file is left";
    }
}

TEST(KvDataSafetyE2eTest, TemporaryFilesOfAKilledRunAreRemovedByTheNextRun)
{
    TkvE2eEnv env;
    env.WritePage(QStringLiteral("site/p.htm"), QStringLiteral("P"));
    env.WritePage(QStringLiteral("site/sub/q.htm"), QStringLiteral("Q"));
    // A process that has ended stands for a run killed while it wrote.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(0);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    const QString leftover = QStringLiteral(".p.mht.%1-Xy12Ab.tmp").arg(child);
    env.WriteFile(QStringLiteral("out/") + leftover, "half an archive");
    env.WriteFile(QStringLiteral("out/sub/") + leftover, "half an archive");
    env.WriteFile(QStringLiteral("out/.keep.tmp"), "not ours");
    const TkvE2eResult r = env.RunProject({QStringLiteral("Source=") + env.Path(QStringLiteral("site/*.htm")),
                                           QStringLiteral("Target=") + env.Path(QStringLiteral("out")),
                                           QStringLiteral("Subdir=1"), QStringLiteral("PureConsole=1")});
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    EXPECT_EQ(hiddenFiles(env.Path(QStringLiteral("out"))), QStringList{QStringLiteral(".keep.tmp")});
    EXPECT_EQ(hiddenFiles(env.Path(QStringLiteral("out/sub"))), QStringList());
    EXPECT_EQ(titleOf(env.Path(QStringLiteral("out/sub/q.mht"))), "Q");
}
