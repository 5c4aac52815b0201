// Start-up order, run-mode choice, release order and the informational parameters.
#include "kvStartup.h"
#include "kvApp.h"
#include "kvInfo.h"
#include "kvOptionTable.h"
#include "kvProduct.h"
#include "kvProject.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <vector>

namespace {

/// Owns argv for one start-up.
class TkvArgs
{
public:
    explicit TkvArgs(std::vector<QByteArray> values) : values(std::move(values))
    {
        for (QByteArray &value : this->values) {
            pointers.push_back(value.data());
        }
        pointers.push_back(nullptr);
    }
    int argc() const { return int(values.size()); }
    char **argv() { return pointers.data(); }

private:
    std::vector<QByteArray> values;
    std::vector<char *> pointers;
};

class KvStartupTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        Keep("WEB2ARC_HOME");
        Keep("WEB2ARC_OPENER");
        Keep("QT_QPA_PLATFORM");
        Keep("DISPLAY");
        Keep("WAYLAND_DISPLAY");
        qputenv("DISPLAY", ":1"); // the window hook below never connects to it
        qputenv("WEB2ARC_HOME", QFile::encodeName(home.filePath(QStringLiteral("h"))));
        qputenv("WEB2ARC_OPENER", "/bin/true");
    }
    void TearDown() override
    {
        for (const auto &[name, value] : saved) {
            if (value.isNull()) {
                qunsetenv(name.constData());
            } else {
                qputenv(name.constData(), value);
            }
        }
    }
    void Keep(const char *name)
    {
        saved.emplace_back(name, qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray());
    }

    /// A start-up whose hooks record what happened, in order.
    int Start(std::vector<QByteArray> args)
    {
        args.insert(args.begin(), QByteArray("web2arc"));
        TkvArgs owned(std::move(args));
        TkvStartup startup(owned.argc(), owned.argv());
        startup.CreateMain = [&] {
            events << QStringLiteral("main");
            // The store exists, the descriptor is not set yet.
            EXPECT_TRUE(App && Info && Project);
            EXPECT_EQ(Project->ProjectExt, QString());
        };
        startup.CreateMatcher = [&] {
            events << QStringLiteral("matcher");
            EXPECT_EQ(Project->ProjectExt, QStringLiteral(".batch-web2arc"));
            sourceAtMatcher = Project->GetSource(); // the start project is loaded by now
        };
        startup.ConsoleRun = [&] {
            events << QStringLiteral("console");
            EXPECT_NE(QCoreApplication::instance(), nullptr);
            if (failInRun) {
                throw std::runtime_error("Cannot open \"/in\": broken.");
            }
            return consoleCode;
        };
        startup.WindowRun = [&](int &, char **, TkvRunMode mode, const std::function<void()> &releaseGlobals) {
            events << (mode == TkvRunMode::TransparentWindow ? QStringLiteral("transparent")
                                                             : QStringLiteral("window"));
            platformInRun = qgetenv("QT_QPA_PLATFORM");
            if (releaseInWindow) {
                releaseGlobals();
                EXPECT_TRUE(!App && !Info && !Project);
                events << QStringLiteral("loop-end");
            }
            return 0;
        };
        startup.ReleaseMatcher = [&] { events << QStringLiteral("-matcher"); };
        startup.ReleaseMain = [&] {
            events << QStringLiteral("-main");
            EXPECT_NE(Project, nullptr);
        };
        startup.ReleaseWindows = [&] {
            events << QStringLiteral("-windows");
            EXPECT_TRUE(!App && !Info && !Project);
            recentWrittenBeforeWindows = QFile::exists(HomeFile(QStringLiteral("web2arc.log")));
        };
        std::FILE *out = std::tmpfile();
        startup.Out = out;
        const int code = startup.Run();
        std::rewind(out);
        char buffer[8192];
        const size_t got = std::fread(buffer, 1, sizeof buffer, out);
        std::fclose(out);
        printed = QString::fromLocal8Bit(buffer, qsizetype(got));
        EXPECT_TRUE(!App && !Info && !Project); // released on every path
        return code;
    }

    QString HomeFile(const QString &name) const { return home.filePath(QStringLiteral("h/") + name); }

    QTemporaryDir home;
    QStringList events;
    QString printed;
    QByteArray platformInRun;
    QString sourceAtMatcher;
    bool failInRun = false;
    bool releaseInWindow = false;
    int consoleCode = 0;
    bool recentWrittenBeforeWindows = false;

private:
    std::vector<std::pair<QByteArray, QByteArray>> saved;
};

TEST_F(KvStartupTest, ConsoleProjectRunsWithoutWindowAndReleasesInReverseOrder)
{
    EXPECT_EQ(Start({"-P:PureConsole=1,Source=/in/*.htm?"}), 0);
    EXPECT_EQ(events, QStringList({"main", "matcher", "console", "-matcher", "-main", "-windows"}));
    EXPECT_EQ(sourceAtMatcher, QStringLiteral("/in/*.htm?"));
    EXPECT_TRUE(recentWrittenBeforeWindows);
}

TEST_F(KvStartupTest, RunModeFollowsPureConsoleAndHttpInSource)
{
    const struct
    {
        const char *param;
        const char *mode;
    } cases[] = {
        {"-P:PureConsole=1;Source=http://srv/a.htm", "transparent"},
        {"-P:PureConsole=1;Source=/srv/httpdocs/*.htm?", "transparent"},
        {"-P:PureConsole=1;Source=HTTP://SRV/A.HTM", "console"},
        {"-P:PureConsole=0;Source=http://srv/a.htm", "window"},
        {"-P:RunAndClose=1;Source=/in", "window"},
        {"/pages/index.htm", "window"},
    };
    for (const auto &c : cases) {
        events.clear();
        qunsetenv("QT_QPA_PLATFORM");
        EXPECT_EQ(Start({c.param}), 0) << c.param;
        EXPECT_EQ(events.value(2), QString::fromLatin1(c.mode)) << c.param;
        if (events.value(2) == QLatin1String("transparent")) {
            EXPECT_EQ(platformInRun, QByteArray("offscreen"));
        }
    }
}

TEST_F(KvStartupTest, WindowRunReleasesTheGlobalsWhileItsWindowsExist)
{
    releaseInWindow = true;
    EXPECT_EQ(Start({"-P:Source=/in"}), 0);
    EXPECT_EQ(events, QStringList({"main", "matcher", "window", "-matcher", "-main", "loop-end", "-windows"}));
    EXPECT_TRUE(recentWrittenBeforeWindows);
}

TEST_F(KvStartupTest, ConsoleExitCodeIsPassedOn)
{
    consoleCode = 1;
    EXPECT_EQ(Start({"-P:PureConsole=1,Source=/in"}), 1);
}

TEST_F(KvStartupTest, ProjectFileOnTheCommandLineChoosesTheMode)
{
    ASSERT_TRUE(QDir().mkpath(home.filePath(QStringLiteral("p"))));
    const QString project = home.filePath(QStringLiteral("p/run.batch-web2arc"));
    QFile file(project);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Source=/in/*.htm?\r\nPureConsole=True\r\n");
    file.close();
    EXPECT_EQ(Start({QFile::encodeName(project)}), 0);
    EXPECT_EQ(events.value(2), QStringLiteral("console"));
    QFile recent(HomeFile(QStringLiteral("web2arc.log")));
    ASSERT_TRUE(recent.open(QIODevice::ReadOnly));
    EXPECT_EQ(recent.readAll(), QFile::encodeName(project) + "\r\n");
}

TEST_F(KvStartupTest, SwitchUEndsBeforeTheMatcherAndStillWritesTheRecentList)
{
    EXPECT_EQ(Start({"-U"}), 0);
    EXPECT_EQ(events, QStringList({"main", "-main", "-windows"}));
    EXPECT_TRUE(recentWrittenBeforeWindows);
    events.clear();
    EXPECT_EQ(Start({"/i"}), 0);
    EXPECT_EQ(events, QStringList({"main", "-main", "-windows"}));
}

TEST_F(KvStartupTest, HelpAndVersionPrintAndTouchNoFile)
{
    EXPECT_EQ(Start({"--version"}), 0);
    EXPECT_EQ(printed, QStringLiteral("Batch WEB2ARC Converter 2024.16.511.3122\n"));
    EXPECT_EQ(Start({"--help", "ignored"}), 0);
    EXPECT_TRUE(printed.contains(QLatin1String("-P:KEY=VALUE")));
    for (const TkvOptionRow &row : TkvOptionTable::Rows()) // every option, with its default
        EXPECT_TRUE(printed.contains(
            QRegularExpression(QStringLiteral("\\n  %1 +\\S.*; %2 ")
                                   .arg(QLatin1String(row.key), TkvOptionTable::DefaultName(row.option)))))
            << row.key;
    EXPECT_TRUE(printed.contains(home.filePath(QStringLiteral("h/")))); // where the per-user files are
    EXPECT_TRUE(events.isEmpty());
    EXPECT_EQ(QDir(home.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

TEST_F(KvStartupTest, ErrorEscapingTheRunStillReleasesEverything)
{
    failInRun = true;
    EXPECT_EQ(Start({"-P:PureConsole=1,Source=/in"}), 1);
    EXPECT_EQ(events, QStringList({"main", "matcher", "console", "-matcher", "-main", "-windows"}));
}

TEST_F(KvStartupTest, AppTakesOnlyTheFirstParameterAsFileName)
{
    TkvArgs args({"web2arc", "/tmp/a b.htm", "second"});
    const TkvApp app(args.argc(), args.argv());
    EXPECT_EQ(app.FirstParam, QStringLiteral("/tmp/a b.htm"));
    EXPECT_TRUE(app.ExePath.endsWith(QLatin1String("/app_tests"))) << app.ExePath.toStdString();
    TkvArgs none({"web2arc"});
    EXPECT_EQ(TkvApp(none.argc(), none.argv()).FirstParam, QString());
    TkvArgs odd({"web2arc", "/tmp/\xC3\xA9\xFF"});
    EXPECT_TRUE(TkvApp(odd.argc(), odd.argv()).FirstParam.startsWith(QStringLiteral("/tmp/\u00E9")));
}

TEST_F(KvStartupTest, ProjectExtensionAndFilterAreBuiltFromTheShortName)
{
    TkvProject project;
    TkvProduct::Describe(project, nullptr);
    EXPECT_EQ(project.ProjectExt, QStringLiteral(".batch-web2arc"));
    EXPECT_EQ(project.ProjectFilter, QStringLiteral("Batch WEB2ARC Project|*.batch-web2arc"));
    EXPECT_EQ(project.PathDelim, QChar('/'));
    EXPECT_TRUE(project.TargetFollowsSource);
    EXPECT_TRUE(project.OverwriteDefault);
}

} // namespace

TEST_F(KvStartupTest, WindowModeWithoutADesktopSessionSaysWhatIsWrongAndEndsWithOne)
{
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    qunsetenv("QT_QPA_PLATFORM");
    ASSERT_TRUE(QDir().mkpath(home.filePath(QStringLiteral("p"))));
    const QString missing = home.filePath(QStringLiteral("p/missing.batch-web2arc"));
    EXPECT_EQ(Start({QFile::encodeName(missing)}), 1);
    EXPECT_FALSE(events.contains(QStringLiteral("window")));
    EXPECT_EQ(events.value(2), QStringLiteral("-matcher")); // released in order, no run

    // The other plug-ins need no session: the window hook runs.
    events.clear();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    EXPECT_EQ(Start({"-P:Source=/in"}), 0);
    EXPECT_EQ(events.value(2), QStringLiteral("window"));
}

TEST_F(KvStartupTest, TheErrorTextNamesTheProjectProblemAndTheWayOut)
{
    TkvProject project;
    project.ProjectExt = QStringLiteral(".batch-web2arc");
    project.ProjectFile = home.filePath(QStringLiteral("run.batch-web2arc"));
    project.LoadError = QStringLiteral("Cannot open file \"x\". No such file or directory.");
    QString text = TkvStartup::NoWindowText(project);
    EXPECT_TRUE(text.startsWith(project.LoadError)) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("PureConsole=True"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("DISPLAY"))) << text.toStdString();

    project.LoadError.clear();
    text = TkvStartup::NoWindowText(project);
    EXPECT_TRUE(text.contains(QStringLiteral("\"%1\" does not set PureConsole=True").arg(project.ProjectFile)))
        << text.toStdString();
}
