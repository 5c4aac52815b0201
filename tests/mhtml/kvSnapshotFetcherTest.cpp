#include "kvSnapshotFetcher.h"

#include "kvMhtMessage.h"

#include <gtest/gtest.h>

namespace {

/// Answers every address with its own text and records it.
class TEchoFetcher : public TkvFetcher
{
public:
    TEchoFetcher(TkvFetchPolicy policy, QStringList &asked) : TkvFetcher(std::move(policy)), asked(asked) {}

    TkvFetchResult Fetch(const QString &url) override
    {
        asked << url;
        TkvFetchResult result;
        result.body = "echo " + url.toUtf8();
        return result;
    }

private:
    QStringList &asked;
};

TkvFetchResult document(const QByteArray &body)
{
    TkvFetchResult source;
    source.httpStatus = 200;
    return TkvSnapshotFetcher::Utf8Document(body, QStringLiteral("http://h/final.html"), source);
}

TEST(KvSnapshotFetcherTest, AnswersHeldAddressesInAnyFormAndPassesTheRestOn)
{
    QStringList asked;
    TkvFetchPolicy policy;
    policy.maxBytes = 1234;
    TkvSnapshotFetcher fetcher(std::make_unique<TEchoFetcher>(policy, asked));
    EXPECT_EQ(fetcher.Policy().maxBytes, 1234);
    fetcher.Hold(QStringLiteral("HTTP://H:80/a/../page.html"), document("<p>held</p>"));

    for (const char *form : {"http://h/page.html", "http://H/page.html#part", "http://h:80/./page.html"}) {
        const TkvFetchResult result = fetcher.Fetch(QString::fromLatin1(form));
        EXPECT_EQ(result.body, QByteArray("<p>held</p>")) << form;
        EXPECT_EQ(result.contentType, QStringLiteral("text/html; charset=utf-8"));
        EXPECT_EQ(result.finalUrl, QStringLiteral("http://h/final.html"));
        EXPECT_EQ(result.httpStatus, 200);
    }
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_EQ(fetcher.Fetch(QStringLiteral("http://h/style.css")).body, QByteArray("echo http://h/style.css"));
    EXPECT_EQ(asked, QStringList{QStringLiteral("http://h/style.css")});
}

TEST(KvSnapshotFetcherTest, AHeldLocalDocumentIsRefusedWhereLocalFilesAre)
{
    QStringList asked;
    TkvFetchPolicy web;
    web.allowFile = false;
    TkvSnapshotFetcher fetcher(std::make_unique<TEchoFetcher>(web, asked));
    fetcher.Hold(QStringLiteral("file:///etc/frame.html"), document("<p>local</p>"));
    EXPECT_THROW(fetcher.Fetch(QStringLiteral("file:///etc/frame.html")), EMhtError);
    EXPECT_TRUE(asked.isEmpty());
}

} // namespace
