#pragma once

#include "kvFetcher.h"
#include "kvMhtError.h"
#include "kvMhtFlags.h"
#include "kvMhtStream.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

class TkvCssReferenceCache;
class TkvResourceCache;

/// The main body part of a message; only its character set is settable.
class TkvMhtBodyPart
{
public:
    QString Charset; ///< empty: keep the page's own charset
};

/// Builds a single-file web archive (MIME HTML, RFC 2557) of one page and everything it uses.
///
/// The engine's parts come from the caller: the resource cache and the cache of style-sheet
/// references that the conversions of one run share (null: nothing is kept from one message to the
/// next), and optionally the fetcher each message reads through (FetcherFactory). Nothing else is
/// shared between messages.
///
/// One message per conversion, used by one thread; messages on different threads may share the caches.
class TkvMhtMessage
{
public:
    /// The caches are not owned and must outlive the message.
    explicit TkvMhtMessage(TkvResourceCache *cache = nullptr, TkvCssReferenceCache *cssReferences = nullptr);
    ~TkvMhtMessage();

    bool MimeFormatted = true;
    /// Time-outs, size cap, redirects and proxy of every fetch; CreateMHTMLBody sets the user,
    /// password and whether file: URLs may be read from its own arguments.
    TkvFetchPolicy FetchPolicy;
    TkvMhtBodyPart &BodyPart() { return bodyPart; }

    /// Makes the fetcher CreateMHTMLBody reads the page and everything it uses with, from the page's
    /// canonical address and the policy CreateMHTMLBody worked out for it. Unset: a plain TkvFetcher.
    /// A converter that already holds some documents (the page as its scripts left it) answers them
    /// this way; the returned fetcher must keep `policy` (TkvFetcher's constructor argument). It may
    /// throw EMhtError, which fails the conversion like a page that cannot be read.
    using TFetcherFactory =
        std::function<std::unique_ptr<TkvFetcher>(const QString &pageUrl, const TkvFetchPolicy &policy)>;
    TFetcherFactory FetcherFactory;

    /// Fetches `url` (file:, http:, https:, or an absolute local path) and its resources and builds
    /// the message (a page a site search left in the cache, TkvCachedPart::fetchedAt, is taken from
    /// there instead); `flags` (TkvMhtFlags) leave kinds of resources out; `user` and `password`
    /// authenticate HTTP requests. A resource that cannot be fetched is left out; an empty page gives
    /// the archive of a blank page. Throws EMhtError when the page itself cannot be read or is binary,
    /// or `Charset` is unknown.
    /// The message is always MIME formatted (MimeFormatted is kept for the converter's code).
    void CreateMHTMLBody(const QString &url, int flags, const QString &user, const QString &password);
    /// The message built by the last CreateMHTMLBody. REQUIRES: CreateMHTMLBody succeeded.
    TkvMhtStream GetStream() const;

private:
    TkvMhtBodyPart bodyPart;
    TkvResourceCache *const cache;
    TkvCssReferenceCache *const cssReferences;
    std::vector<QByteArray> chunks;
};
