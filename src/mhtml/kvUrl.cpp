#include "kvUrl.h"

#include "kvCharset.h"
#include "kvFileName.h"
#include "kvUrlHost.h"

#include <QDir>
#include <QStringEncoder>

#include <optional>

// Parsing follows the WHATWG URL Standard's basic URL parser for special schemes; the states are
// folded into a few functions because only absolute special URLs and references against them occur.

namespace {

enum EncodeSet
{
    fragmentSet,
    querySet,
    specialQuerySet,
    pathSet,
    userinfoSet,
    localPathSet
};

bool inSet(unsigned char c, EncodeSet set)
{
    if (c < 0x20 || c > 0x7E)
        return true;
    switch (set) {
    case fragmentSet:
        return c == ' ' || c == '"' || c == '<' || c == '>' || c == '`';
    case querySet:
        return c == ' ' || c == '"' || c == '#' || c == '<' || c == '>';
    case specialQuerySet:
        return c == ' ' || c == '"' || c == '#' || c == '<' || c == '>' || c == '\'';
    case pathSet:
        return c == ' ' || c == '"' || c == '#' || c == '<' || c == '>' || c == '?' || c == '`' || c == '{' || c == '}';
    case userinfoSet:
        return inSet(c, pathSet) || c == '/' || c == ':' || c == ';' || c == '=' || c == '@' ||
               (c >= '[' && c <= '^') || c == '|';
    case localPathSet:
        return inSet(c, pathSet) || c == '%' || c == '\\';
    }
    return false;
}

void appendEncoded(QString &out, const QByteArray &bytes, EncodeSet set)
{
    static const char hex[] = "0123456789ABCDEF";
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (inSet(c, set)) {
            out += QLatin1Char('%');
            out += QLatin1Char(hex[c >> 4]);
            out += QLatin1Char(hex[c & 15]);
        } else {
            out += QLatin1Char(static_cast<char>(c));
        }
    }
}

QString encoded(const QString &text, EncodeSet set)
{
    QString out;
    appendEncoded(out, text.toUtf8(), set);
    return out;
}

bool isSlash(QChar c, bool special)
{
    return c == QLatin1Char('/') || (special && c == QLatin1Char('\\'));
}

int defaultPort(const QString &scheme)
{
    if (scheme == QLatin1String("http") || scheme == QLatin1String("ws"))
        return 80;
    if (scheme == QLatin1String("https") || scheme == QLatin1String("wss"))
        return 443;
    if (scheme == QLatin1String("ftp"))
        return 21;
    return -1;
}

bool isSpecial(const QString &scheme)
{
    return scheme == QLatin1String("file") || defaultPort(scheme) >= 0;
}

bool isSingleDot(const QString &s)
{
    return s == QLatin1String(".") || s.compare(QLatin1String("%2e"), Qt::CaseInsensitive) == 0;
}

bool isDoubleDot(const QString &s)
{
    if (s == QLatin1String(".."))
        return true;
    const QString l = s.toLower();
    return l == QLatin1String(".%2e") || l == QLatin1String("%2e.") || l == QLatin1String("%2e%2e");
}

/// Trims C0 controls and spaces at both ends and removes every tab and newline.
QString cleanInput(const QString &input)
{
    qsizetype begin = 0, end = input.size();
    while (begin < end && input[begin].unicode() <= 0x20)
        ++begin;
    while (end > begin && input[end - 1].unicode() <= 0x20)
        --end;
    QString out;
    out.reserve(end - begin);
    for (qsizetype i = begin; i < end; ++i) {
        const QChar c = input[i];
        if (c != QLatin1Char('\t') && c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            out += c;
    }
    return out;
}

/// The scheme of `s` (lower case) and the index after its ':', or an empty scheme.
QString schemeOf(const QString &s, qsizetype &after)
{
    if (s.isEmpty() || !(s[0].isLetter() && s[0].unicode() < 0x80))
        return {};
    for (qsizetype i = 1; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        if (c == ':') {
            after = i + 1;
            return s.left(i).toLower();
        }
        const bool ok = (c < 0x80 && QChar(c).isLetterOrNumber()) || c == '+' || c == '-' || c == '.';
        if (!ok)
            return {};
    }
    return {};
}

/// Appends the query `text` to `out`, encoded in `charset` and percent-encoded; characters the
/// charset lacks become %26%23NNN%3B as the standard prescribes.
void appendQuery(QString &out, const QString &text, const QString &charset, bool special)
{
    const EncodeSet set = special ? specialQuerySet : querySet;
    QString name = charset.isEmpty() ? QString() : TkvCharset::Normalize(charset);
    if (name.isEmpty() || name == QLatin1String("UTF-8") || TkvCharset::IsUtf16(name)) {
        appendEncoded(out, text.toUtf8(), set);
        return;
    }
    QStringEncoder encoder(name.toLatin1().constData());
    if (!encoder.isValid()) {
        appendEncoded(out, text.toUtf8(), set);
        return;
    }
    QByteArray whole = encoder.encode(text);
    if (!encoder.hasError()) {
        appendEncoded(out, whole, set);
        return;
    }
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString one = text.mid(i, length);
        QStringEncoder single(name.toLatin1().constData());
        const QByteArray bytes = single.encode(one);
        if (single.hasError())
            out += QStringLiteral("%26%23") + QString::number(one.toUcs4().value(0)) + QStringLiteral("%3B");
        else
            appendEncoded(out, bytes, set);
        i += length;
    }
}

} // namespace

/// The parser proper; a friend of TkvUrl so it can fill the fields.
class TkvUrlParser
{
public:
    static TkvUrl parse(const QString &raw, const TkvUrl &base, const QString &charset)
    {
        const QString s = cleanInput(raw);
        TkvUrl url;
        qsizetype p = 0;
        QString scheme = schemeOf(s, p);
        if (!scheme.isEmpty() && !isSpecial(scheme)) {
            url.leftAlone = true;
            return url;
        }
        if (scheme.isEmpty()) {
            if (s.isEmpty() || s.startsWith(QLatin1Char('#')) || !base.valid) {
                url.leftAlone = s.isEmpty() || s.startsWith(QLatin1Char('#'));
                return url;
            }
            scheme = base.scheme;
            p = 0;
        }
        url.scheme = scheme;
        const QString rest = s.mid(p);
        const bool sameAsBase = base.valid && base.scheme == scheme;
        bool ok = scheme == QLatin1String("file") ? parseFile(url, rest, sameAsBase ? &base : nullptr, charset)
                                                  : parseSpecial(url, rest, sameAsBase ? &base : nullptr, charset);
        url.valid = ok;
        return ok ? url : TkvUrl();
    }

private:
    static bool parseSpecial(TkvUrl &url, const QString &rest, const TkvUrl *base, const QString &charset)
    {
        const bool twoSlashes = rest.size() >= 2 && isSlash(rest[0], true) && isSlash(rest[1], true);
        if (!base || twoSlashes) {
            qsizetype i = 0;
            while (i < rest.size() && isSlash(rest[i], true))
                ++i;
            return parseAuthority(url, rest, i) && parseTail(url, rest, i, nullptr, charset);
        }
        copyAuthority(url, *base);
        return parseTail(url, rest, 0, base, charset);
    }

    static bool parseFile(TkvUrl &url, const QString &rest, const TkvUrl *base, const QString &charset)
    {
        url.host = QStringLiteral("");
        const bool twoSlashes = rest.size() >= 2 && isSlash(rest[0], true) && isSlash(rest[1], true);
        if (twoSlashes) {
            qsizetype end = 2;
            while (end < rest.size() && !isSlash(rest[end], true) && rest[end] != QLatin1Char('?') &&
                   rest[end] != QLatin1Char('#'))
                ++end;
            const QString hostText = rest.mid(2, end - 2);
            if (!hostText.isEmpty()) {
                const auto host = TkvUrlHost::Parse(hostText);
                if (!host)
                    return false;
                url.host = *host == QLatin1String("localhost") ? QStringLiteral("") : *host;
            }
            return parseTail(url, rest, end, nullptr, charset);
        }
        if (base)
            url.host = base->host;
        return parseTail(url, rest, 0, base, charset);
    }

    static bool parseAuthority(TkvUrl &url, const QString &s, qsizetype &i)
    {
        qsizetype end = i;
        while (end < s.size() && !isSlash(s[end], true) && s[end] != QLatin1Char('?') && s[end] != QLatin1Char('#'))
            ++end;
        QString authority = s.mid(i, end - i);
        i = end;
        const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
        if (at >= 0) {
            const QString userinfo = authority.left(at);
            const qsizetype colon = userinfo.indexOf(QLatin1Char(':'));
            url.username = encoded(colon >= 0 ? userinfo.left(colon) : userinfo, userinfoSet);
            if (colon >= 0)
                url.password = encoded(userinfo.mid(colon + 1), userinfoSet);
            authority = authority.mid(at + 1);
        }
        qsizetype colon = -1;
        bool inBrackets = false;
        for (qsizetype k = 0; k < authority.size(); ++k) {
            if (authority[k] == QLatin1Char('['))
                inBrackets = true;
            else if (authority[k] == QLatin1Char(']'))
                inBrackets = false;
            else if (authority[k] == QLatin1Char(':') && !inBrackets) {
                colon = k;
                break;
            }
        }
        const QString hostText = colon >= 0 ? authority.left(colon) : authority;
        if (hostText.isEmpty())
            return false;
        const auto host = TkvUrlHost::Parse(hostText);
        if (!host)
            return false;
        url.host = *host;
        url.port = -1;
        if (colon >= 0) {
            const QString portText = authority.mid(colon + 1);
            if (!portText.isEmpty()) {
                qint64 port = 0;
                for (QChar c : portText) {
                    if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                        return false;
                    port = port * 10 + (c.unicode() - '0');
                    if (port > 65535)
                        return false;
                }
                url.port = port == defaultPort(url.scheme) ? -1 : int(port);
            }
        }
        return true;
    }

    static void copyAuthority(TkvUrl &url, const TkvUrl &base)
    {
        url.username = base.username;
        url.password = base.password;
        url.host = base.host;
        url.port = base.port;
    }

    /// Path, query and fragment from s[i...]. With `base`, a relative path is resolved against the
    /// base path, and an empty path keeps the base path (and its query when nothing follows).
    static bool parseTail(TkvUrl &url, const QString &s, qsizetype i, const TkvUrl *base, const QString &charset)
    {
        qsizetype end = i;
        while (end < s.size() && s[end] != QLatin1Char('?') && s[end] != QLatin1Char('#'))
            ++end;
        const QString pathText = s.mid(i, end - i);
        QStringList segments;
        if (base && pathText.isEmpty()) {
            url.path = base->path;
            if (end >= s.size())
                url.query = base->query;
        } else {
            if (base && !isSlash(pathText[0], true)) {
                segments = base->path.mid(1).split(QLatin1Char('/'));
                segments.removeLast();
            }
            qsizetype k = !pathText.isEmpty() && isSlash(pathText[0], true) ? 1 : 0;
            while (true) {
                qsizetype next = k;
                while (next < pathText.size() && !isSlash(pathText[next], true))
                    ++next;
                const QString segment = pathText.mid(k, next - k);
                const bool last = next >= pathText.size();
                if (isDoubleDot(segment)) {
                    if (!segments.isEmpty())
                        segments.removeLast();
                    if (last)
                        segments.append(QString());
                } else if (isSingleDot(segment)) {
                    if (last)
                        segments.append(QString());
                } else {
                    segments.append(encoded(segment, pathSet));
                }
                if (last)
                    break;
                k = next + 1;
            }
            url.path = QLatin1Char('/') + segments.join(QLatin1Char('/'));
        }
        if (end < s.size() && s[end] == QLatin1Char('?')) {
            qsizetype hash = s.indexOf(QLatin1Char('#'), end);
            if (hash < 0)
                hash = s.size();
            url.query = QStringLiteral("");
            appendQuery(url.query, s.mid(end + 1, hash - end - 1), charset, true);
            end = hash;
        }
        if (end < s.size() && s[end] == QLatin1Char('#')) {
            url.fragment = encoded(s.mid(end + 1), fragmentSet);
            if (url.fragment.isNull())
                url.fragment = QStringLiteral("");
        }
        return true;
    }
};

TkvUrl TkvUrl::Parse(const QString &input, const TkvUrl &base, const QString &charset)
{
    return TkvUrlParser::parse(input, base, charset);
}

TkvUrl TkvUrl::Parse(const QString &input)
{
    return TkvUrlParser::parse(input, TkvUrl(), QString());
}

QString TkvUrl::Resolve(const QString &reference, const QString &base, const QString &charset)
{
    return Parse(reference, Parse(base), charset).ToString();
}

bool TkvUrl::IsLeftAlone(const QString &reference)
{
    const QString s = cleanInput(reference);
    if (s.isEmpty() || s.startsWith(QLatin1Char('#')))
        return true;
    qsizetype after = 0;
    const QString scheme = schemeOf(s, after);
    return !scheme.isEmpty() && !isSpecial(scheme);
}

QString TkvUrl::ToString(bool withFragment) const
{
    if (!valid)
        return {};
    QString out = scheme + QLatin1Char(':');
    if (!host.isNull()) {
        out += QLatin1String("//");
        if (!username.isEmpty() || !password.isEmpty()) {
            out += username;
            if (!password.isEmpty())
                out += QLatin1Char(':') + password;
            out += QLatin1Char('@');
        }
        out += host;
        if (port >= 0)
            out += QLatin1Char(':') + QString::number(port);
    }
    out += path;
    if (!query.isNull())
        out += QLatin1Char('?') + query;
    if (withFragment && !fragment.isNull())
        out += QLatin1Char('#') + fragment;
    return out;
}

QString TkvUrl::FromLocalPath(const QString &path)
{
    if (path.startsWith(QLatin1String("http:"), Qt::CaseInsensitive) ||
        path.startsWith(QLatin1String("https:"), Qt::CaseInsensitive))
        return path;
    const QString absolute = QDir::isAbsolutePath(path) ? path : QDir::current().absoluteFilePath(path);
    QString url = QStringLiteral("file://");
    appendEncoded(url, TkvFileName::Encode(absolute), localPathSet);
    const TkvUrl parsed = Parse(url);
    return parsed.valid ? parsed.ToString() : url;
}

QString TkvUrl::ToLocalPath(const QString &url)
{
    const TkvUrl parsed = Parse(url);
    if (!parsed.IsFile() || !parsed.host.isEmpty())
        return {};
    return TkvFileName::FromPercentEncoding(parsed.path);
}

QString TkvUrl::ArchiveHost()
{
    return QStringLiteral("file.invalid");
}

QString TkvUrl::ToArchiveLocation(const QString &url)
{
    TkvUrl parsed = Parse(url);
    if (!parsed.IsFile() || !parsed.host.isEmpty())
        return url; // a file on another host is not a local file: there is nothing to map it to
    parsed.scheme = QStringLiteral("http");
    parsed.host = ArchiveHost();
    return parsed.ToString(true);
}

QString TkvUrl::FromArchiveLocation(const QString &location)
{
    TkvUrl parsed = Parse(location);
    if (parsed.scheme != QLatin1String("http") || parsed.host != ArchiveHost() || parsed.port != -1 ||
        !parsed.username.isEmpty() || !parsed.password.isEmpty())
        return location;
    parsed.scheme = QStringLiteral("file");
    parsed.host = QStringLiteral("");
    return parsed.ToString(true);
}
