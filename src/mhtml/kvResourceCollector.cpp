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
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>

namespace {

using Kind = TkvResourceKind;

/// When a row of the reference table applies to a start tag.
enum class TWhen
{
    Always,
    TypeIsImage,   ///< <input type=image>
    RelStyleSheet, ///< <link rel=stylesheet>
    RelIcon,       ///< <link rel=icon, shortcut icon, apple-touch-icon ...> that is not a style sheet
    WithoutHref,   ///< SVG: xlink:href counts only when there is no href
};

/// One attribute of one element that names a resource.
struct TReferenceRule
{
    std::string_view element;
    std::string_view attribute;
    std::optional<Kind> kind; ///< none: the kind of the picture, audio or video element around it
    bool srcset;              ///< the value is a list of srcset candidates
    TWhen when;
};

/// The table ScanHtml reads start tags by. The rows of an element stand together, in the order its
/// references are listed.
constexpr TReferenceRule referenceRules[] = {
    {"img", "src", Kind::Image, false, TWhen::Always},
    {"img", "srcset", Kind::Image, true, TWhen::Always},
    {"source", "src", std::nullopt, false, TWhen::Always},
    {"source", "srcset", std::nullopt, true, TWhen::Always},
    {"video", "poster", Kind::Image, false, TWhen::Always},
    {"video", "src", Kind::Object, false, TWhen::Always},
    {"audio", "src", Kind::Sound, false, TWhen::Always},
    {"track", "src", std::nullopt, false, TWhen::Always},
    {"input", "src", Kind::Image, false, TWhen::TypeIsImage},
    {"link", "href", Kind::StyleSheet, false, TWhen::RelStyleSheet},
    {"link", "href", Kind::Image, false, TWhen::RelIcon},
    {"script", "src", Kind::Script, false, TWhen::Always},
    {"body", "background", Kind::Image, false, TWhen::Always},
    {"table", "background", Kind::Image, false, TWhen::Always},
    {"td", "background", Kind::Image, false, TWhen::Always},
    {"th", "background", Kind::Image, false, TWhen::Always},
    {"bgsound", "src", Kind::Sound, false, TWhen::Always},
    {"embed", "src", Kind::Object, false, TWhen::Always},
    {"object", "data", Kind::Object, false, TWhen::Always},
    {"image", "href", Kind::Image, false, TWhen::Always},
    {"image", "xlink:href", Kind::Image, false, TWhen::WithoutHref},
    {"feimage", "href", Kind::Image, false, TWhen::Always},
    {"feimage", "xlink:href", Kind::Image, false, TWhen::WithoutHref},
    {"use", "href", Kind::Image, false, TWhen::Always},
    {"use", "xlink:href", Kind::Image, false, TWhen::WithoutHref},
    {"iframe", "src", Kind::Frame, false, TWhen::Always},
    {"frame", "src", Kind::Frame, false, TWhen::Always},
};

/// Elements ScanHtml acts on beyond the table: the base address, the media elements that decide the
/// kind of their sources, and the raw text of style sheets and of the title.
constexpr std::string_view specialElements[] = {"base", "picture", "video", "audio", "style", "title"};

/// The table's rows for `element` (empty for other elements); `scanned` tells whether ScanHtml acts
/// on the element at all, so that every other tag (most of a page) costs one lookup.
std::span<const TReferenceRule> rulesOf(std::string_view element, bool &scanned)
{
    static const auto index = [] {
        std::unordered_map<std::string_view, std::span<const TReferenceRule>> byElement;
        for (const TReferenceRule &rule : referenceRules) {
            std::span<const TReferenceRule> &rows = byElement[rule.element];
            rows = rows.empty() ? std::span<const TReferenceRule>(&rule, 1)
                                : std::span<const TReferenceRule>(rows.data(), rows.size() + 1);
        }
        for (std::string_view element : specialElements)
            byElement.try_emplace(element);
        return byElement;
    }();
    const auto it = index.find(element);
    scanned = it != index.end();
    return scanned ? it->second : std::span<const TReferenceRule>();
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

/// Whether `rule` applies to the start tag `token`.
bool applies(const TReferenceRule &rule, const TkvHtmlToken &token)
{
    const auto rel = [&](std::string_view word) {
        const TkvHtmlToken::Attribute *a = token.Find("rel");
        return a && relHas(a->value, word);
    };
    switch (rule.when) {
    case TWhen::Always:
        return true;
    case TWhen::TypeIsImage: {
        const TkvHtmlToken::Attribute *type = token.Find("type");
        return type &&
               QString::fromUtf8(type->value).trimmed().compare(QLatin1String("image"), Qt::CaseInsensitive) == 0;
    }
    case TWhen::RelStyleSheet:
        return rel("stylesheet");
    case TWhen::RelIcon:
        return !rel("stylesheet") && (rel("icon") || rel("apple-touch-icon") || rel("apple-touch-icon-precomposed"));
    case TWhen::WithoutHref:
        return !token.Find("href");
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
    TScan scan;
    while (tokenizer.Next(token)) {
        switch (token.kind) {
        case TkvHtmlToken::Text:
            if (scan.raw == TScan::Raw::Style)
                scanCss(token.text, base, size_t(token.text.data() - html.data()));
            else if (scan.raw == TScan::Raw::Title && !scan.titleDone)
                scan.titleText.append(token.text);
            break;
        case TkvHtmlToken::StartTag:
            startTag(token, tokenizer.InForeignContent(), scan);
            break;
        case TkvHtmlToken::EndTag:
            endTag(token, scan);
            break;
        default:
            break;
        }
    }
    std::sort(edits.begin(), edits.end(), [](const TkvPageEdit &a, const TkvPageEdit &b) { return a.begin < b.begin; });
    if (!scan.titleText.empty())
        title = collapseWhiteSpace(decode(TkvHtmlEntities::Decode(scan.titleText, false)));
}

void TkvResourceCollector::startTag(const TkvHtmlToken &token, bool inForeignContent, TScan &scan)
{
    if (const TkvHtmlToken::Attribute *style = token.Find("style"))
        ScanCss(style->value, base);
    bool scanned = false;
    const std::span<const TReferenceRule> rules = rulesOf(token.name, scanned);
    if (!scanned)
        return;
    const std::string &name = token.name;
    if (name == "base") {
        setBase(token);
    } else if (name == "picture" || name == "video" || name == "audio") {
        if (!token.selfClosing)
            scan.media.push_back(name);
    } else if (name == "style") {
        if (!token.selfClosing)
            scan.raw = TScan::Raw::Style;
    } else if (name == "title") {
        if (!scan.titleDone && !inForeignContent && !token.selfClosing)
            scan.raw = TScan::Raw::Title;
    }
    for (const TReferenceRule &rule : rules) {
        const TkvHtmlToken::Attribute *value = token.Find(rule.attribute);
        if (!value || !applies(rule, token))
            continue;
        const TkvResourceKind kind = rule.kind ? *rule.kind : scan.MediaKind();
        if (rule.srcset) {
            addSrcset(value->value, kind);
        } else {
            const QString reference = decode(value->value);
            add(reference, base, kind);
            rewriteFileReference(reference, value->valueBegin, value->valueEnd);
        }
    }
}

void TkvResourceCollector::endTag(const TkvHtmlToken &token, TScan &scan)
{
    const std::string &name = token.name;
    if (name == "style" && scan.raw == TScan::Raw::Style) {
        scan.raw = TScan::Raw::None;
    } else if (name == "title" && scan.raw == TScan::Raw::Title) {
        scan.raw = TScan::Raw::None;
        scan.titleDone = true;
    } else if (name == "picture" || name == "video" || name == "audio") {
        // The innermost open element of that name closes, with any inside it.
        for (size_t i = scan.media.size(); i-- > 0;) {
            if (scan.media[i] == name) {
                scan.media.resize(i);
                break;
            }
        }
    }
}

void TkvResourceCollector::setBase(const TkvHtmlToken &token)
{
    const TkvHtmlToken::Attribute *href = token.Find("href");
    if (!href || baseSeen)
        return;
    baseSeen = true;
    const QString resolved = TkvUrl::Resolve(decode(href->value), documentUrl, charset);
    if (resolved.isEmpty())
        return;
    base = resolved;
    if (href->valueBegin != href->valueEnd) {
        const QString stored = local ? TkvUrl::ToArchiveLocation(resolved) : resolved;
        edits.push_back({href->valueBegin, href->valueEnd, attributeText(stored)});
    }
}

TkvResourceKind TkvResourceCollector::TScan::MediaKind() const
{
    if (media.empty())
        return TkvResourceKind::Object;
    if (media.back() == "picture")
        return TkvResourceKind::Image;
    if (media.back() == "audio")
        return TkvResourceKind::Sound;
    return TkvResourceKind::Object;
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
