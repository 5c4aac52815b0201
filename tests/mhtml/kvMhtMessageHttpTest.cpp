// Whole conversions of pages served by a cpp-httplib server on 127.0.0.1 started by each test.
#ifdef WEB2ARC_HAVE_HTTPLIB

#include "gzipStored.h"
#include "httpTestServer.h"
#include "mhtReaderCheck.h"
#include "mimeReader.h"

#include "kvMhtMessage.h"
#include "kvUrl.h"
#include "mhtErrorOf.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>

namespace {

class KvMhtMessageHttpTest : public testing::Test
{
protected:
    void SetUp() override
    {
        QFile secret(dir.filePath(QStringLiteral("secret.txt")));
        ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
        secret.write("local secret");
        secret.close();
        secretUrl = TkvUrl::FromLocalPath(secret.fileName()).toStdString();

        httplib::Server &s = server.Server();
        s.Get("/page.html", [this](const httplib::Request &, httplib::Response &r) {
            r.set_content("<!DOCTYPE html><title>Web page</title><link rel=stylesheet href=gz.css>"
                          "<img src=img.png><img src=missing.png><img src=loop.png><img src=moved.png>"
                          "<img src=\"" +
                              secretUrl +
                              "\"><img src=\"file:///etc/passwd\"><img src=typed>"
                              "<img src=\"" +
                              silent.Url("/x.png").toStdString() +
                              "\">"
                              "<img src=\"http://127.0.0.1:" +
                              std::to_string(TkvSilentListener::UnusedPort()) + "/y.png\">",
                          "text/html; charset=utf-8");
        });
        s.Get("/img.png", [](const httplib::Request &, httplib::Response &r) {
            r.set_content(std::string("\x89PNG\r\n\x1a\n\0\0binary", 16), "image/png");
        });
        s.Get("/typed",
              [](const httplib::Request &, httplib::Response &r) { r.set_content("GIF89a...", "image/gif"); });
        s.Get("/moved.png", [](const httplib::Request &, httplib::Response &r) { r.set_redirect("/img.png"); });
        s.Get("/loop.png", [](const httplib::Request &, httplib::Response &r) { r.set_redirect("/loop.png"); });
        s.Get("/loop.html", [](const httplib::Request &, httplib::Response &r) { r.set_redirect("/loop.html"); });
        s.Get("/gz.css", [](const httplib::Request &, httplib::Response &r) {
            r.set_header("Content-Encoding", "gzip");
            r.set_content(gzipStored("body { background: url(bg.png) }\n"), "text/css");
        });
        s.Get("/bg.png", [](const httplib::Request &, httplib::Response &r) { r.set_content("bg", "image/png"); });
        s.Get("/private.html", [](const httplib::Request &q, httplib::Response &r) {
            if (q.get_header_value("Authorization") != "Basic dXNlcjpwdw==") { // user:pw
                r.status = 401;
                r.set_header("WWW-Authenticate", "Basic realm=\"test\"");
                return;
            }
            r.set_content("<!DOCTYPE html><title>Private</title><p>in", "text/html");
        });
        server.Start();
    }

    TMimeReadMessage convert(const QString &url, const QString &user = {}, const QString &password = {})
    {
        TkvMhtMessage message;
        message.FetchPolicy.proxy = QString(); // loopback: never through a proxy from the environment
        message.FetchPolicy.totalTimeoutMs = 1500;
        message.CreateMHTMLBody(url, 0, user, password);
        const QByteArray archive = message.GetStream().Bytes();
        const std::vector<std::string> problems = CheckMhtForReaders(archive);
        EXPECT_TRUE(problems.empty()) << problems.front();
        return ReadMimeMessage(archive);
    }

    QTemporaryDir dir;
    std::string secretUrl;
    TkvSilentListener silent;
    TkvHttpTestServer server;
};

} // namespace

TEST_F(KvMhtMessageHttpTest, WebPageKeepsWhatCouldBeFetchedAndNeverLocalFiles)
{
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    const TMimeReadMessage read = convert(server.Url(QStringLiteral("/page.html")));
    const QDateTime after = QDateTime::currentDateTimeUtc().addSecs(1);
    ASSERT_TRUE(read.ok) << read.error;

    std::set<std::string> locations;
    for (const TMimeReadPart &part : read.parts)
        locations.insert(part.location);
    const auto url = [&](const char *path) { return server.Url(QString::fromLatin1(path)).toStdString(); };
    // 404, the redirect loop, the time-out, the closed port and both file: URLs are left out.
    EXPECT_EQ(locations, (std::set<std::string>{url("/page.html"), url("/gz.css"), url("/img.png"), url("/moved.png"),
                                                url("/typed"), url("/bg.png")}));
    for (const TMimeReadPart &part : read.parts)
        EXPECT_FALSE(part.data.contains("local secret"));

    EXPECT_EQ(read.parts.front().location, url("/page.html"));
    EXPECT_EQ(read.Header("Snapshot-Content-Location"), url("/page.html"));
    EXPECT_EQ(read.subject, "Web page");
    const QDateTime date = QDateTime::fromString(QString::fromStdString(read.Header("Date")), Qt::RFC2822Date);
    EXPECT_TRUE(date >= before && date <= after) << read.Header("Date");

    // The gzip body is stored decoded; the server's Content-Type wins over the content.
    EXPECT_EQ(read.Find(url("/gz.css"))->data, QByteArray("body { background: url(bg.png) }\n"));
    EXPECT_EQ(read.Find(url("/gz.css"))->contentType, "text/css");
    EXPECT_EQ(read.Find(url("/typed"))->contentType, "image/gif");
    EXPECT_EQ(read.Find(url("/img.png"))->data, QByteArray("\x89PNG\r\n\x1a\n\0\0binary", 16));
    EXPECT_EQ(read.Find(url("/moved.png"))->data, read.Find(url("/img.png"))->data);
}

TEST_F(KvMhtMessageHttpTest, PagesThatCannotBeFetchedFail)
{
    std::string error = errorOf([&] { convert(server.Url(QStringLiteral("/nothing.html"))); });
    EXPECT_NE(error.find("HTTP 404"), std::string::npos) << error;
    EXPECT_NE(error.find("/nothing.html"), std::string::npos) << error;

    EXPECT_FALSE(errorOf([&] { convert(server.Url(QStringLiteral("/loop.html"))); }).empty());
    EXPECT_FALSE(errorOf([&] { convert(silent.Url(QStringLiteral("/p.html"))); }).empty());
    const QString closed = QStringLiteral("http://127.0.0.1:%1/p.html").arg(TkvSilentListener::UnusedPort());
    EXPECT_FALSE(errorOf([&] { convert(closed); }).empty());
}

TEST_F(KvMhtMessageHttpTest, UserAndPasswordAuthenticate)
{
    const QString url = server.Url(QStringLiteral("/private.html"));
    const std::string error = errorOf([&] { convert(url); });
    EXPECT_NE(error.find("401"), std::string::npos) << error;

    const TMimeReadMessage read = convert(url, QStringLiteral("user"), QStringLiteral("pw"));
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(read.parts.front().data, QByteArray("<!DOCTYPE html><title>Private</title><p>in"));
}

#endif // WEB2ARC_HAVE_HTTPLIB
