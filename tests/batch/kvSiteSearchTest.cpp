// The site search against sites served on 127.0.0.1 by each test.
#ifdef WEB2ARC_HAVE_HTTPLIB

#include "kvSiteSearch.h"
#include "kvSiteTargetNames.h"

#include "qStringPrinter.h"
#include "siteTestServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace {

using namespace std::chrono_literals;

/// The engine's fetcher, counting what it is asked for.
class TCountingFetcher : public TkvFetcher
{
public:
    TCountingFetcher() { Policy().proxy = QString(QLatin1String("")); }
    TkvFetchResult Fetch(const QString &url) override
    {
        {
            std::lock_guard guard(mutex);
            fetched.push_back(url);
        }
        return TkvFetcher::Fetch(url);
    }
    std::vector<QString> Fetched() const
    {
        std::lock_guard guard(mutex);
        return fetched;
    }

private:
    mutable std::mutex mutex;
    std::vector<QString> fetched;
};

struct TSearched
{
    std::vector<QString> pages;
    std::vector<TkvSitePage> found;
    std::vector<QString> notes;
    TkvSiteSearchSummary summary;

    bool NoteContains(const QString &text) const
    {
        return std::any_of(notes.begin(), notes.end(), [&](const QString &n) { return n.contains(text); });
    }
};

TSearched search(const QString &source, bool subdirs, TkvFetcher &fetcher, TkvSiteSearchOptions options = {})
{
    TSearched out;
    TkvSiteSearch search(*TkvSiteScope::FromSource(source, subdirs), fetcher, std::move(options));
    search.OnPage = [&](TkvSitePage &&page) {
        out.pages.push_back(page.url);
        out.found.push_back(std::move(page));
    };
    search.OnNote = [&](const QString &text) { out.notes.push_back(text); };
    out.summary = search.Run();
    return out;
}

std::vector<QString> pagesUnder(const TTestSite &site, std::initializer_list<std::string> paths)
{
    std::vector<QString> out;
    for (const std::string &path : paths)
        out.push_back(site.Url(path));
    return out;
}

} // namespace

TEST(KvSiteSearchTest, FindsExactlyThePagesInScopeAndFetchesEachOnce)
{
    TTestSite site;
    buildDocs(site);
    TCountingFetcher fetcher;
    const TSearched result = search(site.Url("/docs/*.htm?"), true, fetcher);

    const std::vector<QString> expected =
        pagesUnder(site, {"/docs/", "/docs/a.html", "/docs/b.htm", "/docs/sub/", "/docs/sub/d.html",
                          "/docs/idx/start.php", "/docs/fr.html", "/docs/area.html", "/docs/next.html", "/docs/if.html",
                          "/docs/sub/c.html", "/docs/sub/index.htm", "/docs/sub/deeper/", "/docs/sub/deeper/e.html"});
    EXPECT_EQ(std::set<QString>(result.pages.begin(), result.pages.end()),
              std::set<QString>(expected.begin(), expected.end()));
    EXPECT_EQ(result.pages.size(), expected.size()); // each once
    EXPECT_EQ(result.summary.pagesReported, int(expected.size()));

    const std::vector<std::string> requests = site.Requests();
    const std::set<std::string> distinct(requests.begin(), requests.end());
    EXPECT_EQ(distinct.size(), requests.size()) << "an address was fetched twice";
    for (const char *never : {"/docs/private/p.html", "/docs/image.png", "/docs/q.html", "/docs/other.php",
                              "/outside.html", "/docs/foreign.html"})
        EXPECT_EQ(distinct.count(never), 0u) << never;
    for (const std::string &request : requests)
        EXPECT_EQ(request.find('?'), std::string::npos) << request;
    EXPECT_EQ(site.Hosts(), std::set<std::string>{site.Origin().substr(7)}); // never the other host
    EXPECT_EQ(int(fetcher.Fetched().size()), result.summary.requests);

    EXPECT_TRUE(result.NoteContains(QStringLiteral("HTTP 404 Not Found: ") + site.Url("/docs/missing.html")));
    EXPECT_TRUE(result.NoteContains(site.Url("/elsewhere/e.html")));
    EXPECT_EQ(result.summary.robotsRefused, 1);
    EXPECT_FALSE(result.summary.limitReached);

    // The conversion gets the page as it was read, and the target names follow the folders.
    const auto index = std::find_if(result.found.begin(), result.found.end(),
                                    [&](const TkvSitePage &page) { return page.url == site.Url("/docs/sub/c.html"); });
    ASSERT_NE(index, result.found.end());
    EXPECT_EQ(index->result.body, QByteArray("<base href='/docs/sub/deeper/'><a href=e.html>e</a>"));
    EXPECT_EQ(index->result.finalUrl, index->url);
    TkvSiteTargetNames names(QStringLiteral("/docs/"), QStringLiteral(".mht"));
    std::set<QString> targets;
    for (const QString &page : result.pages)
        targets.insert(names.Assign(TkvUrl::Parse(page).Path()));
    const std::set<QString> expectedTargets = {
        "index.mht",        "a.mht",          "b.mht",    "sub/index.mht", "sub/d.mht", "idx/start.mht",
        "fr.mht",           "area.mht",       "next.mht", "if.mht",        "sub/c.mht", "sub/deeper/index.mht",
        "sub/deeper/e.mht", "sub/index-2.mht"};
    EXPECT_EQ(targets, expectedTargets);
}

TEST(KvSiteSearchTest, WithoutSubfoldersOnlyTheFolderItselfIsSearched)
{
    TTestSite site;
    buildDocs(site);
    TCountingFetcher fetcher;
    const TSearched result = search(site.Url("/docs/*.htm?"), false, fetcher);
    EXPECT_EQ(std::set<QString>(result.pages.begin(), result.pages.end()),
              std::set<QString>({site.Url("/docs/"), site.Url("/docs/a.html"), site.Url("/docs/b.htm"),
                                 site.Url("/docs/fr.html"), site.Url("/docs/area.html"), site.Url("/docs/next.html"),
                                 site.Url("/docs/if.html")}));
    for (const std::string &request : site.Requests()) {
        // in.html redirects into sub/; the fetcher follows that before the search can judge it.
        if (request.rfind("/docs/sub/", 0) == 0) {
            EXPECT_EQ(request, "/docs/sub/d.html");
        }
        EXPECT_NE(request.rfind("/docs/idx/", 0), 0u) << request;
    }
    EXPECT_TRUE(result.NoteContains(site.Url("/docs/sub/d.html")));
}

TEST(KvSiteSearchTest, ReportsInTheSameOrderWhateverTheConnections)
{
    TTestSite site;
    buildDocs(site);
    // Early pages answer slowest, so overlapping requests finish out of order.
    site.beforeAnswer = [](const std::string &path) {
        if (path == "/docs/a.html" || path == "/docs/sub/")
            std::this_thread::sleep_for(80ms);
    };
    TCountingFetcher one, four;
    TkvSiteSearchOptions options;
    options.connections = 1;
    const std::vector<QString> sequential = search(site.Url("/docs/*.htm?"), true, one, options).pages;
    options.connections = 4;
    const std::vector<QString> parallel = search(site.Url("/docs/*.htm?"), true, four, options).pages;
    EXPECT_EQ(parallel, sequential);
    ASSERT_FALSE(sequential.empty());
    EXPECT_EQ(sequential.front(), site.Url("/docs/"));
}

TEST(KvSiteSearchTest, KeepsToTheConnectionLimitAndUsesIt)
{
    TTestSite site;
    site.Page("/docs/", links({"p1.html", "p2.html", "p3.html", "p4.html", "p5.html", "p6.html", "p7.html"}));
    for (int i = 1; i <= 7; ++i)
        site.Page("/docs/p" + std::to_string(i) + ".html", links({}));
    std::mutex mutex;
    std::condition_variable changed;
    int inFlight = 0, most = 0;
    const int limit = 3;
    // Each request waits until the limit has been reached once: a search that never overlaps its
    // requests would show a most of 1 here.
    site.beforeAnswer = [&](const std::string &path) {
        if (path.rfind("/docs/p", 0) != 0)
            return; // robots.txt and the index come alone
        std::unique_lock lock(mutex);
        most = std::max(most, ++inFlight);
        changed.notify_all();
        changed.wait_for(lock, 5s, [&] { return most >= limit; });
        --inFlight;
    };
    TCountingFetcher fetcher;
    TkvSiteSearchOptions options;
    options.connections = limit;
    const TSearched result = search(site.Url("/docs/*"), false, fetcher, options);
    EXPECT_EQ(result.pages.size(), 8u);
    EXPECT_EQ(most, limit);
    EXPECT_TRUE(result.notes.empty()) << "a missing robots.txt is not worth a note";
}

TEST(KvSiteSearchTest, CrawlDelayMakesRequestsOneAtATimeAndApart)
{
    TTestSite site;
    site.Page("/robots.txt", "User-agent: web2arc\nCrawl-delay: 0.3\n", "text/plain");
    site.Page("/docs/", links({"p1.html", "p2.html"}));
    site.Page("/docs/p1.html", links({}));
    site.Page("/docs/p2.html", links({}));
    TCountingFetcher fetcher;
    TkvSiteSearchOptions options;
    options.connections = 4;
    const TSearched result = search(site.Url("/docs/*"), false, fetcher, options);
    EXPECT_EQ(result.pages.size(), 3u);
    const auto arrivals = site.Arrivals();
    ASSERT_EQ(arrivals.size(), 4u); // robots.txt and three pages
    for (size_t i = 1; i < arrivals.size(); ++i)
        EXPECT_GE(arrivals[i] - arrivals[i - 1], 300ms) << "request " << i;
}

TEST(KvSiteSearchTest, StopsAtMaxPagesOnASiteWithoutEnd)
{
    TTestSite site;
    site.Page("/trap/", links({"1.html"}));
    // Every page links to two new ones: the site never ends.
    site.generate = [](const std::string &path) -> std::optional<TServed> {
        const int n = std::atoi(path.substr(6).c_str());
        if (path.rfind("/trap/", 0) != 0 || n <= 0)
            return std::nullopt;
        return TServed{
            200, "text/html", links({std::to_string(2 * n) + ".html", std::to_string(2 * n + 1) + ".html"}), {}};
    };
    TCountingFetcher fetcher;
    TkvSiteSearchOptions options;
    options.maxPages = 25;
    options.connections = 3;
    const TSearched result = search(site.Url("/trap/*.html"), false, fetcher, options);

    std::vector<QString> expected{site.Url("/trap/")};
    for (int n = 1; n < 25; ++n)
        expected.push_back(site.Url("/trap/" + std::to_string(n) + ".html"));
    EXPECT_EQ(result.pages, expected); // breadth first, in link order
    EXPECT_TRUE(result.summary.limitReached);
    EXPECT_EQ(result.summary.pagesRead, 25);
    EXPECT_EQ(site.Requests().size(), 26u); // robots.txt and the 25 pages: nothing read past the limit
    EXPECT_TRUE(result.NoteContains(QStringLiteral("MaxPages")));
}

TEST(KvSiteSearchTest, AStopEndsTheSearchAfterAPageAndDuringACrawlDelay)
{
    TTestSite site;
    site.Page("/docs/", links({"p1.html", "p2.html"}));
    site.Page("/docs/p1.html", links({}));
    TCountingFetcher fetcher;
    std::atomic<int> reported{0};
    TkvSiteSearchOptions options;
    options.stopRequested = [&] { return reported.load() > 0; };
    TkvSiteSearch searcher(*TkvSiteScope::FromSource(site.Url("/docs/*"), false), fetcher, options);
    searcher.OnPage = [&](TkvSitePage &&) { ++reported; };
    EXPECT_TRUE(searcher.Run().stopped);
    EXPECT_EQ(reported.load(), 1);
    EXPECT_EQ(site.Requests().size(), 2u); // robots.txt and the index, nothing after the stop

    // The index waits 30 s behind the crawl delay; the stop comes while it waits and nothing more is
    // fetched (a pool that slept through the stop would fetch the index when the delay is over).
    TTestSite slow;
    slow.Page("/robots.txt", "User-agent: *\nCrawl-delay: 30\n", "text/plain");
    slow.Page("/docs/", links({}));
    int polls = 0;
    options.stopRequested = [&] { return ++polls > 1; }; // the first look, before the index is asked for
    const TSearched stopped = search(slow.Url("/docs/*"), false, fetcher, options);
    EXPECT_TRUE(stopped.summary.stopped);
    EXPECT_TRUE(stopped.pages.empty());
    EXPECT_EQ(slow.Requests(), std::vector<std::string>{"/robots.txt"});
}

TEST(KvSiteSearchTest, RobotsTxtThatCannotBeReadAllowsAndOneThatRefusesTheFolderStops)
{
    TTestSite broken;
    broken.Fail("/robots.txt", 503);
    broken.Page("/docs/", links({"a.html"}));
    broken.Page("/docs/a.html", links({}));
    TCountingFetcher fetcher;
    const TSearched allowed = search(broken.Url("/docs/*"), false, fetcher);
    EXPECT_EQ(allowed.pages.size(), 2u);
    EXPECT_TRUE(allowed.NoteContains(QStringLiteral("could not be read")));

    TTestSite refusing;
    refusing.Page("/robots.txt", "User-agent: *\nDisallow: /docs\n", "text/plain");
    refusing.Page("/docs/", links({"a.html"}));
    const TSearched refused = search(refusing.Url("/docs/*"), false, fetcher);
    EXPECT_TRUE(refused.pages.empty());
    EXPECT_TRUE(refused.NoteContains(QStringLiteral("refuses")));
    EXPECT_EQ(refusing.Requests(), std::vector<std::string>{"/robots.txt"});
}

TEST(KvSiteSearchTest, PagesTheNameTestRefusesAreFollowedButNotReported)
{
    TTestSite site;
    site.Page("/docs/", links({"keep.html", "skip.html"}));
    site.Page("/docs/skip.html", links({"deep.html"}));
    site.Page("/docs/keep.html", links({}));
    site.Page("/docs/deep.html", links({}));
    TCountingFetcher fetcher;
    TkvSiteSearchOptions options;
    options.accepts = [](const QString &url) { return !url.endsWith(u'/') && !url.contains(QLatin1String("skip")); };
    const TSearched result = search(site.Url("/docs/*"), false, fetcher, options);
    EXPECT_EQ(result.pages, pagesUnder(site, {"/docs/keep.html", "/docs/deep.html"}));
    EXPECT_EQ(result.summary.pagesRead, 4);
}

TEST(KvSiteSearchTest, AStartPageThatCannotBeReadIsReported)
{
    TTestSite site;
    TCountingFetcher fetcher;
    const TSearched result = search(site.Url("/nothing/*"), false, fetcher);
    EXPECT_TRUE(result.pages.empty());
    EXPECT_TRUE(result.NoteContains(QStringLiteral("HTTP 404 Not Found: ") + site.Url("/nothing/")));
    EXPECT_FALSE(result.summary.limitReached);
}

#endif
