#include "mhtReaderCheck.h"
#include "mimeReader.h"

#include "kvCssReferenceCache.h"
#include "kvMhtMessage.h"
#include "kvMimeWriter.h"
#include "kvResourceCache.h"
#include "kvUrl.h"
#include "mhtErrorOf.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sys/stat.h>

namespace {

const QString kSites = QStringLiteral(WEB2ARC_FIXTURES "/sites");

struct TConverted
{
    QByteArray archive;
    TMimeReadMessage read;
    std::set<std::string> locations;
};

/// The archive of `url`, through `cache` and `cssReferences` when given.
TConverted convertWith(TkvResourceCache *cache, TkvCssReferenceCache *cssReferences, const QString &url, int flags = 0,
                       const QString &charset = {})
{
    TkvMhtMessage message(cache, cssReferences);
    message.BodyPart().Charset = charset;
    message.CreateMHTMLBody(url, flags, {}, {});
    TConverted out;
    out.archive = message.GetStream().Bytes();
    out.read = ReadMimeMessage(out.archive);
    EXPECT_TRUE(out.read.ok) << out.read.error;
    const std::vector<std::string> problems = CheckMhtForReaders(out.archive);
    EXPECT_TRUE(problems.empty()) << url.toStdString() << ": " << problems.front();
    for (const TMimeReadPart &part : out.read.parts)
        out.locations.insert(part.location);
    return out;
}

std::string location(const QString &path)
{
    return TkvUrl::ToArchiveLocation(TkvUrl::FromLocalPath(path)).toStdString();
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

/// Each test converts through caches of its own, as the conversions of one run share theirs.
class KvMhtMessageTest : public testing::Test
{
protected:
    TConverted convert(const QString &url, int flags = 0, const QString &charset = {})
    {
        return convertWith(&cache, &cssReferences, url, flags, charset);
    }
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
    TkvResourceCache cache;
    TkvCssReferenceCache cssReferences;
};

} // namespace

TEST_F(KvMhtMessageTest, EmbedsEveryResourceOfTheFixtureSiteByteForByte)
{
    const QString page = kSites + QStringLiteral("/basic/index.html");
    const TConverted c = convert(page);
    ASSERT_FALSE(c.read.parts.empty());

    const TMimeReadPart &first = c.read.parts.front();
    EXPECT_EQ(first.contentType, "text/html");
    EXPECT_EQ(first.charset, "UTF-8");
    EXPECT_EQ(first.location, location(page));
    EXPECT_EQ(first.data, readAll(page));
    EXPECT_EQ(c.read.Header("Snapshot-Content-Location"), TkvUrl::FromLocalPath(page).toStdString());
    EXPECT_EQ(c.read.subject, "Fixture & every reference");
    EXPECT_EQ(c.read.Header("Date"), TkvMimeWriter::FormatDate(QFileInfo(page).lastModified()).toStdString());

    // Every other file of the site is used by the page (through HTML, CSS, @import or the frame),
    // and is stored once with exactly its bytes.
    size_t files = 0;
    QDirIterator it(kSites + QStringLiteral("/basic"), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        ++files;
        const TMimeReadPart *part = c.read.Find(location(file));
        ASSERT_NE(part, nullptr) << file.toStdString();
        EXPECT_EQ(part->data, readAll(file)) << file.toStdString();
        const bool text = file.endsWith(QLatin1String(".css")) || file.endsWith(QLatin1String(".js")) ||
                          file.endsWith(QLatin1String(".html")) || file.endsWith(QLatin1String(".svg")) ||
                          file.endsWith(QLatin1String(".vtt"));
        EXPECT_EQ(part->encoding, text ? "quoted-printable" : "base64") << file.toStdString();
        if (text) {
            EXPECT_EQ(part->charset, "UTF-8") << file.toStdString();
        }
    }
    // One part more: the sprite the page uses as "img/sprite.svg#dot" is also stored under that address.
    EXPECT_EQ(c.read.parts.size(), files + 1);
    const TMimeReadPart *sprite = c.read.Find(location(kSites + "/basic/img/sprite.svg") + "#dot");
    ASSERT_NE(sprite, nullptr);
    EXPECT_EQ(sprite->data, readAll(kSites + "/basic/img/sprite.svg"));
    EXPECT_EQ(c.read.Find(location(kSites + "/basic/css/site.css"))->contentType, "text/css");
    EXPECT_EQ(c.read.Find(location(kSites + "/basic/img/red.png"))->contentType, "image/png");
    EXPECT_EQ(c.read.Find(location(kSites + "/basic/frame.html"))->contentType, "text/html");
    // Reserved characters of file names appear as a browser writes them.
    EXPECT_TRUE(c.locations.count(location(kSites) + "/basic/img/space%20name.png"));
    EXPECT_TRUE(c.locations.count(location(kSites) + "/basic/img/paren(1).png"));
}

TEST_F(KvMhtMessageTest, FlagsLeaveOutTheirKindOfResource)
{
    const QString base = kSites + QStringLiteral("/basic/");
    auto has = [&](const TConverted &c, const char *file) { return c.locations.count(location(base + file)) > 0; };

    const TConverted images = convert(base + "index.html", mhtSuppressImages);
    EXPECT_FALSE(has(images, "img/red.png"));
    EXPECT_FALSE(has(images, "img/bg.png"));
    EXPECT_FALSE(has(images, "img/icon.png"));
    EXPECT_FALSE(has(images, "img/poster.png"));
    EXPECT_TRUE(has(images, "img/inline.png")); // used by a style sheet, not an image element
    EXPECT_TRUE(has(images, "css/site.css"));

    const TConverted sheets = convert(base + "index.html", mhtSuppressStyleSheets);
    EXPECT_FALSE(has(sheets, "css/site.css"));
    EXPECT_FALSE(has(sheets, "css/fonts.css"));
    EXPECT_FALSE(has(sheets, "fonts/fix.woff2"));
    EXPECT_FALSE(has(sheets, "img/inline.png"));
    EXPECT_TRUE(has(sheets, "img/red.png"));

    const TConverted frames = convert(base + "index.html", mhtSuppressFrames);
    EXPECT_FALSE(has(frames, "frame.html"));
    EXPECT_TRUE(has(frames, "img/red.png"));

    const TConverted sounds = convert(base + "index.html", mhtSuppressBGSounds);
    EXPECT_FALSE(has(sounds, "media/sound.ogg"));
    EXPECT_TRUE(has(sounds, "media/clip.webm"));

    const TConverted objects = convert(base + "index.html", mhtSuppressObjects);
    EXPECT_FALSE(has(objects, "media/clip.webm"));
    EXPECT_FALSE(has(objects, "media/movie.swf"));
    EXPECT_FALSE(has(objects, "media/doc.pdf"));
    EXPECT_TRUE(has(objects, "media/sound.ogg"));

    const TConverted all = convert(base + "index.html", mhtSuppressAll);
    EXPECT_EQ(all.locations, (std::set<std::string>{location(base + "index.html"), location(base + "js/app.js")}));
}

TEST_F(KvMhtMessageTest, FramesAreOwnPartsAndCyclesEnd)
{
    const QString base = kSites + QStringLiteral("/frames/");
    EXPECT_EQ(convert(base + "self.html").locations, std::set<std::string>{location(base + "self.html")});
    EXPECT_EQ(convert(base + "a.html").locations,
              (std::set<std::string>{location(base + "a.html"), location(base + "b.html")}));

    // The page and five levels of frames below it; the sixth level is left out.
    const TConverted deep = convert(base + "deep0.html");
    std::set<std::string> expected;
    for (int level = 0; level <= 5; ++level)
        expected.insert(location(base + QStringLiteral("deep%1.html").arg(level)));
    EXPECT_EQ(deep.locations, expected);
    for (const TMimeReadPart &part : deep.read.parts)
        EXPECT_EQ(part.contentType, "text/html");

    // A frame showing an image is stored as the image.
    const TConverted set = convert(base + "set.html");
    ASSERT_NE(set.read.Find(location(base + "img.png")), nullptr);
    EXPECT_EQ(set.read.Find(location(base + "img.png"))->contentType, "image/png");
    EXPECT_NE(set.read.Find(location(base + "deep7.html")), nullptr);
}

TEST_F(KvMhtMessageTest, RewritesBaseHrefAndAbsoluteFileReferencesOnly)
{
    const QString base = kSites + QStringLiteral("/base/");
    const TConverted c = convert(base + "page.html");
    QByteArray expectedPage = readAll(base + "page.html");
    expectedPage.replace("href=\"sub/\"", "href=\"" + QByteArray::fromStdString(location(base + "sub/")) + "\"");
    EXPECT_EQ(c.read.parts.front().data, expectedPage);
    EXPECT_NE(c.read.Find(location(base + "sub/pic.png")), nullptr);

    // An absolute file: reference is stored under, and rewritten to, its archive address.
    writeFile(path("pic.png"), readAll(base + "sub/pic.png"));
    const QByteArray reference = TkvUrl::FromLocalPath(path("pic.png")).toUtf8();
    const QByteArray page = "<!DOCTYPE html><title>t</title><img src=\"" + reference + "\"><img src='pic.png'>\n";
    writeFile(path("abs.html"), page);
    const TConverted abs = convert(path("abs.html"));
    QByteArray mapped = page;
    mapped.replace(reference, QByteArray::fromStdString(location(path("pic.png"))));
    EXPECT_EQ(abs.read.parts.front().data, mapped);
    ASSERT_EQ(abs.read.parts.size(), 2u);
    EXPECT_EQ(abs.read.parts[1].data, readAll(path("pic.png")));
}

TEST_F(KvMhtMessageTest, AReferenceWithAFragmentAlsoHasAPartUnderItsWholeAddress)
{
    const QByteArray png = readAll(kSites + "/basic/img/red.png");
    const QByteArray svg = "<svg xmlns='http://www.w3.org/2000/svg'><symbol id='home'/><symbol id='search'/></svg>";
    writeFile(path("x.png"), png);
    writeFile(path("i.svg"), svg);
    writeFile(path("bg.png"), png);
    writeFile(path("s.css"), "a { background: url(bg.png#a) } b { background: url(i.svg#home) }");
    writeFile(path("f.html"), "<!DOCTYPE html><title>f</title><img src='x.png#in-frame'>");
    writeFile(path("p.htm"), "<!DOCTYPE html><title>t</title><link rel=stylesheet href=s.css>"
                             "<img src='x.png?v=2#frag'><img src='x.png?v=2'><svg><use href='i.svg#home'/>"
                             "<use href='i.svg#search'/></svg><iframe src='f.html#s'></iframe><img src='gone.png#x'>");
    const TConverted c = convert(path("p.htm"));
    const std::string base = location(path("x")).substr(0, location(path("x")).size() - 1);
    const std::vector<std::pair<std::string, QByteArray>> expected{
        {"p.htm", {}},         {"s.css", {}},      {"x.png?v=2", png},         {"x.png?v=2#frag", png},
        {"i.svg", svg},        {"i.svg#home", svg}, {"i.svg#search", svg},     {"f.html", {}},
        {"f.html#s", {}},      {"bg.png", png},    {"bg.png#a", png},          {"x.png", png},
        {"x.png#in-frame", png},
    };
    ASSERT_EQ(c.read.parts.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(c.read.parts[i].location, base + expected[i].first) << i;
        if (!expected[i].second.isEmpty()) {
            EXPECT_EQ(c.read.parts[i].data, expected[i].second) << expected[i].first;
        }
    }
    EXPECT_EQ(c.read.parts[8].data, c.read.parts[7].data); // the frame under both addresses
    EXPECT_EQ(c.read.parts[8].contentType, "text/html");
}

TEST_F(KvMhtMessageTest, CharsetIsDetectedOrReencodedAsAsked)
{
    const QString page = kSites + QStringLiteral("/charset/latin.html");
    const TConverted own = convert(page);
    EXPECT_EQ(own.read.parts.front().charset, "windows-1252");
    EXPECT_EQ(own.read.parts.front().data, readAll(page));
    EXPECT_EQ(own.read.subject, "Caf\xC3\xA9 \xE2\x82\xAC prices");

    const TConverted utf8 = convert(page, 0, QStringLiteral("utf-8"));
    EXPECT_EQ(utf8.read.parts.front().charset, "UTF-8");
    EXPECT_EQ(utf8.read.parts.front().data,
              QString::fromLatin1(readAll(page)).replace(QChar(0x80), QChar(0x20AC)).toUtf8());

    // Characters the target lacks become character references.
    const TConverted ascii = convert(page, 0, QStringLiteral("iso-8859-2"));
    EXPECT_EQ(ascii.read.parts.front().charset, "ISO-8859-2");
    EXPECT_TRUE(ascii.read.parts.front().data.contains("3 &#8364;.")) << ascii.read.parts.front().data.constData();

    TkvMhtMessage message;
    message.BodyPart().Charset = QStringLiteral("utf-88");
    const std::string error = errorOf([&] { message.CreateMHTMLBody(page, 0, {}, {}); });
    EXPECT_NE(error.find("Unknown character set \"utf-88\""), std::string::npos) << error;
}

TEST_F(KvMhtMessageTest, SameInputGivesTheSameArchiveAndSaveWritesIt)
{
    const QString page = kSites + QStringLiteral("/basic/index.html");
    const QByteArray first = convert(page).archive;
    const QByteArray second = convertWith(nullptr, nullptr, page).archive; // nothing cached
    EXPECT_EQ(first, second);
    const QByteArray third = convert(page).archive; // what the first one left in the cache
    EXPECT_EQ(first, third);

    writeFile(path("p.htm"), "<!DOCTYPE html><title>x</title><img src=a.png>");
    writeFile(path("a.png"), "one");
    TkvMhtMessage message(&cache, &cssReferences);
    message.CreateMHTMLBody(path("p.htm"), 0, {}, {});
    const TkvMhtStream stream = message.GetStream();
    stream.SaveToFile(path("out.mht"), 2);
    EXPECT_EQ(readAll(path("out.mht")), stream.Bytes());

    // A changed resource is read again (not served stale from the cache) and changes the boundary.
    writeFile(path("a.png"), "two!");
    const TConverted changed = convert(path("p.htm"));
    ASSERT_EQ(changed.read.parts.size(), 2u);
    EXPECT_EQ(changed.read.parts[1].data, QByteArray("two!"));
    EXPECT_NE(ReadMimeMessage(stream.Bytes()).boundary, changed.read.boundary);
}

TEST_F(KvMhtMessageTest, CachesOnlyResourcesThatMoreThanOnePageUses)
{
    // Each page has a photo of its own and shares the style sheet: only the sheet earns a place.
    for (const char *name : {"p1", "p2", "p3"}) {
        writeFile(path(QString::fromLatin1(name) + QStringLiteral(".htm")),
                  QByteArray("<!DOCTYPE html><title>x</title><link rel=stylesheet href=s.css><img src=") + name +
                      ".png>");
        writeFile(path(QString::fromLatin1(name) + QStringLiteral(".png")), QByteArray("photo of ") + name);
    }
    writeFile(path("s.css"), "body{color:red}");
    const TConverted first = convert(path("p1.htm"));
    ASSERT_EQ(first.read.parts.size(), 3u);
    EXPECT_EQ(cache.Count(), 0);
    const TConverted second = convert(path("p2.htm"));
    EXPECT_EQ(cache.Count(), 1);
    EXPECT_NE(cache.Find(TkvUrl::FromLocalPath(path("s.css"))), nullptr);
    const TConverted third = convert(path("p3.htm"));
    EXPECT_EQ(cache.Count(), 1);
    ASSERT_EQ(third.read.parts.size(), 3u);
    bool sheet = false, photo = false;
    for (const TMimeReadPart &p : third.read.parts) {
        sheet = sheet || (p.contentType == "text/css" && p.data == QByteArray("body{color:red}"));
        photo = photo || (p.contentType == "image/png" && p.data == QByteArray("photo of p3"));
    }
    EXPECT_TRUE(sheet && photo);
}

TEST_F(KvMhtMessageTest, PagesThatCannotBeReadFailWithAClearError)
{
    std::string error = errorOf([&] { convert(path("missing.htm")); });
    EXPECT_EQ(error.rfind("Cannot open \"" + path("missing.htm").toStdString() + "\"", 0), 0u) << error;

    QDir().mkpath(path("folder.htm"));
    EXPECT_FALSE(errorOf([&] { convert(path("folder.htm")); }).empty());

    ASSERT_EQ(mkfifo(path("fifo.htm").toLocal8Bit().constData(), 0600), 0);
    EXPECT_FALSE(errorOf([&] { convert(path("fifo.htm")); }).empty()); // and does not block

    writeFile(path("image.htm"), readAll(kSites + "/basic/img/red.png"));
    error = errorOf([&] { convert(path("image.htm")); });
    EXPECT_NE(error.find("binary"), std::string::npos) << error;
    writeFile(path("zeros.htm"), QByteArray("<html>") + QByteArray(100, '\0'));
    EXPECT_FALSE(errorOf([&] { convert(path("zeros.htm")); }).empty());

    EXPECT_FALSE(errorOf([&] { convert(QStringLiteral("ftp://h.example/p.htm")); }).empty());

    // Nothing to save after a failure: an existing target stays as it was.
    writeFile(path("out.mht"), "old");
    TkvMhtMessage message;
    EXPECT_FALSE(errorOf([&] { message.CreateMHTMLBody(path("missing.htm"), 0, {}, {}); }).empty());
    EXPECT_FALSE(errorOf([&] { message.GetStream().SaveToFile(path("out.mht"), 2); }).empty());
    EXPECT_EQ(readAll(path("out.mht")), QByteArray("old"));
}

TEST_F(KvMhtMessageTest, AnEmptyPageIsArchivedAsABlankPage)
{
    writeFile(path("empty.htm"), "");
    const TConverted c = convert(path("empty.htm"));
    ASSERT_EQ(c.read.parts.size(), 1u);
    EXPECT_EQ(c.read.parts[0].contentType, "text/html");
    EXPECT_EQ(c.read.parts[0].location, location(path("empty.htm")));
    EXPECT_TRUE(c.read.parts[0].data.isEmpty());
}

TEST_F(KvMhtMessageTest, ResourcesThatCannotBeReadAreLeftOut)
{
    ASSERT_EQ(mkfifo(path("fifo.png").toLocal8Bit().constData(), 0600), 0);
    writeFile(path("zero.png"), "");
    QFile big(path("big.bin"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(TkvFetchPolicy::DefaultMaxBytes + 1)); // sparse: costs no disk
    big.close();
    QDir().mkpath(path("dir.png"));
    writeFile(path("p.htm"), "<!DOCTYPE html><title>t</title><img src=fifo.png><img src=zero.png><img src=missing.png>"
                             "<embed src=big.bin><img src=dir.png><img src=p.htm><img src=file:///dev/zero>");
    const TConverted c = convert(path("p.htm"));
    // The page (its self-reference not repeated) and the empty image, which is a real, empty file.
    EXPECT_EQ(c.locations, (std::set<std::string>{location(path("p.htm")), location(path("zero.png"))}));
    EXPECT_TRUE(c.read.Find(location(path("zero.png")))->data.isEmpty());
}

TEST_F(KvMhtMessageTest, ConvertsALargePageLosslessly)
{
    QByteArray page = "<!DOCTYPE html><title>big</title>\n";
    const QByteArray line = "<p>Line with trailing space \r\nand a bare LF\nand a bare CR\r=equals \xC3\xA9</p>\n";
    while (page.size() < 50 * 1024 * 1024)
        page += line;
    writeFile(path("big.htm"), page);
    const TConverted c = convert(path("big.htm"));
    ASSERT_EQ(c.read.parts.size(), 1u);
    EXPECT_TRUE(c.read.parts.front().data == page);
}

namespace {

/// Serves addresses from memory and counts every fetch, as a web server that the test controls.
class TkvMemoryFetcher : public TkvFetcher
{
public:
    TkvMemoryFetcher(const TkvFetchPolicy &policy, const std::map<QString, QByteArray> &files,
                     std::map<QString, int> &fetches)
        : TkvFetcher(policy), files(files), fetches(fetches)
    {}
    TkvFetchResult Fetch(const QString &url) override
    {
        ++fetches[url];
        const auto it = files.find(url);
        if (it == files.end())
            throw EMhtError(QStringLiteral("HTTP 404 Not Found: %1").arg(url));
        TkvFetchResult result;
        result.body = it->second;
        result.finalUrl = url;
        result.contentType = url.endsWith(QLatin1String(".css"))   ? QStringLiteral("text/css")
                             : url.endsWith(QLatin1String(".png")) ? QStringLiteral("image/png")
                                                                   : QStringLiteral("text/html; charset=utf-8");
        result.fetchedAt = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
        return result;
    }

private:
    const std::map<QString, QByteArray> &files;
    std::map<QString, int> &fetches;
};

} // namespace

TEST_F(KvMhtMessageTest, ReadsThroughTheFetcherItIsHandedAndReusesWhatTheRunsCacheHolds)
{
    const QString site = QStringLiteral("http://site.invalid/");
    std::map<QString, QByteArray> files{
        {site + "s.css", "body{background:url(bg.png)}"}, {site + "logo.png", "logo"}, {site + "bg.png", "bg"}};
    for (const char *name : {"p1.htm", "p2.htm", "p3.htm"})
        files[site + QLatin1String(name)] =
            "<!DOCTYPE html><title>t</title><link rel=stylesheet href=s.css><img src=logo.png>";
    std::map<QString, int> fetches;
    std::vector<QString> asked;
    const auto convertPage = [&](TkvResourceCache *runCache, TkvCssReferenceCache *runSheets, const char *page) {
        TkvMhtMessage message(runCache, runSheets);
        message.FetcherFactory = [&](const QString &pageUrl, const TkvFetchPolicy &policy) {
            asked.push_back(pageUrl);
            return std::make_unique<TkvMemoryFetcher>(policy, files, fetches);
        };
        message.CreateMHTMLBody(site + QLatin1String(page), 0, {}, {});
        return ReadMimeMessage(message.GetStream().Bytes());
    };

    for (const char *page : {"p1.htm", "p2.htm", "p3.htm"}) {
        const TMimeReadMessage read = convertPage(&cache, &cssReferences, page);
        ASSERT_TRUE(read.ok) << read.error;
        ASSERT_EQ(read.parts.size(), 4u) << page;
        EXPECT_EQ(read.Find((site + "bg.png").toStdString())->data, QByteArray("bg"));
        EXPECT_EQ(read.Find((site + "logo.png").toStdString())->data, QByteArray("logo"));
    }
    EXPECT_EQ(asked, (std::vector<QString>{site + "p1.htm", site + "p2.htm", site + "p3.htm"}));
    // Shared resources are read by the first two pages and then come from the run's cache.
    EXPECT_EQ(fetches, (std::map<QString, int>{{site + "p1.htm", 1},
                                               {site + "p2.htm", 1},
                                               {site + "p3.htm", 1},
                                               {site + "s.css", 2},
                                               {site + "logo.png", 2},
                                               {site + "bg.png", 2}}));

    // Without the run's caches every page reads everything it uses.
    fetches.clear();
    ASSERT_TRUE(convertPage(nullptr, nullptr, "p1.htm").ok);
    ASSERT_TRUE(convertPage(nullptr, nullptr, "p1.htm").ok);
    EXPECT_EQ(fetches[site + "s.css"], 2);
    EXPECT_EQ(fetches[site + "bg.png"], 2);

    // A factory that cannot make a fetcher fails the conversion with its own text.
    TkvMhtMessage refused(&cache, &cssReferences);
    refused.FetcherFactory = [](const QString &pageUrl, const TkvFetchPolicy &) -> std::unique_ptr<TkvFetcher> {
        throw EMhtError(QStringLiteral("Cannot render \"%1\".").arg(pageUrl));
    };
    EXPECT_EQ(errorOf([&] { refused.CreateMHTMLBody(site + "p1.htm", 0, {}, {}); }),
              "Cannot render \"http://site.invalid/p1.htm\".");
}
