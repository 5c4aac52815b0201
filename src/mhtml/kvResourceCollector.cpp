#include "kvResourceCollector.h"

#include "kvCharset.h"
#include "kvCssScanner.h"
#include "kvHtmlEntities.h"
#include "kvHtmlTokenizer.h"
#include "kvSrcset.h"
#include "kvUrl.h"
#include "kvUtf8.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <unordered_set>

namespace {

/// True for the element names ScanHtml acts on, so that every other tag (most of a page) costs one
/// lookup instead of a chain of comparisons.
bool isScannedElement(std::string_view name)
{
    static const std::unordered_set<std::string_view> names{
        "base",   "img",    "source",  "picture", "video",  "audio", "track",   "input",
        "link",   "script", "body",    "table",   "td",     "th",    "bgsound", "embed",
        "object", "image",  "feimage", "use",     "iframe", "frame", "style",   "title"};
    return names.count(name) != 0;
}

constexpr size_t kNotInDocument = SIZE_MAX;

bool startsWithFileScheme(const QString &reference)
{
    const QString t = reference.trimmed();
    return t.startsWith(QLatin1String("file:"), Qt::CaseInsensitive);
}

// Text that may stand in any attribute value, quoted or not: a canonical URL has no white space and
// no '<', '>' or '"'; the characters that could end or change a value are written as references.
std::string attributeText(const QString &url)
{
    std::string out;
    for (char c : url.toStdString()) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

bool relHas(const std::string &rel, std::string_view word)
{
    // rel is a set of space-separated tokens, compared without regard to ASCII case.
    size_t i = 0;
    while (i < rel.size()) {
        while (i < rel.size() && std::isspace(static_cast<unsigned char>(rel[i])))
            ++i;
        size_t j = i;
        while (j < rel.size() && !std::isspace(static_cast<unsigned char>(rel[j])))
            ++j;
        if (j - i == word.size()) {
            bool same = true;
            for (size_t k = 0; k < word.size() && same; ++k)
                same = std::tolower(static_cast<unsigned char>(rel[i + k])) == word[k];
            if (same)
                return true;
        }
        i = j;
    }
    return false;
}

QString collapseWhiteSpace(const QString &text)
{
    return text.simplified();
}

} // namespace

TkvResourceCollector::TkvResourceCollector(const QString &documentUrl, const QString &charset)
    : documentUrl(documentUrl), charset(charset), local(TkvUrl::Parse(documentUrl).IsFile()), base(documentUrl)
{}

QString TkvResourceCollector::decode(std::string_view value) const
{
    // Attribute values are the document's bytes with references decoded to UTF-8; for the usual
    // UTF-8 and ASCII-only values both readings agree.
    const QByteArray bytes(value.data(), qsizetype(value.size()));
    if (charset.isEmpty() || charset == QLatin1String("UTF-8") || TkvUtf8::IsValid(bytes))
        return QString::fromUtf8(bytes);
    return TkvCharset::Decode(bytes, charset);
}

void TkvResourceCollector::add(const QString &reference, const QString &baseUrl, TkvResourceKind kind)
{
    if (reference.trimmed().isEmpty() || TkvUrl::IsLeftAlone(reference))
        return;
    const TkvUrl resolved = TkvUrl::Parse(reference, TkvUrl::Parse(baseUrl), charset);
    const QString url = resolved.ToString();
    if (url.isEmpty())
        return;
    // A URL is listed once; each further fragment it is used with once more (no '#' is left in a
    // canonical URL without its fragment, so the two kinds of address never meet in `seen`).
    const QString fragmentUrl = resolved.Fragment().isNull() ? QString() : resolved.ToString(true);
    if (seen.contains(fragmentUrl.isEmpty() ? url : fragmentUrl))
        return;
    seen.insert(url);
    if (!fragmentUrl.isEmpty())
        seen.insert(fragmentUrl);
    found.push_back({url, kind, fragmentUrl});
}

void TkvResourceCollector::addSrcset(const std::string &value, TkvResourceKind kind)
{
    for (const TkvSrcsetCandidate &candidate : ParseSrcset(value))
        add(decode(candidate.url), base, kind);
}

void TkvResourceCollector::rewriteFileReference(const QString &reference, size_t begin, size_t end)
{
    if (!local || begin == end || !startsWithFileScheme(reference))
        return;
    const QString url = TkvUrl::Parse(reference, TkvUrl::Parse(base), charset).ToString(true);
    if (!url.isEmpty())
        edits.push_back({begin, end, attributeText(TkvUrl::ToArchiveLocation(url))});
}

void TkvResourceCollector::ScanCss(std::string_view css, const QString &baseUrl)
{
    scanCss(css, baseUrl, kNotInDocument);
}

void TkvResourceCollector::scanCss(std::string_view css, const QString &baseUrl, size_t offset)
{
    // Declaration lists and style sheets tokenize alike; `offset` (unless kNotInDocument) is where
    // `css` starts in the document, so an absolute file: url() can be rewritten in place.
    for (const TkvCssReference &ref : ::ScanCss(css)) {
        const QString reference = decode(ref.url);
        add(reference, baseUrl,
            ref.kind == TkvCssReference::Import ? TkvResourceKind::StyleSheet : TkvResourceKind::CssUrl);
        if (offset != kNotInDocument && ref.url == css.substr(ref.begin, ref.end - ref.begin))
            rewriteFileReference(reference, offset + ref.begin, offset + ref.end);
    }
}

void TkvResourceCollector::ScanHtml(std::string_view html)
{
    TkvHtmlTokenizer tokenizer(html);
    TkvHtmlToken token;
    enum class Raw
    {
        None,
        Style,
        Title
    } raw = Raw::None;
    bool titleDone = false;
    std::string titleText;
    // The element a <source> or <track> belongs to decides its kind; the innermost one counts.
    std::vector<std::string> media;

    auto attributeOf = [&](std::string_view name) { return token.Find(name); };
    auto single = [&](std::string_view name, TkvResourceKind kind) {
        if (const TkvHtmlToken::Attribute *a = attributeOf(name)) {
            const QString reference = decode(a->value);
            add(reference, base, kind);
            rewriteFileReference(reference, a->valueBegin, a->valueEnd);
        }
    };
    auto mediaKind = [&]() {
        if (media.empty())
            return TkvResourceKind::Object;
        if (media.back() == "picture")
            return TkvResourceKind::Image;
        if (media.back() == "audio")
            return TkvResourceKind::Sound;
        return TkvResourceKind::Object;
    };

    while (tokenizer.Next(token)) {
        if (token.kind == TkvHtmlToken::Text) {
            if (raw == Raw::Style)
                scanCss(token.text, base, size_t(token.text.data() - html.data()));
            else if (raw == Raw::Title && !titleDone)
                titleText.append(token.text);
            continue;
        }
        if (token.kind != TkvHtmlToken::StartTag && token.kind != TkvHtmlToken::EndTag)
            continue;
        const bool scanned = isScannedElement(token.name);
        if (token.kind == TkvHtmlToken::EndTag) {
            if (!scanned)
                continue;
            if (token.name == "style" && raw == Raw::Style)
                raw = Raw::None;
            else if (token.name == "title" && raw == Raw::Title) {
                raw = Raw::None;
                titleDone = true;
            } else if ((token.name == "picture" || token.name == "video" || token.name == "audio") && !media.empty()) {
                for (size_t i = media.size(); i-- > 0;) {
                    if (media[i] == token.name) {
                        media.resize(i);
                        break;
                    }
                }
            }
            continue;
        }
        if (token.kind != TkvHtmlToken::StartTag)
            continue;

        const std::string &name = token.name;
        if (const TkvHtmlToken::Attribute *style = attributeOf("style"))
            ScanCss(style->value, base);
        if (!scanned)
            continue;

        if (name == "base") {
            const TkvHtmlToken::Attribute *href = attributeOf("href");
            if (href && !baseSeen) {
                baseSeen = true;
                const QString resolved = TkvUrl::Resolve(decode(href->value), documentUrl, charset);
                if (!resolved.isEmpty()) {
                    base = resolved;
                    if (href->valueBegin != href->valueEnd) {
                        const QString stored = local ? TkvUrl::ToArchiveLocation(resolved) : resolved;
                        edits.push_back({href->valueBegin, href->valueEnd, attributeText(stored)});
                    }
                }
            }
        } else if (name == "img") {
            single("src", TkvResourceKind::Image);
            if (const TkvHtmlToken::Attribute *a = attributeOf("srcset"))
                addSrcset(a->value, TkvResourceKind::Image);
        } else if (name == "source") {
            const TkvResourceKind kind = mediaKind();
            single("src", kind);
            if (const TkvHtmlToken::Attribute *a = attributeOf("srcset"))
                addSrcset(a->value, kind);
        } else if (name == "picture" || name == "video" || name == "audio") {
            if (!token.selfClosing)
                media.push_back(name);
            if (name == "video") {
                single("poster", TkvResourceKind::Image);
                single("src", TkvResourceKind::Object);
            } else if (name == "audio") {
                single("src", TkvResourceKind::Sound);
            }
        } else if (name == "track") {
            single("src", mediaKind());
        } else if (name == "input") {
            const TkvHtmlToken::Attribute *type = attributeOf("type");
            if (type &&
                QString::fromUtf8(type->value).trimmed().compare(QLatin1String("image"), Qt::CaseInsensitive) == 0)
                single("src", TkvResourceKind::Image);
        } else if (name == "link") {
            const TkvHtmlToken::Attribute *rel = attributeOf("rel");
            if (rel) {
                if (relHas(rel->value, "stylesheet"))
                    single("href", TkvResourceKind::StyleSheet);
                else if (relHas(rel->value, "icon") || relHas(rel->value, "apple-touch-icon") ||
                         relHas(rel->value, "apple-touch-icon-precomposed"))
                    single("href", TkvResourceKind::Image);
            }
        } else if (name == "script") {
            single("src", TkvResourceKind::Script);
        } else if (name == "body" || name == "table" || name == "td" || name == "th") {
            single("background", TkvResourceKind::Image);
        } else if (name == "bgsound") {
            single("src", TkvResourceKind::Sound);
        } else if (name == "embed") {
            single("src", TkvResourceKind::Object);
        } else if (name == "object") {
            single("data", TkvResourceKind::Object);
        } else if (name == "image" || name == "feimage" || name == "use") {
            // SVG: href wins over the older xlink:href when both are present.
            if (attributeOf("href"))
                single("href", TkvResourceKind::Image);
            else
                single("xlink:href", TkvResourceKind::Image);
        } else if (name == "iframe" || name == "frame") {
            single("src", TkvResourceKind::Frame);
        } else if (name == "style") {
            if (!token.selfClosing)
                raw = Raw::Style;
        } else if (name == "title") {
            if (!titleDone && !tokenizer.InForeignContent() && !token.selfClosing)
                raw = Raw::Title;
        }
    }
    std::sort(edits.begin(), edits.end(), [](const TkvPageEdit &a, const TkvPageEdit &b) { return a.begin < b.begin; });
    if (!titleText.empty())
        title = collapseWhiteSpace(decode(TkvHtmlEntities::Decode(titleText, false)));
}

std::string TkvResourceCollector::ApplyEdits(std::string_view bytes, const std::vector<TkvPageEdit> &edits)
{
    std::string out;
    out.reserve(bytes.size() + edits.size() * 32);
    size_t at = 0;
    for (const TkvPageEdit &edit : edits) {
        out.append(bytes.substr(at, edit.begin - at));
        out.append(edit.text);
        at = edit.end;
    }
    out.append(bytes.substr(at));
    return out;
}
