#include "kvPageLinks.h"

#include "kvCharset.h"
#include "qStringPrinter.h"

#include <gtest/gtest.h>

namespace {

const QString kPage = QStringLiteral("http://host/docs/page.html");

std::vector<QString> linksOf(const QByteArray &html, const QString &contentType = {})
{
    return TkvPageLinks::Find(kPage, html, contentType);
}

std::vector<QString> urls(std::initializer_list<const char *> list)
{
    std::vector<QString> out;
    for (const char *u : list)
        out.push_back(QString::fromUtf8(u));
    return out;
}

} // namespace

TEST(KvPageLinksTest, FindsEveryKindOfLinkInDocumentOrderOnce)
{
    const QByteArray html = "<html><head><link rel=stylesheet href=s.css><link rel='Prev' href=p0.html>"
                            "<link rel='alternate next' href=p2.html><link rel=icon href=i.ico></head>"
                            "<body><img src=pic.png><script src=x.js></script>"
                            "<a href='a.html#part'>a</a> <a href=a.html>again</a> <a>no href</a>"
                            "<map><area href=area.html></map><iframe src=inner.html></iframe>"
                            "<frameset><frame src=../up.html></frameset>"
                            "<svg><a xlink:href=svg.html><text>s</text></a></svg>"
                            "<a href='http://other.example/x.html'>out</a>"
                            "<a href='#top'>top</a><a href='mailto:a@b'>m</a><a href='javascript:go()'>j</a>"
                            "<a href='data:text/html,x'>d</a><a href=''>empty</a><a href='http://[bad/'>bad</a>"
                            "<!-- <a href=comment.html> --><script>var s = '<a href=script.html>';</script>"
                            "</body></html>";
    EXPECT_EQ(linksOf(html), urls({"http://host/docs/p0.html", "http://host/docs/p2.html", "http://host/docs/a.html",
                                   "http://host/docs/area.html", "http://host/docs/inner.html", "http://host/up.html",
                                   "http://host/docs/svg.html", "http://other.example/x.html"}));
}

TEST(KvPageLinksTest, TheFirstBaseHrefResolvesTheLinksAfterIt)
{
    const QByteArray html = "<a href=before.html></a><base href='../other/'><base href='/ignored/'>"
                            "<a href=after.html></a><a href='/root.html'></a>";
    EXPECT_EQ(linksOf(html),
              urls({"http://host/docs/before.html", "http://host/other/after.html", "http://host/root.html"}));
}

TEST(KvPageLinksTest, FollowsRefreshDeclarations)
{
    EXPECT_EQ(linksOf("<meta http-equiv=REFRESH content=\"0; URL='next.html'\">"),
              urls({"http://host/docs/next.html"}));
    EXPECT_EQ(linksOf("<meta http-equiv=refresh content='5'>"), urls({}));
    EXPECT_EQ(TkvPageLinks::RefreshTarget("3;url=a.html "), "a.html");
    EXPECT_EQ(TkvPageLinks::RefreshTarget("0.5, b.html"), "b.html");
    EXPECT_EQ(TkvPageLinks::RefreshTarget("  1 ; URL = \"c d.html\" trailing"), "c d.html");
    EXPECT_EQ(TkvPageLinks::RefreshTarget("url=x.html"), ""); // no time: not a refresh
}

TEST(KvPageLinksTest, ReadsLinksInThePagesCharset)
{
    // windows-1252 bytes in an href become UTF-8 escapes, whether the charset comes from the server or
    // the page.
    const QByteArray latin = "<a href='caf\xE9.html'>x</a>";
    EXPECT_EQ(linksOf(latin, QStringLiteral("text/html; charset=windows-1252")),
              urls({"http://host/docs/caf%C3%A9.html"}));
    EXPECT_EQ(linksOf("<meta charset=windows-1252>" + latin), urls({"http://host/docs/caf%C3%A9.html"}));
    // A UTF-16 page is read too.
    const QByteArray utf16 =
        TkvCharset::Encode(QStringLiteral("<a href='\u00fcber.html'>x</a>"), QStringLiteral("UTF-16LE"));
    EXPECT_EQ(linksOf("\xFF\xFE" + utf16), urls({"http://host/docs/%C3%BCber.html"}));
}
