#include "kvSiteSearch.h"

#include "kvContentType.h"
#include "kvPageLinks.h"
#include "kvSiteFetchPool.h"

#include <QCryptographicHash>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>

namespace {

bool isHtmlType(const QString &type)
{
    return type == QLatin1String("text/html") || type == QLatin1String("application/xhtml+xml");
}

/// True when the response is an HTML document: by its Content-Type, or without one by its bytes and name.
bool isHtml(const TkvUrl &url, const TkvFetchResult &result)
{
    const QString essence = TkvContentType::Essence(result.contentType);
    return isHtmlType(essence.isEmpty() ? TkvContentType::Guess(url.Path(), result.body) : essence);
}

/// True when the address's extension names a type that is never a page (image, archive, PDF ...): such
/// links are not fetched at all.
bool isKnownNotHtml(const TkvUrl &url)
{
    const QString type = TkvContentType::FromExtension(url.Path());
    return !type.isEmpty() && !isHtmlType(type);
}

QString pathAndQuery(const TkvUrl &url)
{
    return url.Query().isNull() ? url.Path() : url.Path() + u'?' + url.Query();
}

} // namespace

TkvSiteSearch::TkvSiteSearch(TkvSiteScope scope, TkvFetcher &fetcher, TkvSiteSearchOptions options)
    : scope(std::move(scope)), fetcher(fetcher), options(std::move(options))
{}

int TkvSiteSearch::MaxQueued(int maxPages)
{
    return std::max(10000, std::min(maxPages, 1000000) * 10);
}

void TkvSiteSearch::note(const QString &text)
{
    if (OnNote)
        OnNote(text);
}

QString TkvSiteSearch::robotsUrl() const
{
    return TkvUrl::Resolve(QStringLiteral("/robots.txt"), scope.Folder());
}

void TkvSiteSearch::loadRobots()
{
    const QString address = robotsUrl();
    ++summary.requests;
    try {
        const TkvFetchResult result = fetcher.Fetch(address);
        robots = TkvRobotsTxt::Parse(result.body);
    } catch (const std::exception &e) {
        // No robots.txt (404, 410, any 4xx) means no rules. Anything else is worth a line in the log.
        const QString reason = QString::fromUtf8(e.what());
        if (!reason.startsWith(QLatin1String("HTTP 4")))
            note(QStringLiteral("The robots.txt of %1 could not be read (%2); the site is searched without its rules.")
                     .arg(scope.Folder(), reason));
    }
}

TkvSiteSearchSummary TkvSiteSearch::Run()
{
    summary = {};
    robots = TkvRobotsTxt();
    queue.clear();
    seen.clear();
    indexDigests.clear();
    queueFullNoted = false;
    loadRobots();
    if (!robots.Allows(scope.FolderUrl().Path())) {
        note(QStringLiteral("The robots.txt of %1 refuses %2 to web2arc; nothing was searched.")
                 .arg(robotsUrl(), scope.Folder()));
        summary.robotsRefused = 1;
        return summary;
    }
    double delaySeconds = std::max(0.0, robots.CrawlDelay());
    if (delaySeconds > options.maxCrawlDelay) {
        note(QStringLiteral("The robots.txt of %1 asks for %2 s between requests; the search waits %3 s.")
                 .arg(robotsUrl())
                 .arg(delaySeconds)
                 .arg(options.maxCrawlDelay));
        delaySeconds = options.maxCrawlDelay;
    }
    const auto delay = std::chrono::milliseconds(std::llround(delaySeconds * 1000));
    const int maxPages = std::max(1, options.maxPages);

    TkvSiteFetchPool pool(fetcher, options.connections, delay);
    // Enough addresses handed out that every connection stays busy while this thread reads a page.
    const int window = 2 * pool.Connections();
    seen.insert(scope.Folder());
    queue.push_back(scope.Folder());
    for (;;) {
        if (options.stopRequested && options.stopRequested()) {
            summary.stopped = true;
            break;
        }
        // Never more requests under way than pages still allowed: a trap's pages are not read past
        // the limit.
        while (!queue.empty() && pool.Outstanding() < window && summary.pagesRead + pool.Outstanding() < maxPages) {
            pool.Submit(queue.front());
            queue.pop_front();
            ++summary.requests;
        }
        std::optional<TkvSiteFetchPool::TOutcome> outcome = pool.TakeNext(options.stopRequested);
        if (!outcome) {
            summary.stopped = pool.Outstanding() > 0;
            break;
        }
        if (!outcome->error.isEmpty())
            note(outcome->error);
        else
            take(std::move(outcome->result), outcome->url);
    }
    if (!summary.stopped && !queue.empty()) {
        summary.limitReached = true;
        note(QStringLiteral("The search of %1 stopped after %2 pages (MaxPages); %3 more addresses found were not "
                            "searched.")
                 .arg(scope.Folder())
                 .arg(summary.pagesRead)
                 .arg(queue.size()));
    }
    if (summary.robotsRefused > 0)
        note(QStringLiteral("The robots.txt of %1 refused %2 addresses of the search of %3.")
                 .arg(robotsUrl())
                 .arg(summary.robotsRefused)
                 .arg(scope.Folder()));
    return summary;
}

bool TkvSiteSearch::followsRedirect(const TkvUrl &from, const TkvUrl &to) const
{
    if (scope.Contains(to))
        return true;
    // A folder's address that sends the reader to a page in it ("api/" to "api/index.php") gives that
    // folder's index page, whatever its name.
    return from.Path().endsWith(u'/') && TkvSiteScope(from, QStringLiteral("*"), false).Contains(to);
}

void TkvSiteSearch::take(TkvFetchResult &&result, const QString &requested)
{
    const TkvUrl from = TkvUrl::Parse(requested);
    TkvUrl url = TkvUrl::Parse(result.finalUrl);
    if (!url.IsValid())
        url = from;
    const QString address = url.ToString();
    if (address != requested) {
        if (!followsRedirect(from, url)) {
            note(QStringLiteral("%1 redirects to %2, outside the search of %3: it is left out.")
                     .arg(requested, address, scope.Folder()));
            return;
        }
        if (seen.contains(address))
            return; // that page is read under its own address
        seen.insert(address);
        if (!robots.Allows(pathAndQuery(url))) {
            ++summary.robotsRefused;
            return;
        }
    }
    if (!isHtml(url, result))
        return;
    ++summary.pagesRead;
    if (isIndexSeenBefore(url, result.body))
        return;
    const std::vector<QString> links = TkvPageLinks::Find(address, result.body, result.contentType);
    if (!options.accepts || options.accepts(address)) {
        ++summary.pagesReported;
        result.finalUrl = address;
        if (OnPage)
            OnPage(TkvSitePage{address, std::move(result)});
    }
    for (const QString &link : links)
        consider(link);
}

bool TkvSiteSearch::isIndexSeenBefore(const TkvUrl &url, const QByteArray &body)
{
    const QString path = url.Path();
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString name = QString::fromUtf8(QByteArray::fromPercentEncoding(path.mid(slash + 1).toUtf8()));
    if (!name.isEmpty() && !name.startsWith(QLatin1String("index."), Qt::CaseInsensitive))
        return false;
    QSet<QByteArray> &digests = indexDigests[path.left(slash + 1)];
    const QByteArray digest = QCryptographicHash::hash(body, QCryptographicHash::Sha256);
    if (digests.contains(digest))
        return true;
    digests.insert(digest);
    return false;
}

void TkvSiteSearch::consider(const QString &link)
{
    const TkvUrl url = TkvUrl::Parse(link);
    if (seen.contains(link) || !scope.Contains(url))
        return;
    seen.insert(link);
    if (!robots.Allows(pathAndQuery(url))) {
        ++summary.robotsRefused;
        return;
    }
    if (isKnownNotHtml(url))
        return;
    if (int(queue.size()) >= MaxQueued(options.maxPages)) {
        if (!queueFullNoted)
            note(QStringLiteral("The search of %1 found more than %2 addresses waiting to be read; further links "
                                "are left out.")
                     .arg(scope.Folder())
                     .arg(MaxQueued(options.maxPages)));
        queueFullNoted = true;
        return;
    }
    queue.push_back(link);
}
