// HTTP fetching against a cpp-httplib server on 127.0.0.1 started by each test.
#ifdef WEB2ARC_HAVE_HTTPLIB

#include "httpTestServer.h"
#include "kvFetcher.h"
#include "kvHttpFetcher.h"
#include "kvMhtMessage.h"

#include <gtest/gtest.h>

#include <mutex>
#include <set>

namespace {

/// A gzip member (RFC 1952) holding `data` in stored deflate blocks: real gzip framing without a
/// compression library.
std::string gzipStored(const std::string &data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (unsigned char c : data) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    crc ^= 0xFFFFFFFFu;
    std::string out("\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\xFF", 10);
    size_t at = 0;
    do {
        const size_t n = std::min<size_t>(65535, data.size() - at);
        const bool last = at + n == data.size();
        out += char(last ? 1 : 0);
        out += char(n & 0xFF);
        out += char(n >> 8);
        out += char(~n & 0xFF);
        out += char((~n >> 8) & 0xFF);
        out.append(data, at, n);
        at += n;
    } while (at < data.size());
    for (quint32 v : {crc, quint32(data.size())})
        for (int k = 0; k < 4; ++k)
            out += char((v >> (8 * k)) & 0xFF);
    return out;
}

class KvFetcherHttpTest : public testing::Test
{
protected:
    KvFetcherHttpTest()
    {
        policy.proxy = QString(QLatin1String("")); // loopback only, whatever the environment says
    }

    std::string errorOf(const QString &url)
    {
        try {
            TkvFetcher(policy).Fetch(url);
        } catch (const EMhtError &e) {
            return e.what();
        }
        return "(no error)";
    }

    TkvHttpTestServer server;
    TkvFetchPolicy policy;
};

} // namespace

TEST_F(KvFetcherHttpTest, FetchesBodyTypeDateAndSendsTheUserAgent)
{
    std::string agent;
    server.Server().Get("/a b.css", [&](const httplib::Request &request, httplib::Response &response) {
        agent = request.get_header_value("User-Agent");
        response.set_header("Last-Modified", "Tue, 15 Nov 1994 08:12:31 GMT");
        response.set_content("body{}", "text/css; charset=utf-8");
    });
    server.Start();
    const TkvFetchResult result = TkvFetcher(policy).Fetch(server.Url(QStringLiteral("/a%20b.css")));
    EXPECT_EQ(result.body, QByteArray("body{}"));
    EXPECT_EQ(result.contentType, QStringLiteral("text/css; charset=utf-8"));
    EXPECT_EQ(result.httpStatus, 200);
    EXPECT_EQ(result.finalUrl, server.Url(QStringLiteral("/a%20b.css")));
    EXPECT_EQ(result.lastModified, QDateTime(QDate(1994, 11, 15), QTime(8, 12, 31), Qt::UTC));
    EXPECT_EQ(result.fileSize, -1);
    EXPECT_EQ(agent, "web2arc/2024.16.511.3122");
}

TEST_F(KvFetcherHttpTest, ReportsHttpErrorsWithStatusAndAddress)
{
    server.Server().Get("/gone", [](const httplib::Request &, httplib::Response &response) {
        response.status = 500;
        response.set_content("oops", "text/plain");
    });
    server.Start();
    const QString missing = server.Url(QStringLiteral("/missing.htm"));
    EXPECT_EQ(errorOf(missing), ("HTTP 404 Not Found: " + missing).toStdString());
    const QString gone = server.Url(QStringLiteral("/gone"));
    EXPECT_EQ(errorOf(gone), ("HTTP 500 Internal Server Error: " + gone).toStdString());
}

TEST_F(KvFetcherHttpTest, FollowsRedirectsAndStopsALoop)
{
    server.Server().Get("/old", [](const httplib::Request &, httplib::Response &response) {
        response.set_redirect("/step");
    });
    server.Server().Get("/step", [](const httplib::Request &, httplib::Response &response) {
        response.set_redirect("/new.png", 301);
    });
    server.Server().Get("/new.png", [](const httplib::Request &, httplib::Response &response) {
        response.set_content("PNG", "image/png");
    });
    std::atomic<int> loops{0};
    server.Server().Get("/loop", [&](const httplib::Request &, httplib::Response &response) {
        ++loops;
        response.set_redirect("/loop");
    });
    server.Server().Get("/to-file", [](const httplib::Request &, httplib::Response &response) {
        response.set_redirect("file:///etc/hostname");
    });
    server.Start();
    const TkvFetchResult result = TkvFetcher(policy).Fetch(server.Url(QStringLiteral("/old")));
    EXPECT_EQ(result.body, QByteArray("PNG"));
    EXPECT_EQ(result.finalUrl, server.Url(QStringLiteral("/new.png")));

    const std::string loop = errorOf(server.Url(QStringLiteral("/loop")));
    EXPECT_NE(loop.find("Maximum (10) redirects followed"), std::string::npos) << loop;
    EXPECT_EQ(loops.load(), 11);
    // A web page may never lead the fetcher to a local file.
    const std::string toFile = errorOf(server.Url(QStringLiteral("/to-file")));
    EXPECT_EQ(toFile.rfind("Cannot fetch \"" + server.Url(QStringLiteral("/to-file")).toStdString() + "\": ", 0), 0u)
        << toFile;
}

TEST_F(KvFetcherHttpTest, DecodesACompressedResponse)
{
    std::string acceptEncoding;
    std::string plain;
    for (int i = 0; i < 5000; ++i)
        plain += char('a' + i % 26);
    server.Server().Get("/data.bin", [&](const httplib::Request &request, httplib::Response &response) {
        acceptEncoding = request.get_header_value("Accept-Encoding");
        response.set_header("Content-Encoding", "gzip");
        response.set_content(gzipStored(plain), "application/octet-stream");
    });
    server.Start();
    const TkvFetchResult result = TkvFetcher(policy).Fetch(server.Url(QStringLiteral("/data.bin")));
    EXPECT_NE(acceptEncoding.find("gzip"), std::string::npos) << acceptEncoding;
    EXPECT_EQ(result.body.toStdString(), plain);
}

TEST_F(KvFetcherHttpTest, AuthenticatesWithUserAndPassword)
{
    server.Server().Get("/private", [](const httplib::Request &request, httplib::Response &response) {
        // "user:pa:ss" in base64: a colon inside the password must survive.
        if (request.get_header_value("Authorization") == "Basic dXNlcjpwYTpzcw==") {
            response.set_content("secret", "text/plain");
            return;
        }
        response.status = 401;
        response.set_header("WWW-Authenticate", "Basic realm=\"test\"");
    });
    server.Start();
    const QString url = server.Url(QStringLiteral("/private"));
    EXPECT_EQ(errorOf(url), ("HTTP 401 Unauthorized: " + url).toStdString());
    policy.user = QStringLiteral("user");
    policy.password = QStringLiteral("pa:ss");
    EXPECT_EQ(TkvFetcher(policy).Fetch(url).body, QByteArray("secret"));
    policy.password = QStringLiteral("wrong");
    EXPECT_EQ(errorOf(url), ("HTTP 401 Unauthorized: " + url).toStdString());
}

TEST_F(KvFetcherHttpTest, CapsTheResponseSize)
{
    server.Server().Get("/sized", [](const httplib::Request &, httplib::Response &response) {
        response.set_content(std::string(5000, 'x'), "application/octet-stream");
    });
    server.Server().Get("/chunked", [](const httplib::Request &, httplib::Response &response) {
        response.set_chunked_content_provider("application/octet-stream",
                                              [](size_t, httplib::DataSink &sink) {
                                                  const std::string block(1000, 'y');
                                                  for (int i = 0; i < 5; ++i)
                                                      sink.write(block.data(), block.size());
                                                  sink.done();
                                                  return true;
                                              });
    });
    server.Start();
    policy.maxBytes = 1000;
    for (const char *path : {"/sized", "/chunked"}) {
        const QString url = server.Url(QString::fromLatin1(path));
        EXPECT_EQ(errorOf(url), ("Cannot fetch \"" + url + "\": The response is larger than 1000 bytes.").toStdString());
    }
    policy.maxBytes = 5000;
    EXPECT_EQ(TkvFetcher(policy).Fetch(server.Url(QStringLiteral("/chunked"))).body.size(), 5000);
}

TEST_F(KvFetcherHttpTest, ReusesTheConnectionOnTheSameThread)
{
    std::mutex mutex;
    std::set<int> clientPorts;
    server.Server().Get("/r", [&](const httplib::Request &request, httplib::Response &response) {
        std::lock_guard lock(mutex);
        clientPorts.insert(request.remote_port);
        response.set_content("r", "text/plain");
    });
    server.Start();
    TkvFetcher fetcher(policy);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(fetcher.Fetch(server.Url(QStringLiteral("/r"))).body, QByteArray("r"));
    EXPECT_EQ(clientPorts.size(), 1u);
}

TEST_F(KvFetcherHttpTest, TimesOutOnAServerThatNeverAnswers)
{
    TkvSilentListener silent;
    policy.totalTimeoutMs = 300;
    const std::string error = errorOf(silent.Url(QStringLiteral("/slow")));
    EXPECT_EQ(error.rfind("Cannot fetch \"" + silent.Url(QStringLiteral("/slow")).toStdString() + "\": ", 0), 0u)
        << error;
    EXPECT_NE(error.find("timed out"), std::string::npos) << error;
}

TEST_F(KvFetcherHttpTest, ReportsAnUnreachablePort)
{
    const QString url = QStringLiteral("http://127.0.0.1:%1/a.htm").arg(TkvSilentListener::UnusedPort());
    const std::string error = errorOf(url);
    EXPECT_EQ(error.rfind("Cannot fetch \"" + url.toStdString() + "\": ", 0), 0u) << error;
    EXPECT_NE(error.find("onnect"), std::string::npos) << error;
}

#endif // WEB2ARC_HAVE_HTTPLIB
