// A web site as the Source of a run: searched on the job's thread, each page converted once into an
// archive under the target, against sites served on 127.0.0.1 by each test.
#ifdef WEB2ARC_HAVE_HTTPLIB

#include "mimeReader.h" // GMime before Qt headers

#include "batchTestProject.h"
#include "kvBatch.h"
#include "kvMatch.h"
#include "kvRun.h"
#include "kvWEB2ARC.h"
#include "qStringPrinter.h"
#include "siteTestServer.h"

#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>

namespace {

class TSilentObserver : public TkvRunObserver
{
public:
    void EntryAdded(TkvRun &, TkvNode &) override { ++added; }
    void EntryDone(TkvRun &, TkvNode &) override {}
    void RunFinished(TkvRun &) override {}
    std::atomic<int> added{0};
};

/// Every file below `folder`, as paths relative to it.
std::set<QString> filesBelow(const QString &folder)
{
    std::set<QString> out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        out.insert(QDir(folder).relativeFilePath(it.next()));
    return out;
}

class KvRunSiteTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        NameMatcher = &matcher;
        target = dir.filePath(QStringLiteral("out")) + u'/';
        project->ConverterClass = &TkvWEB2ARC::Class();
        project->SetOption(QStringLiteral("ThreadsCount"), QStringLiteral("2"));
    }

    void TearDown() override { NameMatcher = nullptr; }

    /// Searches and converts `source` to the end, as the console does.
    void convert(const QString &source, bool subdirs)
    {
        run = std::make_unique<TkvRun>(project.Options(), observer);
        run->Search(source, target, subdirs);
        run->Convert(project.Options(), target);
        run->Wait();
    }

    /// Every archive GMime reads, with every part decoded; the first part is the page at `url`.
    void expectReadable(const QString &archive, const QString &url)
    {
        const TMimeReadMessage message = ReadMimeFile(target + archive);
        ASSERT_TRUE(message.ok) << archive.toStdString() << ": " << message.error;
        ASSERT_FALSE(message.parts.empty()) << archive.toStdString();
        EXPECT_EQ(message.parts.front().contentType, "text/html") << archive.toStdString();
        EXPECT_EQ(message.parts.front().location, url.toStdString()) << archive.toStdString();
    }

    BatchTestProject project;
    TkvMatch matcher;
    QTemporaryDir dir;
    QString target;
    TSilentObserver observer;
    std::unique_ptr<TkvRun> run;
};

TEST_F(KvRunSiteTest, EveryPageInScopeBecomesOneArchiveAndNothingElseIsWritten)
{
    TTestSite site;
    buildDocs(site);
    site.Page("/docs/sub/d.html", links({"d.html", "../sub/", "../a.html"})); // round and back up
    convert(site.Url("/docs/*.htm?"), true);

    // The folder page and its index.html are one page; sub/ and sub/index.htm are two, whose names clash.
    const std::map<QString, QString> expected{
        {QStringLiteral("index.mht"), site.Url("/docs/")},
        {QStringLiteral("a.mht"), site.Url("/docs/a.html")},
        {QStringLiteral("b.mht"), site.Url("/docs/b.htm")},
        {QStringLiteral("fr.mht"), site.Url("/docs/fr.html")},
        {QStringLiteral("area.mht"), site.Url("/docs/area.html")},
        {QStringLiteral("next.mht"), site.Url("/docs/next.html")},
        {QStringLiteral("if.mht"), site.Url("/docs/if.html")},
        {QStringLiteral("idx/start.mht"), site.Url("/docs/idx/start.php")},
        {QStringLiteral("sub/index.mht"), site.Url("/docs/sub/")},
        {QStringLiteral("sub/index-2.mht"), site.Url("/docs/sub/index.htm")},
        {QStringLiteral("sub/c.mht"), site.Url("/docs/sub/c.html")},
        {QStringLiteral("sub/d.mht"), site.Url("/docs/sub/d.html")},
        {QStringLiteral("sub/deeper/index.mht"), site.Url("/docs/sub/deeper/")},
        {QStringLiteral("sub/deeper/e.mht"), site.Url("/docs/sub/deeper/e.html")},
    };
    std::set<QString> names;
    for (const auto &[name, url] : expected)
        names.insert(name);
    EXPECT_EQ(filesBelow(target), names);
    EXPECT_EQ(filesBelow(dir.path()), [&] { // nothing beside the target
        std::set<QString> out;
        for (const QString &name : names)
            out.insert(QStringLiteral("out/") + name);
        return out;
    }());
    for (const auto &[name, url] : expected)
        expectReadable(name, url);

    EXPECT_EQ(run->Job().Successes.load(), int(expected.size()));
    EXPECT_EQ(run->Job().Failures.load(), 0);
    EXPECT_EQ(observer.added.load(), int(expected.size()));
}

TEST_F(KvRunSiteTest, EachPageIsFetchedOnceTheSearchHandsItsBytesToTheConversion)
{
    TTestSite site;
    site.Page("/site/", links({"one.html", "two/", "two/three.html"}) + "<link rel=stylesheet href=/style.css>");
    site.Page("/site/one.html", links({"two/three.html", "./"}) + "<link rel=stylesheet href=/style.css>");
    site.Page("/site/two/", links({"three.html", "../one.html"}));
    site.Page("/site/two/three.html", links({"../"}) + "<img src=../pic.png>");
    site.Page("/style.css", "body{color:red}", "text/css");
    site.Page("/site/pic.png", "\x89PNG\r\n\x1A\n", "image/png");
    convert(site.Url("/site/*"), true);

    std::map<std::string, int> counts;
    for (const std::string &request : site.Requests())
        ++counts[request];
    for (const char *page : {"/site/", "/site/one.html", "/site/two/", "/site/two/three.html"})
        EXPECT_EQ(counts[page], 1) << page;
    EXPECT_EQ(counts["/site/pic.png"], 1); // the image is a resource, never a page
    EXPECT_GE(counts["/style.css"], 1);
    EXPECT_EQ(filesBelow(target),
              (std::set<QString>{QStringLiteral("index.mht"), QStringLiteral("one.mht"),
                                 QStringLiteral("two/index.mht"), QStringLiteral("two/three.mht")}));
    // The page that was read once still carries its resources.
    const TMimeReadMessage three = ReadMimeFile(target + QStringLiteral("two/three.mht"));
    ASSERT_TRUE(three.ok) << three.error;
    const TMimeReadPart *picture = three.Find(site.Url("/site/pic.png").toStdString());
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->data, QByteArray("\x89PNG\r\n\x1A\n"));
}

TEST_F(KvRunSiteTest, MaxPagesStopsAnEndlessSiteAndSaysSo)
{
    TTestSite site;
    site.generate = [](const std::string &path) -> std::optional<TServed> {
        // Every page links to two new ones: a calendar that never ends.
        const int n = std::atoi(path.c_str() + path.rfind('/') + 1);
        return TServed{200, "text/html", links({std::to_string(n + 1) + ".html", std::to_string(n + 2) + ".html"}), {}};
    };
    project->SetOption(QStringLiteral("MaxPages"), QStringLiteral("5"));
    convert(site.Url("/trap/*"), false);

    EXPECT_EQ(filesBelow(target).size(), 5u);
    EXPECT_EQ(run->Job().Successes.load(), 5);
    const QStringList notes = run->Notes();
    EXPECT_TRUE(std::any_of(notes.begin(), notes.end(), [](const QString &n) {
        return n.contains(QLatin1String("after 5 pages (MaxPages)"));
    })) << notes.join(u'\n').toStdString();
}

TEST_F(KvRunSiteTest, RegExtChoosesPagesByTheirAddressWhileLinksAreStillFollowed)
{
    TTestSite site;
    site.Page("/docs/", links({"a.html", "sub/"}));
    site.Page("/docs/a.html", links({}));
    site.Page("/docs/sub/", links({"b.html"}));
    site.Page("/docs/sub/b.html", links({}));
    project->SetOption(QStringLiteral("RegExt"), QStringLiteral("/sub/"));
    convert(site.Url("/docs/*.html"), true);

    EXPECT_EQ(filesBelow(target), (std::set<QString>{QStringLiteral("sub/index.mht"), QStringLiteral("sub/b.mht")}));
}

TEST_F(KvRunSiteTest, StopEndsTheSearchOfASiteWithoutEnd)
{
    TTestSite site;
    site.generate = [](const std::string &path) -> std::optional<TServed> {
        const int n = std::atoi(path.c_str() + path.rfind('/') + 1);
        return TServed{200, "text/html", links({std::to_string(n + 1) + ".html"}), {}};
    };
    run = std::make_unique<TkvRun>(project.Options(), observer);
    run->Search(site.Url("/trap/*"), target, false);
    ASSERT_TRUE(BatchWaitUntil([&] { return run->Job().NodeCount() >= 3; }));
    run->Stop();
    ASSERT_TRUE(BatchWaitUntil([&] { return run->Job().IsSearchDone(); }));
    const int found = run->Job().NodeCount();
    EXPECT_LT(found, 10000);
    EXPECT_EQ(run->Job().NodeCount(), found); // nothing more after the end
}

TEST_F(KvRunSiteTest, ASiteThatYieldsNoPageSaysNothingWasFoundThereAndWhy)
{
    TTestSite site; // nothing served: the start page is missing
    convert(site.Url("/docs/*.html"), false);
    EXPECT_EQ(run->Job().NodeCount(), 0);
    EXPECT_EQ(run->SearchReport(), QStringLiteral("no pages found in %1 matching *.html.").arg(site.Url("/docs/")));
    const QStringList notes = run->Notes();
    EXPECT_TRUE(std::any_of(notes.begin(), notes.end(), [](const QString &n) { return n.contains(u"HTTP 404"); }))
        << notes.join(u'\n').toStdString();
}

TEST(KvBatchSiteTest, OnlyAnAddressWithAMaskInItsLastSegmentIsASite)
{
    EXPECT_TRUE(TkvBatch::IsSite(QStringLiteral("https://host/docs/*.htm?")));
    EXPECT_TRUE(TkvBatch::IsSite(QStringLiteral("http://host/*")));
    EXPECT_FALSE(TkvBatch::IsSite(QStringLiteral("https://host/docs/page.html")));
    EXPECT_FALSE(TkvBatch::IsSite(QStringLiteral("https://host/find?q=*")));
    EXPECT_FALSE(TkvBatch::IsSite(QStringLiteral("/srv/docs/*.htm?")));
}

} // namespace

#endif
