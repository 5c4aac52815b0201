#pragma once

#include "kvFetcher.h"

#include <QHash>

#include <memory>

/// A fetcher that answers some addresses with documents it already holds (a page and its frames as
/// their scripts left them, or documents read once before) and every other address through the
/// fetcher it wraps, so a page's resources are read exactly as without it. It keeps the wrapped
/// fetcher's policy, and holds to it: a held file: document is refused as any file would be when the
/// policy does not allow local files.
///
/// Thread rules: as TkvFetcher (one per conversion).
class TkvSnapshotFetcher : public TkvFetcher
{
public:
    /// REQUIRES: `inner` is not null.
    explicit TkvSnapshotFetcher(std::unique_ptr<TkvFetcher> inner);
    ~TkvSnapshotFetcher() override;

    /// From now on, `url` (any form TkvUrl parses; a fragment does not count) is answered with `result`.
    /// An address that does not parse is ignored.
    void Hold(const QString &url, TkvFetchResult result);
    /// True when `url` is answered from what is held.
    bool Holds(const QString &url) const;

    TkvFetchResult Fetch(const QString &url) override;

    /// A result for an HTML document in UTF-8 made here (no server sent it): labelled
    /// "text/html; charset=utf-8", from `finalUrl`, with the file stamp and dates of `source`, the
    /// document it stands for.
    static TkvFetchResult Utf8Document(const QByteArray &html, const QString &finalUrl, const TkvFetchResult &source);

private:
    std::unique_ptr<TkvFetcher> inner;
    QHash<QString, TkvFetchResult> held; ///< by canonical address
};
