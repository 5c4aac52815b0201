#pragma once

#include "kvFetcher.h"
#include "kvRobotsTxt.h"
#include "kvSiteScope.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

#include <deque>
#include <functional>

/// One page a site search found, with the response it was read from: its conversion takes the page
/// from here instead of fetching it again.
struct TkvSitePage
{
    QString url;           ///< canonical address without fragment (where a redirect within the scope led)
    TkvFetchResult result; ///< the response; result.finalUrl == url
};

/// How a site search runs. The run reads these from its options once; nothing here is read later.
struct TkvSiteSearchOptions
{
    static constexpr int DefaultMaxPages = 10000;

    /// The search reads at most this many pages (HTML responses, whether the name test takes them or
    /// not); values below 1 count as 1.
    int maxPages = DefaultMaxPages;
    /// Requests to the host at one time (ThreadsCount); one while robots.txt asks for a crawl delay.
    int connections = 1;
    /// The job's name test (RegExt) on a page's full address; a page it refuses is still read and its
    /// links followed, but not reported. Null: every page is reported.
    std::function<bool(const QString &url)> accepts;
    /// Polled while the search runs (also while it waits for a response or a crawl delay); true ends
    /// the search. Null: never.
    std::function<bool()> stopRequested;
    /// A longer Crawl-delay than this many seconds is shortened to it, so a robots.txt cannot make
    /// the search wait for days.
    double maxCrawlDelay = 60;
};

/// What a finished search did.
struct TkvSiteSearchSummary
{
    int pagesRead = 0;         ///< HTML pages fetched
    int pagesReported = 0;     ///< pages handed to OnPage
    int requests = 0;          ///< every request made, robots.txt included
    int robotsRefused = 0;     ///< addresses in scope that robots.txt refused
    bool limitReached = false; ///< stopped at maxPages with addresses left to search
    bool stopped = false;      ///< ended by stopRequested
};

/// Searches a web site like a folder: fetches the start folder's address (its index page), then
/// follows the links of every page it read (TkvPageLinks), breadth first, queueing each address in the
/// scope (TkvSiteScope) that was not seen before and that the site's robots.txt allows for the agent
/// "web2arc" (or "*"). Addresses whose extension names a type that is not HTML (images, archives,
/// PDF ...) are not fetched; of the responses, only HTML ones (text/html, application/xhtml+xml) are
/// pages. A redirect is followed only to an address in the scope, or from a folder's address to a page
/// directly in that folder (its index page); the page then counts, once, under the address it was sent
/// to. The fetcher follows redirects itself, so the search judges where a redirect ended: one that
/// leaves the scope has cost a request outside it, but its page is left out (with a note) and its
/// links are never followed. A folder's address and its index.* page are one page when both give the
/// same bytes ("docs/" and "docs/index.html"): only the first one found is reported.
///
/// robots.txt: a site without one (any 4xx) allows everything. One that cannot be read (5xx, no answer)
/// also allows everything, with a note in the log: the search is started by a person for a site they
/// chose, usually their own, and a broken robots.txt on an intranet should not silently archive nothing.
///
/// Order: pages are reported, and links followed, in the order a one-connection search would read
/// them, however many requests overlap; a run over an unchanged site reports the same pages in the
/// same order.
///
/// Thread rules: Run runs on the caller's thread (the job's search thread) and calls OnPage and OnNote
/// there; the fetches run on the pool's workers (TkvSiteFetchPool), so with more than one connection
/// the fetcher's Fetch is called from several threads at once (the base TkvFetcher allows that). The
/// fetcher must outlive Run. Run may be called again; each call searches anew.
class TkvSiteSearch
{
public:
    TkvSiteSearch(TkvSiteScope scope, TkvFetcher &fetcher, TkvSiteSearchOptions options);

    /// Each page found, in order. May take the page's result (it is not used after the call).
    std::function<void(TkvSitePage &&page)> OnPage;
    /// A sentence for the log: an address that could not be fetched, a redirect out of the scope, an
    /// unreadable robots.txt, the end of the search at maxPages.
    std::function<void(const QString &text)> OnNote;

    /// Searches until no address is left, maxPages pages were read, or a stop is requested. Exceptions
    /// thrown by OnPage or OnNote propagate (after the workers have ended).
    TkvSiteSearchSummary Run();

    /// At most this many addresses wait to be fetched; links found beyond it are left out (with a
    /// note). It bounds memory on sites that make endless addresses.
    static int MaxQueued(int maxPages);

private:
    void loadRobots();
    void take(TkvFetchResult &&result, const QString &requested);
    bool followsRedirect(const TkvUrl &from, const TkvUrl &to) const;
    /// True when `url` is a folder's address or an index.* page in it, and the folder's address or one
    /// of its index pages gave the same bytes before. Remembers the page otherwise.
    bool isIndexSeenBefore(const TkvUrl &url, const QByteArray &body);
    void consider(const QString &link);
    void note(const QString &text);
    QString robotsUrl() const;

    const TkvSiteScope scope;
    TkvFetcher &fetcher;
    const TkvSiteSearchOptions options;
    TkvRobotsTxt robots;
    std::deque<QString> queue;                     ///< in scope, allowed, not fetched yet
    QSet<QString> seen;                            ///< every canonical address queued or refused
    QHash<QString, QSet<QByteArray>> indexDigests; ///< folder path -> digests of its index pages
    bool queueFullNoted = false;
    TkvSiteSearchSummary summary;
};
