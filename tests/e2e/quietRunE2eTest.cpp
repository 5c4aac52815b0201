// The program prints only what was asked for, also where no desktop session set up the environment
// (no XDG_RUNTIME_DIR, no display): a build machine, a container, cron.
#include "e2eHarness.h"
#include "httpTestServer.h"

#include <gtest/gtest.h>

namespace {

const QStringList withoutSession{QStringLiteral("XDG_RUNTIME_DIR")};

TEST(QuietRunE2eTest, HelpAndVersionPrintTheirTextAndNothingElse)
{
    TkvE2eEnv env;
    const TkvE2eResult help = env.Run({QStringLiteral("--help")}, 60000, withoutSession);
    ASSERT_TRUE(help.Finished);
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_TRUE(help.Out.contains("Usage: web2arc")) << help.Out.toStdString();
    EXPECT_TRUE(help.Err.isEmpty()) << help.Err.toStdString();

    const TkvE2eResult version = env.Run({QStringLiteral("--version")}, 60000, withoutSession);
    ASSERT_TRUE(version.Finished);
    EXPECT_EQ(version.Out, QByteArray("Batch WEB2ARC Converter 2024.16.511.3122\n"));
    EXPECT_TRUE(version.Err.isEmpty()) << version.Err.toStdString();
}

// A pure console project with a web address runs in the hidden window, on Qt's offscreen platform,
// which looks for the session's runtime folder as it starts and cannot open the failure report.
TEST(QuietRunE2eTest, AWebAddressRunWithAFailureWritesOnlyItsLog)
{
    TkvE2eEnv env;
    const QString log = env.Path(QStringLiteral("run.log"));
    const QString source = QStringLiteral("http://127.0.0.1:%1/gone.htm").arg(TkvSilentListener::UnusedPort());
    const TkvE2eResult r = env.Run({QStringLiteral("-P:Source=%1,Target=%2,PureConsole=1,LogFile=%3")
                                        .arg(source, env.Path(QStringLiteral("out")), log)},
                                   180000, withoutSession + QStringList{QStringLiteral("WEB2ARC_OPENER")});
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_TRUE(r.Out.isEmpty()) << r.Out.toStdString();
    // Only the line every unattended run ends with, as the console run does.
    EXPECT_TRUE(r.Err.startsWith("web2arc: 0 converted, 0 skipped, 1 failed in ") && r.Err.count('\n') == 1)
        << r.Err.toStdString();
    EXPECT_TRUE(r.Err.endsWith("; log: " + log.toUtf8() + "\n")) << r.Err.toStdString();
    const QByteArray logged = TkvE2eEnv::ReadAll(log); // the run did happen, and failed as it should
    EXPECT_TRUE(logged.contains("Failure") && logged.contains(source.toUtf8())) << logged.toStdString();
}

} // namespace
