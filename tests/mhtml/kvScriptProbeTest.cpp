#include "kvScriptProbe.h"

#include "kvMhtMessage.h"

#include <QHash>

#include <gtest/gtest.h>

namespace {

bool hasScript(const char *html)
{
    return TkvScriptProbe::HasScript(html);
}

/// Answers from a table of pages and counts what was asked.
class TTableFetcher : public TkvFetcher
{
public:
    TkvFetchResult Fetch(const QString &url) override
    {
        asked << url;
        const auto it = pages.constFind(url);
        if (it == pages.constEnd())
            throw EMhtError(QStringLiteral("HTTP 404 Not Found: %1").arg(url));
        TkvFetchResult result;
        result.body = *it;
        result.contentType = QStringLiteral("text/html");
        result.finalUrl = url;
        return result;
    }

    QHash<QString, QByteArray> pages;
    QStringList asked;
};

TEST(KvScriptProbeTest, FindsEveryWayAPageRunsAScript)
{
    EXPECT_TRUE(hasScript("<p>x</p><script>go()</script>"));
    EXPECT_TRUE(hasScript("<SCRIPT SRC=a.js></SCRIPT>"));
    EXPECT_TRUE(hasScript("<body ONLOAD=\"go()\">"));
    EXPECT_TRUE(hasScript("<svg><circle onclick=\"go()\"/></svg>"));
    EXPECT_TRUE(hasScript("<iframe src=\" JavaScript:go()\"></iframe>"));
    EXPECT_TRUE(hasScript("<noscript><p>off</p></noscript><div onmouseover=x>"));
}

TEST(KvScriptProbeTest, TextThatOnlyLooksLikeAScriptIsNone)
{
    EXPECT_FALSE(hasScript("<p>Use &lt;script&gt; with care; onload= is an attribute.</p>"));
    EXPECT_FALSE(hasScript("<!-- <script>old()</script> --><p>x</p>"));
    EXPECT_FALSE(hasScript("<textarea><script>x()</script></textarea>"));
    EXPECT_FALSE(hasScript("<style>p::before { content: '<script>' }</style>"));
    // A link to javascript: runs only when clicked; "on" alone names no event.
    EXPECT_FALSE(hasScript("<div on=\"x\"><a href=\"javascript:go()\">run</a>"));
}

TEST(KvScriptProbeTest, LooksIntoFramesToTheEnginesDepthAndReadsEachOnce)
{
    TTableFetcher fetcher;
    // A chain of frames, the script six levels down: deeper than the archive engine goes.
    for (int level = 0; level < 6; ++level)
        fetcher.pages.insert(QStringLiteral("http://h/%1.html").arg(level),
                             QStringLiteral("<iframe src=\"%1.html\"></iframe><iframe src=\"0.html\"></iframe>")
                                 .arg(level + 1)
                                 .toUtf8());
    fetcher.pages.insert(QStringLiteral("http://h/6.html"), "<script>x()</script>");
    TkvScriptProbeResult result = TkvScriptProbe::Probe(fetcher, QStringLiteral("http://h/0.html"));
    EXPECT_FALSE(result.hasScript);
    EXPECT_EQ(result.documents.size(), 6u);
    EXPECT_EQ(fetcher.asked.size(), 6);
    EXPECT_FALSE(fetcher.asked.contains(QStringLiteral("http://h/6.html")));

    // One level less deep, the script is found; a frame that cannot be read does not stop the probe.
    fetcher.pages.insert(QStringLiteral("http://h/4.html"), "<iframe src=\"gone.html\"></iframe><iframe src=\"6.html\">");
    result = TkvScriptProbe::Probe(fetcher, QStringLiteral("http://h/0.html"));
    EXPECT_TRUE(result.hasScript);
    EXPECT_EQ(result.documents.front().first, QStringLiteral("http://h/0.html"));
}

TEST(KvScriptProbeTest, APageThatCannotBeReadFailsAsTheEngineWould)
{
    TTableFetcher fetcher;
    try {
        TkvScriptProbe::Probe(fetcher, QStringLiteral("http://h/none.html"));
        ADD_FAILURE() << "no error";
    } catch (const EMhtError &error) {
        EXPECT_STREQ(error.what(), "HTTP 404 Not Found: http://h/none.html");
    }
}

} // namespace
