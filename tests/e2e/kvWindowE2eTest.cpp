// The window runs of the real executable: a web address converted by the hidden window of a console
// project.

#include "e2eHarness.h"
#include "httpTestServer.h"
#include "mimeReader.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

TEST(KvWindowE2eTest, AWebAddressWithoutTargetIsArchivedInTheCurrentFolder)
{
    TkvHttpTestServer server;
    server.Server().Get("/a.htm", [](const httplib::Request &, httplib::Response &response) {
        response.set_content("<!DOCTYPE html><title>Web</title><p>from the web</p>", "text/html");
    });
    server.Start();
    TkvE2eEnv env;
    const QString address = server.Url(QStringLiteral("/a.htm"));
    const QString log = env.Path(QStringLiteral("l.txt"));
    const TkvE2eResult r =
        env.Run({QStringLiteral("-P:Source=%1,PureConsole=1,LogFile=%2").arg(address, log)});
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();

    const QString archive = env.Path(QStringLiteral("__127.0.0.1_%1_a.mht").arg(server.Port()));
    const TMimeReadMessage m = ReadMimeFile(archive);
    ASSERT_TRUE(m.ok) << archive.toStdString() << ": " << m.error;
    EXPECT_TRUE(m.parts.at(0).data.contains("from the web"));
    // Nothing else appeared in the current folder: no folder named after the address's scheme.
    EXPECT_EQ(QDir(env.Root()).entryList({QStringLiteral("http*")}, QDir::AllEntries), QStringList());
    EXPECT_EQ(TkvE2eEnv::ReadAll(log), QStringLiteral("[Success] => %1 => %2\r\n").arg(address, archive).toUtf8());
}

} // namespace
