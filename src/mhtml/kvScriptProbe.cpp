#include "kvScriptProbe.h"

#include "kvCharset.h"
#include "kvContentType.h"
#include "kvHtmlTokenizer.h"
#include "kvMhtError.h"
#include "kvResourceCollector.h"
#include "kvUrl.h"

#include <QSet>

#include <deque>

namespace {

constexpr int kMaxFrameDepth = 5;

bool startsWithJavascript(std::string_view value)
{
    // As a URL is read: leading spaces and controls skipped, the scheme in any case.
    size_t at = 0;
    while (at < value.size() && static_cast<unsigned char>(value[at]) <= 0x20)
        ++at;
    constexpr std::string_view scheme = "javascript:";
    if (value.size() - at < scheme.size())
        return false;
    for (size_t i = 0; i < scheme.size(); ++i) {
        const char c = value[at + i];
        if ((c >= 'A' && c <= 'Z' ? char(c + 32) : c) != scheme[i])
            return false;
    }
    return true;
}

bool isHtml(const QString &url, const TkvFetchResult &result)
{
    const QString essence = TkvContentType::Essence(result.contentType);
    const QString type = essence.isEmpty() ? TkvContentType::Guess(TkvUrl::Parse(url).Path(), result.body) : essence;
    return type == QLatin1String("text/html") || type == QLatin1String("application/xhtml+xml");
}

} // namespace

bool TkvScriptProbe::HasScript(std::string_view html)
{
    TkvHtmlTokenizer tokenizer(html);
    TkvHtmlToken token;
    while (tokenizer.Next(token)) {
        if (token.kind != TkvHtmlToken::StartTag)
            continue;
        if (token.name == "script")
            return true;
        for (const TkvHtmlToken::Attribute &attribute : token.attributes) {
            if (attribute.name.size() > 2 && attribute.name.compare(0, 2, "on") == 0)
                return true;
        }
        if (token.name == "iframe" || token.name == "frame") {
            const TkvHtmlToken::Attribute *source = token.Find("src");
            if (source && startsWithJavascript(source->value))
                return true;
        }
    }
    return false;
}

TkvScriptProbeResult TkvScriptProbe::Probe(TkvFetcher &fetcher, const QString &pageUrl)
{
    struct TDocument
    {
        QString url;
        int depth;
    };
    TkvScriptProbeResult result;
    QSet<QString> seen{pageUrl};
    std::deque<TDocument> queue{{pageUrl, 0}};
    while (!queue.empty() && !result.hasScript) {
        const TDocument document = queue.front();
        queue.pop_front();
        TkvFetchResult fetched;
        if (document.depth == 0) {
            fetched = fetcher.Fetch(document.url);
        } else {
            try {
                fetched = fetcher.Fetch(document.url);
            } catch (const EMhtError &) {
                continue;
            }
            if (!isHtml(document.url, fetched))
                continue;
        }
        // The tokenizer reads ASCII-compatible bytes: a UTF-16 document is read in a UTF-8 copy.
        const QString charset = TkvCharset::Detect(fetched.body, fetched.contentType);
        const bool utf16 = TkvCharset::IsUtf16(charset);
        const QByteArray scanned = utf16 ? TkvCharset::Decode(fetched.body, charset).toUtf8() : fetched.body;
        const std::string_view bytes(scanned.constData(), size_t(scanned.size()));
        result.hasScript = HasScript(bytes);
        const QString base = fetched.finalUrl.isEmpty() ? document.url : fetched.finalUrl;
        result.documents.emplace_back(document.url, std::move(fetched));
        if (result.hasScript || document.depth >= kMaxFrameDepth)
            continue;
        TkvResourceCollector collector(base, utf16 ? QStringLiteral("UTF-8") : charset);
        collector.ScanHtml(bytes);
        for (const TkvFoundResource &resource : collector.Resources()) {
            if (resource.kind == TkvResourceKind::Frame && !seen.contains(resource.url)) {
                seen.insert(resource.url);
                queue.push_back({resource.url, document.depth + 1});
            }
        }
    }
    return result;
}
