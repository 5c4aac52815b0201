#include "kvSnapshotFetcher.h"

#include "kvMhtError.h"
#include "kvUrl.h"

namespace {

/// The key of an address: its canonical form without fragment; empty when it does not parse.
QString keyOf(const QString &url)
{
    const TkvUrl parsed = TkvUrl::Parse(url);
    return parsed.IsValid() ? parsed.ToString() : QString();
}

} // namespace

TkvSnapshotFetcher::TkvSnapshotFetcher(std::unique_ptr<TkvFetcher> inner)
    : TkvFetcher(inner->Policy()), inner(std::move(inner))
{}

TkvSnapshotFetcher::~TkvSnapshotFetcher() = default;

void TkvSnapshotFetcher::Hold(const QString &url, TkvFetchResult result)
{
    const QString key = keyOf(url);
    if (!key.isEmpty())
        held.insert(key, std::move(result));
}

bool TkvSnapshotFetcher::Holds(const QString &url) const
{
    return held.contains(keyOf(url));
}

TkvFetchResult TkvSnapshotFetcher::Fetch(const QString &url)
{
    const QString key = keyOf(url);
    const auto it = held.constFind(key);
    if (it == held.constEnd())
        return inner->Fetch(url);
    if (TkvUrl::Parse(key).IsFile() && !Policy().allowFile)
        throw EMhtError(QStringLiteral("Refused to embed the local file \"%1\" in a page fetched from the web.").arg(key));
    return *it;
}

TkvFetchResult TkvSnapshotFetcher::Utf8Document(const QByteArray &html, const QString &finalUrl,
                                                const TkvFetchResult &source)
{
    TkvFetchResult result = source;
    result.body = html;
    result.contentType = QStringLiteral("text/html; charset=utf-8");
    result.finalUrl = finalUrl;
    return result;
}
