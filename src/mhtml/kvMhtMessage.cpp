#include "kvMhtMessage.h"

#include "kvArchiveBuilder.h"
#include "kvCharset.h"
#include "kvContentType.h"
#include "kvMhtError.h"
#include "kvResourceCache.h"
#include "kvUrl.h"

#include <optional>

namespace {

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

/// How a person recognises the page: its path for local files, else its address.
QString displayName(const TkvUrl &url)
{
    return url.IsFile() ? TkvUrl::ToLocalPath(url.ToString()) : url.ToString();
}

/// A page that cannot be an HTML document fails rather than giving an archive of garbage. An empty
/// page is a blank page, as a browser shows it.
void checkPage(const TkvUrl &url, const TkvFetchResult &page)
{
    if (!TkvCharset::FromBom(page.body).isEmpty() || TkvCharset::IsUtf16(TkvCharset::FromContentType(page.contentType)))
        return;
    const QString sniffed = TkvContentType::Sniff(page.body);
    const bool binaryType = !sniffed.isEmpty() && !TkvContentType::IsText(sniffed);
    if (binaryType || page.body.left(4096).contains('\0'))
        throw EMhtError(QStringLiteral("Cannot convert %1: the file holds binary data, not an HTML page.")
                            .arg(quoted(displayName(url))));
}

/// The page a site search read and left in the cache, or nothing: every other page is read afresh.
std::optional<TkvFetchResult> pageFromCache(TkvResourceCache *cache, const TkvUrl &url)
{
    if (!cache || !url.IsHttp())
        return std::nullopt;
    const std::shared_ptr<const TkvCachedPart> part = cache->Find(url.ToString());
    if (!part || !part->fetchedAt.isValid())
        return std::nullopt;
    TkvFetchResult page;
    page.body = part->bytes;
    page.contentType = part->contentType;
    page.finalUrl = part->finalUrl;
    page.fetchedAt = part->fetchedAt;
    page.httpStatus = 200;
    return page;
}

} // namespace

TkvMhtMessage::TkvMhtMessage(TkvResourceCache *cache, TkvCssReferenceCache *cssReferences)
    : cache(cache), cssReferences(cssReferences)
{}

TkvMhtMessage::~TkvMhtMessage() = default;

void TkvMhtMessage::CreateMHTMLBody(const QString &url, int flags, const QString &user, const QString &password)
{
    chunks.clear();
    const QString charset = bodyPart.Charset.trimmed().isEmpty() ? QString() : TkvCharset::Require(bodyPart.Charset);

    TkvUrl pageUrl = TkvUrl::Parse(url);
    if (!pageUrl.IsValid() && url.startsWith(QLatin1Char('/')))
        pageUrl = TkvUrl::Parse(TkvUrl::FromLocalPath(url));
    if (!pageUrl.IsFile() && !pageUrl.IsHttp())
        throw EMhtError(
            QStringLiteral("Cannot open %1: it is neither a local file nor a web address.").arg(quoted(url)));

    TkvFetchPolicy policy = FetchPolicy;
    policy.user = user;
    policy.password = password;
    policy.allowFile = pageUrl.IsFile();
    const std::unique_ptr<TkvFetcher> fetcher =
        FetcherFactory ? FetcherFactory(pageUrl.ToString(), policy) : std::make_unique<TkvFetcher>(policy);
    // A fetcher factory answers for the page itself (as its scripts left it): it has the last word.
    std::optional<TkvFetchResult> cached = FetcherFactory ? std::nullopt : pageFromCache(cache, pageUrl);
    const TkvFetchResult page = cached ? std::move(*cached) : fetcher->Fetch(pageUrl.ToString());
    checkPage(pageUrl, page);

    TkvArchiveBuilder builder(*fetcher, flags & mhtSuppressAll, charset, cache, cssReferences);
    chunks = builder.Build(pageUrl, page);
}

TkvMhtStream TkvMhtMessage::GetStream() const
{
    return TkvMhtStream(chunks);
}
