// The executable converts a web site served on 127.0.0.1 when the Source is an address with a mask.
#include "mimeReader.h" // GMime before Qt headers

#include "e2eHarness.h"
#include "siteTestServer.h"

#include <QDir>
#include <QDirIterator>

#include <gtest/gtest.h>

#include <set>

namespace {

std::set<QString> archivesBelow(const QString &folder)
{
    std::set<QString> out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        out.insert(QDir(folder).relativeFilePath(it.next()));
    return out;
}

TEST(SiteE2eTest, ASiteBecomesOneArchivePerPageAndMaxPagesIsSaidOnStandardError)
{
    TTestSite site;
    site.Page("/docs/", links({"a.html", "sub/", "../up.html", "a.html?page=2"}));
    site.Page("/docs/a.html", links({"./", "sub/b.html"}) + "<img src=logo.png>");
    site.Page("/docs/sub/", links({"b.html"}));
    site.Page("/docs/sub/b.html", links({"../a.html"}));
    site.Page("/docs/logo.png", TkvE2eEnv::LogoPng().toStdString(), "image/png");
    site.Page("/up.html", links({}));

    TkvE2eEnv env;
    const QString target = env.Path(QStringLiteral("out"));
    const QString options = QStringLiteral("-P:Source=%1,Target=%2,Subdir=True,ThreadsCount=2,PureConsole=1,MaxPages=%3");
    const TkvE2eResult whole = env.Run({options.arg(site.Url("/docs/*.html"), target, QStringLiteral("100"))});
    ASSERT_TRUE(whole.Finished);
    EXPECT_EQ(whole.ExitCode, 0) << whole.Err.toStdString();
    const std::set<QString> expected{QStringLiteral("index.mht"), QStringLiteral("a.mht"),
                                     QStringLiteral("sub/index.mht"), QStringLiteral("sub/b.mht")};
    EXPECT_EQ(archivesBelow(target), expected);
    for (const QString &name : expected) {
        const TMimeReadMessage message = ReadMimeFile(target + u'/' + name);
        EXPECT_TRUE(message.ok) << name.toStdString() << ": " << message.error;
    }
    const TMimeReadMessage a = ReadMimeFile(target + QStringLiteral("/a.mht"));
    const TMimeReadPart *logo = a.Find(site.Url("/docs/logo.png").toStdString());
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->data, TkvE2eEnv::LogoPng());
    for (const std::string &request : site.Requests()) {
        EXPECT_NE(request, "/up.html");
        EXPECT_EQ(request.find('?'), std::string::npos) << request;
    }

    const QString limited = env.Path(QStringLiteral("limited"));
    const TkvE2eResult two = env.Run({options.arg(site.Url("/docs/*.html"), limited, QStringLiteral("2"))});
    ASSERT_TRUE(two.Finished);
    EXPECT_EQ(two.ExitCode, 0);
    EXPECT_EQ(archivesBelow(limited).size(), 2u);
    EXPECT_TRUE(two.Err.contains("stopped after 2 pages (MaxPages)")) << two.Err.toStdString();
}

} // namespace
