#include "kvMhtMessage.h"

#include "kvAtomicFile.h"
#include "kvCharset.h"
#include "kvContentType.h"
#include "kvFetcher.h"
#include "kvMimeWriter.h"
#include "kvResourceCache.h"
#include "kvResourceCollector.h"
#include "kvUrl.h"

#include <QCryptographicHash>
#include <QFileInfo>

#include <deque>
#include <mutex>
#include <unordered_map>

namespace {

constexpr int kMaxFrameDepth = 5;

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

/// How a person recognises the page: its path for local files, else its address.
QString displayName(const TkvUrl &url)
{
    return url.IsFile() ? TkvUrl::ToLocalPath(url.ToString()) : url.ToString();
}

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
    return TkvCharset::IsValidUtf8(bytes) ? QStringLiteral("UTF-8") : QStringLiteral("windows-1252");
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

/// The references found in cached style sheets, so a sheet shared by many pages is scanned once.
/// An entry belongs to one cached part; a part read again (changed file) is scanned again.
class TCssReferenceCache
{
public:
    std::vector<TkvFoundResource> Get(const std::shared_ptr<const TkvCachedPart> &part)
    {
        {
            std::lock_guard lock(mutex);
            auto it = entries.find(part->url);
            if (it != entries.end() && it->second.part.lock() == part)
                return it->second.refs;
        }
        const QString charset = TkvCharset::FromContentType(part->contentType);
        TkvResourceCollector collector(part->url, charset);
        collector.ScanCss(view(part->bytes), part->url);
        std::lock_guard lock(mutex);
        if (entries.size() > 4096)
            entries.clear();
        entries[part->url] = {part, collector.Resources()};
        return collector.Resources();
    }

private:
    struct Entry
    {
        std::weak_ptr<const TkvCachedPart> part;
        std::vector<TkvFoundResource> refs;
    };
    std::mutex mutex;
    std::unordered_map<QString, Entry> entries;
};

TCssReferenceCache &cssReferences()
{
    static TCssReferenceCache cache;
    return cache;
}

/// Builds one archive: the page, its frames and every resource, each once.
class TArchiveBuilder
{
public:
    TArchiveBuilder(TkvFetcher &fetcher, int flags, const QString &charset)
        : fetcher(fetcher), flags(flags), bodyCharset(charset)
    {}

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
    QSet<QString> claimed;
    std::deque<TWork> work;
    std::vector<TkvMimePart> parts;
    std::unordered_map<QString, TWritten> written; ///< by the address of its first part
    QCryptographicHash digest{QCryptographicHash::Sha1};
    QString title;
};

bool TArchiveBuilder::claim(const QString &url)
{
    if (claimed.contains(url))
        return false;
    claimed.insert(url);
    return true;
}

void TArchiveBuilder::queue(const std::vector<TkvFoundResource> &found, int depth)
{
    for (const TkvFoundResource &resource : found) {
        if (!suppressed(resource.kind, flags))
            work.push_back({resource.url, resource.kind, depth, resource.fragmentUrl});
    }
}

void TArchiveBuilder::addHtml(const QString &url, const TkvFetchResult &result, int depth, bool main)
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

void TArchiveBuilder::addPart(const QString &url, const QByteArray &contentType, TkvTransferEncoding encoding,
                              const QByteArray &body)
{
    parts.push_back(
        {TkvMimeWriter::PartHeaders(contentType, TkvUrl::ToArchiveLocation(url).toUtf8(), encoding), body});
    written.emplace(url, TWritten{contentType, encoding, body});
}

void TArchiveBuilder::addUnderFragment(const QString &url, const QString &fragmentUrl)
{
    // Readers look a part up by the whole address a document uses, fragment included: the same body
    // is written once more under that address (encoded once, shared by both parts).
    const auto it = written.find(url);
    if (it == written.end())
        return; // the resource itself is not in the archive
    digest.addData(fragmentUrl.toUtf8());
    const TWritten &part = it->second;
    parts.push_back({TkvMimeWriter::PartHeaders(part.contentType, TkvUrl::ToArchiveLocation(fragmentUrl).toUtf8(),
                                                part.encoding),
                     part.body});
}

void TArchiveBuilder::addFrame(const TWork &item)
{
    if (item.depth >= kMaxFrameDepth)
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

void TArchiveBuilder::addResource(const TWork &item)
{
    const TkvUrl url = TkvUrl::Parse(item.url);
    if (!url.IsHttp() && !url.IsFile())
        return;
    if (url.IsFile() && !fetcher.Policy().allowFile)
        return; // a page from the web never embeds a local file, cached or not
    TkvResourceCache &cache = TkvResourceCache::Shared();
    std::shared_ptr<const TkvCachedPart> part = cache.Find(item.url);
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
        if (cache.SeenBefore(item.url))
            part = cache.Insert(std::move(fresh));
        else
            part = std::move(fresh); // first use: likely this page's own, not worth a place yet
    }
    // The boundary depends on every part; a part is named by its address and stamp, so a shared
    // resource costs nothing to hash again.
    digest.addData(item.url.toUtf8());
    digest.addData(QByteArray::number(part->bytes.size()) + ' ' + QByteArray::number(part->fileMtimeNs));
    addPart(item.url, part->contentType.toLatin1(), encodingOf(part->contentType), part->Encoded(encodeCachedBody));
    if (TkvContentType::Essence(part->contentType) == QLatin1String("text/css") && !(flags & mhtSuppressStyleSheets))
        queue(cssReferences().Get(part), item.depth);
}

std::vector<QByteArray> TArchiveBuilder::Build(const TkvUrl &pageUrl, const TkvFetchResult &page)
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

} // namespace

const QByteArray &TkvMhtStream::Bytes() const
{
    if (!isJoined) {
        joined.reserve(Size());
        for (const QByteArray &chunk : chunks)
            joined += chunk;
        isJoined = true;
    }
    return joined;
}

qint64 TkvMhtStream::Size() const
{
    qint64 size = 0;
    for (const QByteArray &chunk : chunks)
        size += chunk.size();
    return size;
}

void TkvMhtStream::SaveToFile(const QString &path, int options) const
{
    if (options != 1 && options != 2)
        throw EMhtError(
            QStringLiteral("Cannot write %1: unsupported save options %2 (1 creates, 2 creates or replaces).")
                .arg(quoted(path))
                .arg(options));
    if (chunks.empty())
        throw EMhtError(QStringLiteral("Cannot write %1: no archive was created.").arg(quoted(path)));
    TkvAtomicFile::WriteAll(path, chunks, options == 2);
}

TkvMhtMessage::TkvMhtMessage() = default;
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
    const TkvFetchResult page = fetcher->Fetch(pageUrl.ToString());
    checkPage(pageUrl, page);

    TArchiveBuilder builder(*fetcher, flags & mhtSuppressAll, charset);
    chunks = builder.Build(pageUrl, page);
}

TkvMhtStream TkvMhtMessage::GetStream() const
{
    return TkvMhtStream(chunks);
}
