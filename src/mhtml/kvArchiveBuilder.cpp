#include "kvArchiveBuilder.h"

#include "kvCharset.h"
#include "kvContentType.h"
#include "kvCssReferenceCache.h"
#include "kvFetcher.h"
#include "kvMhtError.h"
#include "kvMhtFlags.h"
#include "kvResourceCache.h"
#include "kvUrl.h"
#include "kvUtf8.h"

namespace {

std::string_view view(const QByteArray &bytes)
{
    return {bytes.constData(), size_t(bytes.size())};
}

bool suppressed(TkvResourceKind kind, int flags)
{
    switch (kind) {
    case TkvResourceKind::Image:
        return flags & mhtSuppressImages;
    case TkvResourceKind::Sound:
        return flags & mhtSuppressBGSounds;
    case TkvResourceKind::Frame:
        return flags & mhtSuppressFrames;
    case TkvResourceKind::Object:
        return flags & mhtSuppressObjects;
    case TkvResourceKind::StyleSheet:
    case TkvResourceKind::CssUrl:
        return flags & mhtSuppressStyleSheets;
    case TkvResourceKind::Script:
        return false;
    }
    return false;
}

/// The charset of a text resource without one in its header: a BOM, a CSS @charset rule, valid UTF-8,
/// else windows-1252 (the same fallback a page gets).
QString textCharset(const QByteArray &bytes)
{
    const QString bom = TkvCharset::FromBom(bytes);
    if (!bom.isEmpty())
        return bom;
    if (bytes.startsWith("@charset \"")) {
        const qsizetype end = bytes.indexOf('"', 10);
        if (end > 10 && end < 60) {
            const QString named = TkvCharset::Normalize(QString::fromLatin1(bytes.mid(10, end - 10)));
            if (!named.isEmpty())
                return TkvCharset::IsUtf16(named) ? QStringLiteral("UTF-8") : named;
        }
    }
    return TkvUtf8::IsValid(bytes) ? QStringLiteral("UTF-8") : QStringLiteral("windows-1252");
}

/// The Content-Type value written for a resource: the server's type, else the type of the file's
/// content or extension; text types always carry a charset.
QString partContentType(const QString &url, const TkvFetchResult &result)
{
    QString header = result.contentType;
    header.remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
    QString essence = TkvContentType::Essence(header);
    if (essence.isEmpty() || !essence.contains(QLatin1Char('/')))
        essence = TkvContentType::Guess(TkvUrl::Parse(url).Path(), result.body);
    if (!TkvContentType::IsText(essence))
        return essence;
    QString charset = TkvContentType::Essence(header) == essence ? TkvCharset::FromContentType(header) : QString();
    if (charset.isEmpty())
        charset = textCharset(result.body);
    return essence + QStringLiteral("; charset=") + charset;
}

TkvTransferEncoding encodingOf(const QString &contentType)
{
    return TkvContentType::IsText(TkvContentType::Essence(contentType)) ? TkvTransferEncoding::QuotedPrintable
                                                                        : TkvTransferEncoding::Base64;
}

/// The encoded body of a resource; the headers are made for each part that shows it.
QByteArray encodeCachedBody(const TkvCachedPart &part)
{
    return TkvMimeWriter::EncodeBody(encodingOf(part.contentType), view(part.bytes));
}

} // namespace

TkvArchiveBuilder::TkvArchiveBuilder(TkvFetcher &fetcher, int flags, const QString &charset, TkvResourceCache *cache,
                                     TkvCssReferenceCache *cssReferences)
    : fetcher(fetcher), flags(flags), bodyCharset(charset), cache(cache), cssReferences(cssReferences)
{}

bool TkvArchiveBuilder::claim(const QString &url)
{
    if (claimed.contains(url))
        return false;
    claimed.insert(url);
    return true;
}

void TkvArchiveBuilder::queue(const std::vector<TkvFoundResource> &found, int depth)
{
    for (const TkvFoundResource &resource : found) {
        if (!suppressed(resource.kind, flags))
            work.push_back({resource.url, resource.kind, depth, resource.fragmentUrl});
    }
}

void TkvArchiveBuilder::addHtml(const QString &url, const TkvFetchResult &result, int depth, bool main)
{
    QByteArray bytes = result.body;
    QString charset = TkvCharset::Detect(bytes, result.contentType);
    if (main && !bodyCharset.isEmpty() && bodyCharset != charset) {
        bytes = TkvCharset::Encode(TkvCharset::Decode(bytes, charset), bodyCharset);
        charset = bodyCharset;
    }
    // The tokenizer reads ASCII-compatible bytes; a UTF-16 page is scanned in a UTF-8 copy and stored
    // as it is, without the rewrites (their offsets would not apply).
    const bool utf16 = TkvCharset::IsUtf16(charset);
    const QByteArray scanned = utf16 ? TkvCharset::Decode(bytes, charset).toUtf8() : bytes;
    TkvResourceCollector collector(url, utf16 ? QStringLiteral("UTF-8") : charset);
    collector.ScanHtml(view(scanned));
    if (main)
        title = collector.Title();
    if (!utf16 && !collector.Edits().empty()) {
        const std::string edited = TkvResourceCollector::ApplyEdits(view(bytes), collector.Edits());
        bytes = QByteArray(edited.data(), qsizetype(edited.size()));
    }
    digest.addData(bytes);
    addPart(url, "text/html; charset=" + charset.toLatin1(), TkvTransferEncoding::QuotedPrintable,
            TkvMimeWriter::EncodeBody(TkvTransferEncoding::QuotedPrintable, view(bytes)));
    queue(collector.Resources(), depth);
}

void TkvArchiveBuilder::addPart(const QString &url, const QByteArray &contentType, TkvTransferEncoding encoding,
                                const QByteArray &body)
{
    parts.push_back({TkvMimeWriter::PartHeaders(contentType, TkvUrl::ToArchiveLocation(url).toUtf8(), encoding), body});
    written.emplace(url, TWritten{contentType, encoding, body});
}

void TkvArchiveBuilder::addUnderFragment(const QString &url, const QString &fragmentUrl)
{
    // Readers look a part up by the whole address a document uses, fragment included: the same body
    // is written once more under that address (encoded once, shared by both parts).
    const auto it = written.find(url);
    if (it == written.end())
        return; // the resource itself is not in the archive
    digest.addData(fragmentUrl.toUtf8());
    const TWritten &part = it->second;
    parts.push_back(
        {TkvMimeWriter::PartHeaders(part.contentType, TkvUrl::ToArchiveLocation(fragmentUrl).toUtf8(), part.encoding),
         part.body});
}

void TkvArchiveBuilder::addFrame(const TWork &item)
{
    if (item.depth >= MaxFrameDepth)
        return;
    TkvFetchResult result;
    try {
        result = fetcher.Fetch(item.url);
    } catch (const EMhtError &) {
        return; // a frame that cannot be read is left out like any resource
    }
    const QString essence = TkvContentType::Essence(result.contentType);
    const QString type =
        essence.isEmpty() ? TkvContentType::Guess(TkvUrl::Parse(item.url).Path(), result.body) : essence;
    if (type == QLatin1String("text/html") || type == QLatin1String("application/xhtml+xml")) {
        addHtml(item.url, result, item.depth + 1, false);
        return;
    }
    // A frame showing an image or a text file: an ordinary resource.
    const QString contentType = partContentType(item.url, result);
    digest.addData(item.url.toUtf8());
    digest.addData(result.body);
    addPart(item.url, contentType.toLatin1(), encodingOf(contentType),
            TkvMimeWriter::EncodeBody(encodingOf(contentType), view(result.body)));
}

void TkvArchiveBuilder::addResource(const TWork &item)
{
    const TkvUrl url = TkvUrl::Parse(item.url);
    if (!url.IsHttp() && !url.IsFile())
        return;
    if (url.IsFile() && !fetcher.Policy().allowFile)
        return; // a page from the web never embeds a local file, cached or not
    std::shared_ptr<const TkvCachedPart> part = cache ? cache->Find(item.url) : nullptr;
    if (!part) {
        TkvFetchResult result;
        try {
            result = fetcher.Fetch(item.url);
        } catch (const EMhtError &) {
            return; // missing or failing: left out, the page still converts
        }
        auto fresh = std::make_shared<TkvCachedPart>();
        fresh->url = item.url;
        fresh->contentType = partContentType(item.url, result);
        fresh->finalUrl = result.finalUrl;
        fresh->fileSize = url.IsFile() ? result.fileSize : -1;
        fresh->fileMtimeNs = result.fileMtimeNs;
        fresh->bytes = std::move(result.body);
        if (cache && cache->SeenBefore(item.url))
            part = cache->Insert(std::move(fresh));
        else
            part = std::move(fresh); // first use: likely this page's own, not worth a place yet
    }
    // The boundary depends on every part; a part is named by its address and stamp, so a shared
    // resource costs nothing to hash again.
    digest.addData(item.url.toUtf8());
    digest.addData(QByteArray::number(part->bytes.size()) + ' ' + QByteArray::number(part->fileMtimeNs));
    addPart(item.url, part->contentType.toLatin1(), encodingOf(part->contentType), part->Encoded(encodeCachedBody));
    if (TkvContentType::Essence(part->contentType) == QLatin1String("text/css") && !(flags & mhtSuppressStyleSheets))
        queue(cssReferences ? cssReferences->Get(part) : TkvCssReferenceCache::Scan(*part), item.depth);
}

std::vector<QByteArray> TkvArchiveBuilder::Build(const TkvUrl &pageUrl, const TkvFetchResult &page)
{
    const QString location = page.finalUrl.isEmpty() ? pageUrl.ToString() : page.finalUrl;
    claim(pageUrl.ToString());
    claim(location);
    addHtml(location, page, 0, true);
    while (!work.empty()) {
        const TWork item = work.front();
        work.pop_front();
        if (claim(item.url)) {
            if (item.kind == TkvResourceKind::Frame)
                addFrame(item);
            else
                addResource(item);
        }
        if (!item.fragmentUrl.isEmpty() && claim(item.fragmentUrl))
            addUnderFragment(item.url, item.fragmentUrl);
    }
    const QDateTime date = pageUrl.IsFile() && page.lastModified.isValid() ? page.lastModified : page.fetchedAt;
    const TkvMimeWriter::TopHeaders headers{title, location.toUtf8(),
                                            date.isValid() ? date : QDateTime::currentDateTimeUtc()};
    return TkvMimeWriter::Assemble(headers, TkvMimeWriter::MakeBoundary(digest.result()), parts);
}
