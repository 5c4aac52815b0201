#include "kvPageLinks.h"

#include "kvCharset.h"
#include "kvHtmlReferenceContext.h"
#include "kvHtmlTokenizer.h"

#include <QSet>

namespace {

bool isAsciiSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

bool equalsIgnoringCase(std::string_view text, std::string_view lower)
{
    if (text.size() != lower.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i] >= 'A' && text[i] <= 'Z' ? char(text[i] - 'A' + 'a') : text[i];
        if (c != lower[i])
            return false;
    }
    return true;
}

/// The attribute of `token` that holds its link, or null when the tag links nowhere.
const TkvHtmlToken::Attribute *linkAttribute(const TkvHtmlToken &token)
{
    const std::string &name = token.name;
    if (name == "a") {
        const TkvHtmlToken::Attribute *href = token.Find("href");
        return href ? href : token.Find("xlink:href");
    }
    if (name == "area")
        return token.Find("href");
    if (name == "frame" || name == "iframe")
        return token.Find("src");
    if (name == "link") {
        const TkvHtmlToken::Attribute *rel = token.Find("rel");
        if (rel && (TkvHtmlReferenceContext::RelHas(rel->value, "next") ||
                    TkvHtmlReferenceContext::RelHas(rel->value, "prev")))
            return token.Find("href");
    }
    return nullptr;
}

bool isRefresh(const TkvHtmlToken &token)
{
    const TkvHtmlToken::Attribute *equiv = token.Find("http-equiv");
    return token.name == "meta" && equiv && equalsIgnoringCase(equiv->value, "refresh");
}

} // namespace

std::string_view TkvPageLinks::RefreshTarget(std::string_view content)
{
    // "<seconds>[.<fraction>] [;,] [url=]<address>", the address optionally quoted.
    size_t at = 0;
    while (at < content.size() && isAsciiSpace(content[at]))
        ++at;
    const size_t digits = at;
    while (at < content.size() && ((content[at] >= '0' && content[at] <= '9') || content[at] == '.'))
        ++at;
    if (at == digits)
        return {};
    while (at < content.size() && (isAsciiSpace(content[at]) || content[at] == ';' || content[at] == ','))
        ++at;
    if (content.size() - at >= 3 && equalsIgnoringCase(content.substr(at, 3), "url")) {
        size_t after = at + 3;
        while (after < content.size() && isAsciiSpace(content[after]))
            ++after;
        if (after < content.size() && content[after] == '=') {
            at = after + 1;
            while (at < content.size() && isAsciiSpace(content[at]))
                ++at;
        }
    }
    std::string_view target = content.substr(at);
    if (!target.empty() && (target.front() == '"' || target.front() == '\'')) {
        const size_t close = target.find(target.front(), 1);
        target = target.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
    }
    while (!target.empty() && isAsciiSpace(target.back()))
        target.remove_suffix(1);
    return target;
}

std::vector<QString> TkvPageLinks::Find(const QString &documentUrl, const QByteArray &body, const QString &contentType)
{
    QString charset = TkvCharset::Detect(body, contentType);
    // The tokenizer reads ASCII-compatible bytes: a UTF-16 page is read in a UTF-8 copy.
    QByteArray scanned = body;
    if (TkvCharset::IsUtf16(charset)) {
        scanned = TkvCharset::Decode(body, charset).toUtf8();
        charset = QStringLiteral("UTF-8");
    }
    TkvHtmlReferenceContext context(documentUrl, charset);
    TkvHtmlTokenizer tokenizer(std::string_view(scanned.constData(), size_t(scanned.size())));
    TkvHtmlToken token;
    std::vector<QString> links;
    QSet<QString> seen;
    while (tokenizer.Next(token)) {
        if (token.kind != TkvHtmlToken::StartTag || context.TakeBase(token))
            continue;
        QString reference;
        if (const TkvHtmlToken::Attribute *attribute = linkAttribute(token))
            reference = context.Decode(attribute->value);
        else if (const TkvHtmlToken::Attribute *content = isRefresh(token) ? token.Find("content") : nullptr)
            reference = context.Decode(RefreshTarget(content->value));
        const QString url = context.Resolve(reference).ToString();
        if (!url.isEmpty() && !seen.contains(url)) {
            seen.insert(url);
            links.push_back(url);
        }
    }
    return links;
}
