#include "kvHtmlReferenceContext.h"

#include "kvCharset.h"
#include "kvHtmlTokenizer.h"
#include "kvUtf8.h"

#include <QByteArray>

#include <algorithm>

TkvHtmlReferenceContext::TkvHtmlReferenceContext(const QString &documentUrl, const QString &charset)
    : documentUrl(documentUrl), charset(charset), base(documentUrl), baseUrl(TkvUrl::Parse(documentUrl))
{}

QString TkvHtmlReferenceContext::Decode(std::string_view value) const
{
    // Character references are already UTF-8; the rest are the document's own bytes. Values that are
    // valid UTF-8 read the same either way, which covers ASCII-only addresses.
    const QByteArray bytes(value.data(), qsizetype(value.size()));
    if (charset.isEmpty() || charset == QLatin1String("UTF-8") || TkvUtf8::IsValid(bytes))
        return QString::fromUtf8(bytes);
    return TkvCharset::Decode(bytes, charset);
}

bool TkvHtmlReferenceContext::TakeBase(const TkvHtmlToken &token)
{
    const TkvHtmlToken::Attribute *href = token.Find("href");
    if (baseSeen || token.kind != TkvHtmlToken::StartTag || token.name != "base" || !href)
        return false;
    baseSeen = true;
    const QString resolved = TkvUrl::Resolve(Decode(href->value), documentUrl, charset);
    if (!resolved.isEmpty()) {
        base = resolved;
        baseUrl = TkvUrl::Parse(resolved);
    }
    return true;
}

TkvUrl TkvHtmlReferenceContext::Resolve(const QString &reference) const
{
    if (reference.trimmed().isEmpty() || TkvUrl::IsLeftAlone(reference))
        return TkvUrl();
    return TkvUrl::Parse(reference, baseUrl, charset);
}

bool TkvHtmlReferenceContext::RelHas(std::string_view rel, std::string_view word)
{
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; };
    size_t at = 0;
    while (at < rel.size()) {
        while (at < rel.size() && isSpace(rel[at]))
            ++at;
        size_t end = at;
        while (end < rel.size() && !isSpace(rel[end]))
            ++end;
        const std::string_view item = rel.substr(at, end - at);
        if (item.size() == word.size() && std::equal(item.begin(), item.end(), word.begin(), [](char a, char b) {
                return (a >= 'A' && a <= 'Z' ? char(a - 'A' + 'a') : a) == b;
            }))
            return true;
        at = end;
    }
    return false;
}
