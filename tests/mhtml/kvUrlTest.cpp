#include "kvUrl.h"

#include "kvFileName.h"

#include <QDir>

#include <random>

#include <gtest/gtest.h>

// Readable failure output for QString values.
static void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

struct TCase
{
    const char *input;
    const char *base;     // nullptr: parse as an absolute URL
    const char *expected; // nullptr: the input does not parse
};

QString resolved(const TCase &c, const QString &charset = {})
{
    const TkvUrl base = c.base ? TkvUrl::Parse(QString::fromUtf8(c.base)) : TkvUrl();
    return TkvUrl::Parse(QString::fromUtf8(c.input), base, charset).ToString();
}

void expectTable(const std::vector<TCase> &cases)
{
    for (const TCase &c : cases)
        EXPECT_EQ(resolved(c), c.expected ? QString::fromUtf8(c.expected) : QString())
            << "input: " << c.input << "  base: " << (c.base ? c.base : "(none)");
}

const char *const page = "http://example.com/dir/page.html?q=1#top";

} // namespace

TEST(KvUrlTest, ResolvesRelativeReferencesAndRemovesDotSegments)
{
    expectTable({
        {"img/a.png", page, "http://example.com/dir/img/a.png"},
        {"../a.png", page, "http://example.com/a.png"},
        {"../../../a.png", page, "http://example.com/a.png"},
        {"./a/./b/../c", page, "http://example.com/dir/a/c"},
        {"/abs/x.css", page, "http://example.com/abs/x.css"},
        {"//cdn.example.org/x.js", page, "http://cdn.example.org/x.js"},
        {"?v=2", page, "http://example.com/dir/page.html?v=2"},
        {"a.png#frag", page, "http://example.com/dir/a.png"},
        {"http://h/a/b/..", nullptr, "http://h/a/"},
        {"http://h/a/%2e%2E/c", nullptr, "http://h/c"},
        {"http://h/a/./", nullptr, "http://h/a/"},
        {"http://h/a/.%2e", nullptr, "http://h/"},
        {"http://h", nullptr, "http://h/"},
        {"http://h/?", nullptr, "http://h/?"},
        {"http:foo.com/x", nullptr, "http://foo.com/x"},
        {"http:x.png", page, "http://example.com/dir/x.png"},
        {"https:x.png", page, "https://x.png/"},
    });
}

TEST(KvUrlTest, CanonicalizesSchemeHostAndPort)
{
    expectTable({
        {"HTTP://EXAMPLE.COM:80/A", nullptr, "http://example.com/A"},
        {"https://h:443/", nullptr, "https://h/"},
        {"https://h:8443/", nullptr, "https://h:8443/"},
        {"http://h:443/", nullptr, "http://h:443/"},
        {"http://h:/", nullptr, "http://h/"},
        {"http://h:0080/", nullptr, "http://h/"},
        {"http://%41B.com/", nullptr, "http://ab.com/"},
        {"http://my_host.example/", nullptr, "http://my_host.example/"},
        {"http://B\xC3\xBC"
         "cher.EXAMPLE/",
         nullptr, "http://xn--bcher-kva.example/"},
        {"http://user:pa ss@h/", nullptr, "http://user:pa%20ss@h/"},
        {"http://exa mple.com/", nullptr, nullptr},
        {"http://a<b/", nullptr, nullptr},
        {"http:///", nullptr, nullptr},
        {"http://h:99999/", nullptr, nullptr},
        {"http://h:12a/", nullptr, nullptr},
    });
}

TEST(KvUrlTest, ParsesIpv4AndIpv6Hosts)
{
    expectTable({
        {"http://0x7f.1/", nullptr, "http://127.0.0.1/"},
        {"http://2130706433/", nullptr, "http://127.0.0.1/"},
        {"http://0177.0.0.1/", nullptr, "http://127.0.0.1/"},
        {"http://192.168.1.1./", nullptr, "http://192.168.1.1/"},
        {"http://256.0.0.1/", nullptr, nullptr},
        {"http://1.2.3.4.5/", nullptr, nullptr},
        {"http://4294967296/", nullptr, nullptr},
        {"http://[::1]:80/", nullptr, "http://[::1]/"},
        {"http://[0:0:0:0:0:FFFF:7f00:1]/", nullptr, "http://[::ffff:7f00:1]/"},
        {"http://[::ffff:127.0.0.1]/", nullptr, "http://[::ffff:7f00:1]/"},
        {"http://[1:0:0:2:0:0:0:3]/", nullptr, "http://[1:0:0:2::3]/"},
        {"http://[1:2:3:4:5:6:7:8]/", nullptr, "http://[1:2:3:4:5:6:7:8]/"},
        {"http://[1::2::3]/", nullptr, nullptr},
        {"http://[::1/", nullptr, nullptr},
    });
}

TEST(KvUrlTest, TreatsBackslashesAsSlashesAndDropsTabsAndNewlines)
{
    expectTable({
        {"img\\sub\\a.png", page, "http://example.com/dir/img/sub/a.png"},
        {"\\\\other.org\\x", page, "http://other.org/x"},
        {"\\abs", page, "http://example.com/abs"},
        {"http:\\\\h\\a\\b", nullptr, "http://h/a/b"},
        {" \t http://h/a\tb\nc\r.png \n", nullptr, "http://h/abc.png"},
        {"\x01 ../x.png\x1f", page, "http://example.com/x.png"},
        {"a b\t.png", page, "http://example.com/dir/a%20b.png"},
    });
}

TEST(KvUrlTest, PercentEncodesThePathExactlyForTheBrowserSet)
{
    expectTable({
        {"a\"<>`{}.png", page, "http://example.com/dir/a%22%3C%3E%60%7B%7D.png"},
        {"(x)[y]|'z'!$&*+,;=:@~^.png", page, "http://example.com/dir/(x)[y]|'z'!$&*+,;=:@~^.png"},
        {"%41%zz%.png", page, "http://example.com/dir/%41%zz%.png"},
        {"\xC3\xBC\xE6\x97\xA5.png", page, "http://example.com/dir/%C3%BC%E6%97%A5.png"},
        {"http://h/a\x7F"
         "b",
         nullptr, "http://h/a%7Fb"},
    });
}

TEST(KvUrlTest, EncodesTheQueryInThePageCharset)
{
    expectTable({
        {"http://h/p?a b&c=\"d\"'<>`{}#f", nullptr, "http://h/p?a%20b&c=%22d%22%27%3C%3E`{}"},
        {"http://h/p?\xC3\xBC", nullptr, "http://h/p?%C3%BC"},
    });
    const TCase umlaut{"http://h/p?\xC3\xBC", nullptr, nullptr};
    EXPECT_EQ(resolved(umlaut, QStringLiteral("windows-1252")), QStringLiteral("http://h/p?%FC"));
    EXPECT_EQ(resolved(umlaut, QStringLiteral("latin1")), QStringLiteral("http://h/p?%FC"));
    EXPECT_EQ(resolved(umlaut, QStringLiteral("UTF-16LE")), QStringLiteral("http://h/p?%C3%BC"));
    const TCase kanji{"?q=\xE6\x97\xA5", "http://h/dir/p.htm", nullptr};
    EXPECT_EQ(resolved(kanji, QStringLiteral("Shift_JIS")), QStringLiteral("http://h/dir/p.htm?q=%93%FA"));
    // A character the charset lacks is sent as an escaped numeric character reference.
    EXPECT_EQ(resolved(kanji, QStringLiteral("windows-1252")), QStringLiteral("http://h/dir/p.htm?q=%26%2326085%3B"));
    // The path is always UTF-8, whatever the page's charset.
    const TCase path{"\xC3\xBC.png", "http://h/", nullptr};
    EXPECT_EQ(resolved(path, QStringLiteral("windows-1252")), QStringLiteral("http://h/%C3%BC.png"));
}

TEST(KvUrlTest, KeepsTheFragmentOnlyWhenAsked)
{
    const TkvUrl url = TkvUrl::Parse(QStringLiteral("http://h/p?x#a b"));
    EXPECT_EQ(url.ToString(), QStringLiteral("http://h/p?x"));
    EXPECT_EQ(url.ToString(true), QStringLiteral("http://h/p?x#a%20b"));
    EXPECT_EQ(url.Fragment(), QStringLiteral("a%20b"));
    EXPECT_TRUE(TkvUrl::Parse(QStringLiteral("http://h/p")).Fragment().isNull());
    EXPECT_FALSE(TkvUrl::Parse(QStringLiteral("http://h/p#")).Fragment().isNull());
}

TEST(KvUrlTest, ParsesAndResolvesFileUrls)
{
    const char *index = "file:///home/u/site/index.htm";
    expectTable({
        {"file:///home/u/a%20b/i.png", nullptr, "file:///home/u/a%20b/i.png"},
        {"FILE://localhost/etc/x", nullptr, "file:///etc/x"},
        {"file:/etc/x", nullptr, "file:///etc/x"},
        {"file:etc/x", nullptr, "file:///etc/x"},
        {"file:\\\\\\etc\\x", nullptr, "file:///etc/x"},
        {"file://srv/share/x", nullptr, "file://srv/share/x"},
        {"img/a b.png", index, "file:///home/u/site/img/a%20b.png"},
        {"img\\a.png", index, "file:///home/u/site/img/a.png"},
        {"../../../../x", index, "file:///x"},
        {"/abs", index, "file:///abs"},
        {"?v=1", index, "file:///home/u/site/index.htm?v=1"},
        {"//host/share", index, "file://host/share"},
        {"http://h/x", index, "http://h/x"},
    });
}

TEST(KvUrlTest, LeavesOtherSchemesAndFragmentsAlone)
{
    const TkvUrl base = TkvUrl::Parse(QString::fromUtf8(page));
    for (const char *reference : {"data:image/png;base64,iVBOR", "javascript:void(0)", "mailto:a@b.c", "about:blank",
                                  "cid:part1@x", "tel:123", "#top", "", "  \t", " JavaScript:x"}) {
        const QString text = QString::fromUtf8(reference);
        EXPECT_TRUE(TkvUrl::IsLeftAlone(text)) << reference;
        const TkvUrl url = TkvUrl::Parse(text, base);
        EXPECT_FALSE(url.IsValid()) << reference;
        EXPECT_TRUE(url.IsLeftAlone()) << reference;
        EXPECT_TRUE(TkvUrl::Resolve(text, QString::fromUtf8(page)).isEmpty()) << reference;
    }
    for (const char *reference : {"a.png", "http://h/", "//h/x", "file:///x", "?q", "c:/x.png"})
        EXPECT_EQ(TkvUrl::IsLeftAlone(QString::fromUtf8(reference)), QByteArray(reference) == "c:/x.png") << reference;
    // Without a base a relative reference has nothing to resolve against.
    EXPECT_FALSE(TkvUrl::Parse(QStringLiteral("a.png")).IsValid());
    EXPECT_FALSE(TkvUrl::Parse(QStringLiteral("a.png")).IsLeftAlone());
}

TEST(KvUrlTest, ConvertsLocalPathsToFileUrlsAndBack)
{
    EXPECT_EQ(TkvUrl::FromLocalPath(QStringLiteral("/home/u/a b/p.htm")), QStringLiteral("file:///home/u/a%20b/p.htm"));
    EXPECT_EQ(TkvUrl::FromLocalPath(QStringLiteral("/x/a\\b#c?d%e.htm")),
              QStringLiteral("file:///x/a%5Cb%23c%3Fd%25e.htm"));
    EXPECT_EQ(TkvUrl::FromLocalPath(QString::fromUtf8("/x/\xC3\xBC.htm")), QStringLiteral("file:///x/%C3%BC.htm"));
    EXPECT_EQ(TkvUrl::FromLocalPath(QStringLiteral("http://srv/a b")), QStringLiteral("http://srv/a b"));
    EXPECT_EQ(TkvUrl::FromLocalPath(QStringLiteral("rel/p.htm")),
              TkvUrl::FromLocalPath(QDir::current().absoluteFilePath(QStringLiteral("rel/p.htm"))));
    EXPECT_EQ(TkvUrl::ToLocalPath(QStringLiteral("file:///home/u/a%20b.htm")), QStringLiteral("/home/u/a b.htm"));
    EXPECT_EQ(TkvUrl::ToLocalPath(QStringLiteral("file:///x/%C3%BC.htm")), QString::fromUtf8("/x/\xC3\xBC.htm"));
    EXPECT_TRUE(TkvUrl::ToLocalPath(QStringLiteral("http://h/x")).isEmpty());
    EXPECT_TRUE(TkvUrl::ToLocalPath(QStringLiteral("file://srv/share/x")).isEmpty());

    // Every odd but legal Linux file name survives the round trip.
    for (const char *path : {"/a b/c", "/a\\b", "/100%/x%41", "/q?x#y", "/\"<>`{}|^[]", "/tab\tname", "/\xE6\x97\xA5",
                             "/semi;colon=,&+$", "/trailing/"}) {
        const QString original = QString::fromUtf8(path);
        const QString url = TkvUrl::FromLocalPath(original);
        EXPECT_TRUE(TkvUrl::Parse(url).IsFile()) << path;
        EXPECT_EQ(TkvUrl::Parse(url).ToString(), url) << "not canonical: " << path;
        EXPECT_EQ(TkvUrl::ToLocalPath(url), original) << path;
    }
}

TEST(KvUrlTest, FileNamesThatAreNotUtf8KeepTheirBytesInTheUrl)
{
    // A Latin-1 "é" (0xE9) and a stray continuation byte: the URL carries those very bytes, not the
    // UTF-8 of a replacement character, and the path made from it names the same file again.
    for (const QByteArray &bytes : {QByteArray("/d\xE9p/caf\xE9.htm"), QByteArray("/x/\x80y\xFF.htm")}) {
        const QString path = TkvFileName::Decode(bytes);
        const QString url = TkvUrl::FromLocalPath(path);
        EXPECT_EQ(QByteArray::fromPercentEncoding(url.mid(7).toLatin1()), bytes) << url.toStdString();
        EXPECT_EQ(TkvUrl::Parse(url).ToString(), url);
        EXPECT_EQ(TkvFileName::Encode(TkvUrl::ToLocalPath(url)), bytes) << url.toStdString();
    }
    EXPECT_EQ(TkvUrl::FromLocalPath(TkvFileName::Decode("/caf\xE9 1.htm")), QStringLiteral("file:///caf%E9%201.htm"));
    // A resource beside such a page resolves inside the same folder bytes.
    const QString page = TkvUrl::FromLocalPath(TkvFileName::Decode("/d\xE9p/p.htm"));
    EXPECT_EQ(TkvFileName::Encode(TkvUrl::ToLocalPath(TkvUrl::Resolve(QStringLiteral("i.png"), page))),
              QByteArray("/d\xE9p/i.png"));
}

TEST(KvUrlTest, MapsFileUrlsToTheArchiveOriginAndBack)
{
    EXPECT_EQ(TkvUrl::ToArchiveLocation(QStringLiteral("file:///home/u/a%20b/i.png")),
              QStringLiteral("http://file.invalid/home/u/a%20b/i.png"));
    EXPECT_EQ(TkvUrl::FromArchiveLocation(QStringLiteral("http://file.invalid/home/u/a%20b/i.png")),
              QStringLiteral("file:///home/u/a%20b/i.png"));
    EXPECT_EQ(TkvUrl::ToArchiveLocation(QStringLiteral("file:///p.htm?x=1#f")),
              QStringLiteral("http://file.invalid/p.htm?x=1#f"));
    EXPECT_EQ(TkvUrl::ToArchiveLocation(QStringLiteral("https://srv/a.png")), QStringLiteral("https://srv/a.png"));
    EXPECT_EQ(TkvUrl::FromArchiveLocation(QStringLiteral("https://srv/a.png")), QStringLiteral("https://srv/a.png"));
    EXPECT_EQ(TkvUrl::ToArchiveLocation(QStringLiteral("file://srv/share/x")), QStringLiteral("file://srv/share/x"));
    EXPECT_EQ(TkvUrl::FromArchiveLocation(QStringLiteral("http://file.invalid:81/x")),
              QStringLiteral("http://file.invalid:81/x"));
    // A reference relative to the mapped page resolves inside the reserved origin.
    EXPECT_EQ(TkvUrl::Resolve(QStringLiteral("../img/a.png"), QStringLiteral("http://file.invalid/home/u/site/p.htm")),
              QStringLiteral("http://file.invalid/home/u/img/a.png"));
}

TEST(KvUrlTest, CanonicalFormIsAFixedPointOfTheParser)
{
    // Random references built from the characters the parser treats specially: whatever they give,
    // parsing the serialization again must give the same string (as it does in browsers).
    static const char16_t alphabet[] = u"aZ09./\\?#%:@[]-_~ \t\n\"<>`{}|^'()!$&*+,;=\u00fc\u65e5\U0001F600";
    const std::u16string symbols(alphabet);
    std::mt19937 random(20241651);
    const TkvUrl bases[] = {TkvUrl::Parse(QString::fromUtf8(page)),
                            TkvUrl::Parse(QStringLiteral("file:///home/u/site/index.htm"))};
    const QString prefixes[] = {QString(),
                                QStringLiteral("http://"),
                                QStringLiteral("https://h:8080/"),
                                QStringLiteral("file:"),
                                QStringLiteral("//"),
                                QStringLiteral("http://[::1]/")};
    int valid = 0;
    for (int i = 0; i < 20000; ++i) {
        QString input = prefixes[random() % std::size(prefixes)];
        const int length = int(random() % 24);
        for (int k = 0; k < length; ++k)
            input += QChar(symbols[random() % symbols.size()]);
        const QString first = TkvUrl::Parse(input, bases[i % 2]).ToString(true);
        if (first.isEmpty())
            continue;
        ++valid;
        EXPECT_EQ(TkvUrl::Parse(first).ToString(true), first) << "input: " << input.toStdString();
        for (QChar c : first)
            ASSERT_TRUE(c.unicode() > 0x20 && c.unicode() < 0x7F) << "not ASCII: " << first.toStdString();
    }
    EXPECT_GT(valid, 10000);
}
