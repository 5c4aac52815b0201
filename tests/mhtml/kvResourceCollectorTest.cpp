#include "kvResourceCollector.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using Kind = TkvResourceKind;

std::map<QString, Kind> scan(const std::string &html, const QString &url = QStringLiteral("http://h.example/d/p.htm"),
                             TkvResourceCollector *keep = nullptr)
{
    TkvResourceCollector collector(url, QStringLiteral("UTF-8"));
    collector.ScanHtml(html);
    std::map<QString, Kind> out;
    for (const TkvFoundResource &r : collector.Resources())
        out[r.url] = r.kind;
    if (keep)
        *keep = collector;
    return out;
}

} // namespace

TEST(KvResourceCollectorTest, FindsEveryKindOfReferenceWithItsKind)
{
    const auto found = scan(R"HTML(<html><head>
<link rel="stylesheet" href="s.css"><link rel="shortcut icon" href="/fav.ico"><link REL="Apple-Touch-Icon" href="t.png">
<link rel="alternate" href="feed.xml"><script src="a.js"></script><script>var x = "<img src=no.png>";</script>
<style>@media print { @supports (x:y) { .a { background: image-set("i1.png" 1x, url(i2.png) 2x) } } }</style>
</head><body background="bg.png">
<img src="img.png" srcset="s1.png 1x, s2.png 2x, bad.png 2q"><picture><source srcset="p.webp"></picture>
<input type="IMAGE" src="btn.png"><input type="text" src="not.png">
<table background="t1.png"><tr><td background="t2.png"><th background="t3.png"></table>
<video poster="poster.png" src="v.webm"><source src="v.mp4"><track src="v.vtt"></video>
<audio src="a.ogg"><source src="a.mp3"></audio><bgsound src="b.mid">
<embed src="e.swf"><object data="o.pdf"></object>
<svg><image href="si.png"/><feImage xlink:href="fe.png"/><use xlink:href="sprite.svg#x"/></svg>
<iframe src="f.htm"></iframe><frame src="g.htm">
<noscript><img src="ns.png"></noscript><div style="background:url('st.png')"></div>
</body></html>)HTML");
    const std::map<QString, Kind> expected = {
        {"http://h.example/d/s.css", Kind::StyleSheet}, {"http://h.example/fav.ico", Kind::Image},
        {"http://h.example/d/t.png", Kind::Image},      {"http://h.example/d/a.js", Kind::Script},
        {"http://h.example/d/i1.png", Kind::CssUrl},    {"http://h.example/d/i2.png", Kind::CssUrl},
        {"http://h.example/d/bg.png", Kind::Image},     {"http://h.example/d/img.png", Kind::Image},
        {"http://h.example/d/s1.png", Kind::Image},     {"http://h.example/d/s2.png", Kind::Image},
        {"http://h.example/d/p.webp", Kind::Image},     {"http://h.example/d/btn.png", Kind::Image},
        {"http://h.example/d/t1.png", Kind::Image},     {"http://h.example/d/t2.png", Kind::Image},
        {"http://h.example/d/t3.png", Kind::Image},     {"http://h.example/d/poster.png", Kind::Image},
        {"http://h.example/d/v.webm", Kind::Object},    {"http://h.example/d/v.mp4", Kind::Object},
        {"http://h.example/d/v.vtt", Kind::Object},     {"http://h.example/d/a.ogg", Kind::Sound},
        {"http://h.example/d/a.mp3", Kind::Sound},      {"http://h.example/d/b.mid", Kind::Sound},
        {"http://h.example/d/e.swf", Kind::Object},     {"http://h.example/d/o.pdf", Kind::Object},
        {"http://h.example/d/si.png", Kind::Image},     {"http://h.example/d/fe.png", Kind::Image},
        {"http://h.example/d/sprite.svg", Kind::Image}, {"http://h.example/d/f.htm", Kind::Frame},
        {"http://h.example/d/g.htm", Kind::Frame},      {"http://h.example/d/ns.png", Kind::Image},
        {"http://h.example/d/st.png", Kind::CssUrl},
    };
    EXPECT_EQ(found, expected);
}

TEST(KvResourceCollectorTest, LeavesSpecialReferencesAloneAndListsEachUrlOnce)
{
    TkvResourceCollector collector(QStringLiteral("http://h.example/p.htm"), QStringLiteral("UTF-8"));
    collector.ScanHtml(R"HTML(<img src="data:image/png;base64,AAAA"><img src="javascript:x()"><img src="about:blank">
<img src="mailto:a@b"><img src="cid:part1"><img src="#frag"><img src=""><img src="  ">
<img src="a.png#one"><img src="A.PNG"><img src="./a.png"><img src="a.png?q=1"><img src="http://H.EXAMPLE:80/a.png">)HTML");
    std::vector<QString> urls;
    for (const TkvFoundResource &r : collector.Resources())
        urls.push_back(r.url);
    EXPECT_EQ(urls,
              (std::vector<QString>{"http://h.example/a.png", "http://h.example/A.PNG", "http://h.example/a.png?q=1"}));
    EXPECT_TRUE(collector.Edits().empty());
}

TEST(KvResourceCollectorTest, BaseHrefSetsTheBaseAndIsRewrittenAbsolute)
{
    const std::string page =
        "<head><base href='sub/'><title> A\n  &amp; B </title></head><img src=x.png><base href=other/>";
    TkvResourceCollector collector(QStringLiteral("file:///site/p.htm"), QStringLiteral("UTF-8"));
    collector.ScanHtml(page);
    ASSERT_EQ(collector.Resources().size(), 1u);
    EXPECT_EQ(collector.Resources()[0].url, QStringLiteral("file:///site/sub/x.png"));
    EXPECT_EQ(collector.Title(), QStringLiteral("A & B"));
    // Only the first <base href> counts; in a local page its value becomes the archive address.
    EXPECT_EQ(TkvResourceCollector::ApplyEdits(page, collector.Edits()),
              "<head><base href='http://file.invalid/site/sub/'><title> A\n  &amp; B </title></head><img src=x.png>"
              "<base href=other/>");

    // A web page keeps web addresses.
    TkvResourceCollector web(QStringLiteral("https://h.example/a/p"), QStringLiteral("UTF-8"));
    web.ScanHtml("<base href=\"../b/\"><img src=\"file:///etc/passwd\">");
    EXPECT_EQ(TkvResourceCollector::ApplyEdits("<base href=\"../b/\"><img src=\"file:///etc/passwd\">", web.Edits()),
              "<base href=\"https://h.example/b/\"><img src=\"file:///etc/passwd\">");
}

TEST(KvResourceCollectorTest, AbsoluteFileReferencesInLocalPagesAreMapped)
{
    const std::string page =
        "<img src=\"FILE:///pics/a b.png\"><img src=\"rel.png\">"
        "<style>.x{background:url(file:///pics/c.png)}</style><div style=\"x:url(file:///d.png)\">";
    TkvResourceCollector collector(QStringLiteral("file:///site/p.htm"), QStringLiteral("UTF-8"));
    collector.ScanHtml(page);
    EXPECT_EQ(TkvResourceCollector::ApplyEdits(page, collector.Edits()),
              "<img src=\"http://file.invalid/pics/a%20b.png\"><img src=\"rel.png\">"
              "<style>.x{background:url(http://file.invalid/pics/c.png)}</style><div style=\"x:url(file:///d.png)\">");
    std::vector<QString> urls;
    for (const TkvFoundResource &r : collector.Resources())
        urls.push_back(r.url);
    EXPECT_EQ(urls, (std::vector<QString>{"file:///pics/a%20b.png", "file:///site/rel.png", "file:///pics/c.png",
                                          "file:///d.png"}));
}

TEST(KvResourceCollectorTest, StyleSheetImportsAndUrlsResolveAgainstTheSheet)
{
    TkvResourceCollector collector(QStringLiteral("http://h.example/css/s.css"), QStringLiteral("UTF-8"));
    collector.ScanCss("@import 'x.css' screen; @font-face { src: url(../f/a.woff2) } a { b: url( \"i.png\" ) }"
                      "/* url(no.png) */ @namespace url(http://www.w3.org/1999/xhtml);",
                      QStringLiteral("http://h.example/css/s.css"));
    ASSERT_EQ(collector.Resources().size(), 3u);
    EXPECT_EQ(collector.Resources()[0].url, QStringLiteral("http://h.example/css/x.css"));
    EXPECT_EQ(collector.Resources()[0].kind, Kind::StyleSheet);
    EXPECT_EQ(collector.Resources()[1].url, QStringLiteral("http://h.example/f/a.woff2"));
    EXPECT_EQ(collector.Resources()[2].url, QStringLiteral("http://h.example/css/i.png"));
}

TEST(KvResourceCollectorTest, AUrlIsListedOnceAndOnceMoreForEachFurtherFragment)
{
    const std::string page = "<img src=\"x.png?v=2#frag\"><img src=\"x.png?v=2\"><svg><use href=\"i.svg#home\"/>"
                             "<use href=\"i.svg#home\"/><use xlink:href=\"i.svg#search\"/></svg>"
                             "<video src=\"clip.webm#t=1\"></video><style>a{b:url(i.svg#home)}</style>"
                             "<img src=\"file:///pics/s.svg#a\">";
    TkvResourceCollector collector(QStringLiteral("file:///site/p.htm"), QStringLiteral("UTF-8"));
    collector.ScanHtml(page);
    std::vector<std::pair<QString, QString>> found;
    for (const TkvFoundResource &r : collector.Resources())
        found.emplace_back(r.url, r.fragmentUrl);
    const std::vector<std::pair<QString, QString>> expected{
        {"file:///site/x.png?v=2", "file:///site/x.png?v=2#frag"},
        {"file:///site/i.svg", "file:///site/i.svg#home"},
        {"file:///site/i.svg", "file:///site/i.svg#search"},
        {"file:///site/clip.webm", "file:///site/clip.webm#t=1"},
        {"file:///pics/s.svg", "file:///pics/s.svg#a"},
    };
    EXPECT_EQ(found, expected);
    // The rewritten file: reference keeps its fragment, which a sprite needs to pick its picture.
    const std::string stored = TkvResourceCollector::ApplyEdits(page, collector.Edits());
    EXPECT_NE(stored.find("<img src=\"http://file.invalid/pics/s.svg#a\">"), std::string::npos) << stored;
}
