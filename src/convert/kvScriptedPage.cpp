#include "kvScriptedPage.h"

#include "kvScriptProbe.h"
#include "kvSnapshotFetcher.h"
#include "kvUrl.h"

namespace {

QString canonical(const QString &url)
{
    const TkvUrl parsed = TkvUrl::Parse(url);
    return parsed.IsValid() ? parsed.ToString() : QString();
}

} // namespace

TkvMhtMessage::TFetcherFactory TkvScriptedPage::Factory(TkvPageRenderer &renderer, std::chrono::milliseconds limit)
{
    return [&renderer, limit](const QString &pageUrl, const TkvFetchPolicy &policy) {
        return MakeFetcher(renderer, limit, pageUrl, std::make_unique<TkvFetcher>(policy));
    };
}

std::unique_ptr<TkvFetcher> TkvScriptedPage::MakeFetcher(TkvPageRenderer &renderer, std::chrono::milliseconds limit,
                                                         const QString &pageUrl, std::unique_ptr<TkvFetcher> inner)
{
    auto fetcher = std::make_unique<TkvSnapshotFetcher>(std::move(inner));
    const TkvScriptProbeResult probe = TkvScriptProbe::Probe(*fetcher, pageUrl);
    for (const auto &[url, result] : probe.documents)
        fetcher->Hold(url, result); // read once: the engine does not read them again
    if (!probe.hasScript)
        return fetcher;

    TkvRenderedPage page = renderer.Render(pageUrl, limit);
    if (page.documents.empty())
        throw EMhtError(QStringLiteral("The page renderer gave no document for \"%1\".").arg(pageUrl));
    QString finalUrl = canonical(page.documents.front().address);
    if (finalUrl.isEmpty())
        finalUrl = pageUrl;
    if (TkvUrl::Parse(finalUrl).IsFile() != TkvUrl::Parse(pageUrl).IsFile())
        throw EMhtError(QStringLiteral("Cannot archive \"%1\" with its scripts run: its scripts went on to \"%2\".")
                            .arg(pageUrl, finalUrl));
    const TkvFetchResult &source = probe.documents.front().second;
    fetcher->Hold(pageUrl, TkvSnapshotFetcher::Utf8Document(page.documents.front().html, finalUrl, source));
    for (size_t i = 1; i < page.documents.size(); ++i) {
        const QString frameUrl = canonical(page.documents[i].address);
        if (frameUrl.isEmpty())
            continue;
        TkvFetchResult frameSource;
        frameSource.fetchedAt = source.fetchedAt;
        for (const auto &[url, result] : probe.documents) {
            if (url == frameUrl)
                frameSource = result;
        }
        fetcher->Hold(frameUrl, TkvSnapshotFetcher::Utf8Document(page.documents[i].html, frameUrl, frameSource));
    }
    return fetcher;
}
