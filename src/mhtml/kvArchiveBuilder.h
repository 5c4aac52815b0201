#pragma once

#include "kvMimeWriter.h"
#include "kvResourceCollector.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QHash> // std::hash<QString>
#include <QSet>
#include <QString>

#include <deque>
#include <unordered_map>
#include <vector>

class TkvCssReferenceCache;
class TkvFetcher;
class TkvResourceCache;
class TkvUrl;
struct TkvFetchResult;

/// Builds one archive: the page, its frames (down to MaxFrameDepth) and every resource they use,
/// each address once, in the order the documents name them. Resources come from `cache` when it holds
/// them and from `fetcher` otherwise; a resource that cannot be fetched is left out. The boundary is
/// derived from a digest of every part, so the same inputs give the same archive.
///
/// One builder per archive, used by one thread. The fetcher and the two caches are the caller's and
/// must outlive the builder; either cache may be null (then nothing is kept for the next archive).
class TkvArchiveBuilder
{
public:
    static constexpr int MaxFrameDepth = 5;

    /// `flags`: TkvMhtFlags of the kinds to leave out; `charset`: the character set the page is stored
    /// in (canonical name), empty to keep the page's own.
    TkvArchiveBuilder(TkvFetcher &fetcher, int flags, const QString &charset, TkvResourceCache *cache,
                      TkvCssReferenceCache *cssReferences);

    /// The message as chunks (TkvMimeWriter::Assemble) for the page fetched from `pageUrl` as `page`.
    /// Throws EMhtError when the page cannot be stored in the requested charset.
    std::vector<QByteArray> Build(const TkvUrl &pageUrl, const TkvFetchResult &page);

private:
    struct TWork
    {
        QString url;
        TkvResourceKind kind;
        int depth;           ///< frame depth of the document that uses the resource
        QString fragmentUrl; ///< the address as used, with its fragment; empty without one
    };

    /// A part written to the archive: enough to write its body once more under another address.
    struct TWritten
    {
        QByteArray contentType;
        TkvTransferEncoding encoding;
        QByteArray body; ///< encoded
    };

    void addHtml(const QString &url, const TkvFetchResult &result, int depth, bool main);
    void addResource(const TWork &work);
    void addFrame(const TWork &work);
    void addPart(const QString &url, const QByteArray &contentType, TkvTransferEncoding encoding,
                 const QByteArray &body);
    void addUnderFragment(const QString &url, const QString &fragmentUrl);
    void queue(const std::vector<TkvFoundResource> &found, int depth);
    bool claim(const QString &url);

    TkvFetcher &fetcher;
    const int flags;
    const QString bodyCharset;
    TkvResourceCache *const cache;
    TkvCssReferenceCache *const cssReferences;
    QSet<QString> claimed;
    std::deque<TWork> work;
    std::vector<TkvMimePart> parts;
    std::unordered_map<QString, TWritten> written; ///< by the address of its first part
    QCryptographicHash digest{QCryptographicHash::Sha1};
    QString title;
};
