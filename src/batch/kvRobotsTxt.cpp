#include "kvRobotsTxt.h"

#include "kvProductValues.h"

#include <QList>

#include <algorithm>
#include <cctype>
#include <cmath>

namespace {

bool isUnreserved(unsigned char c)
{
    return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

void appendEscape(QByteArray &out, unsigned char c)
{
    static const char digits[] = "0123456789ABCDEF";
    out += '%';
    out += digits[c >> 4];
    out += digits[c & 15];
}

/// The product token of a User-agent value: "Web2Arc/2.0 (+info)" gives "web2arc".
QByteArray productToken(const QByteArray &value)
{
    qsizetype end = 0;
    while (end < value.size() && value[end] != '/' && !std::isspace(static_cast<unsigned char>(value[end])))
        ++end;
    return value.left(end).toLower();
}

/// One group of the file while it is read: who it names and what it says.
struct TGroup
{
    QList<QByteArray> agents;
    QList<QPair<bool, QByteArray>> rules; ///< allow?, path as written
    double crawlDelay = -1;
};

QList<TGroup> readGroups(const QByteArray &text)
{
    QList<TGroup> groups;
    bool lastWasAgent = false;
    QByteArray body = text.left(TkvRobotsTxt::MaxBytes);
    if (body.startsWith("\xEF\xBB\xBF"))
        body.remove(0, 3);
    body.replace("\r\n", "\n");
    body.replace('\r', '\n');
    for (QByteArray line : body.split('\n')) {
        const qsizetype hash = line.indexOf('#');
        if (hash >= 0)
            line.truncate(hash);
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray key = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (key == "user-agent") {
            if (!lastWasAgent || groups.isEmpty())
                groups.append(TGroup());
            groups.last().agents.append(productToken(value));
            lastWasAgent = true;
            continue;
        }
        if (key != "allow" && key != "disallow" && key != "crawl-delay")
            continue; // sitemap, host, unknown keys: not part of a group's rules
        lastWasAgent = false;
        if (groups.isEmpty())
            continue; // a rule before any User-agent line applies to no one
        if (key == "crawl-delay") {
            bool ok = false;
            const double seconds = value.toDouble(&ok);
            if (ok && std::isfinite(seconds) && seconds >= 0)
                groups.last().crawlDelay = seconds;
        } else {
            groups.last().rules.append({key == "allow", value});
        }
    }
    return groups;
}

} // namespace

QString TkvRobotsTxt::AgentToken()
{
    return QLatin1String(TkvProductValues::ShortName);
}

TkvRobotsTxt TkvRobotsTxt::Parse(const QByteArray &text, const QString &agent)
{
    const QList<TGroup> groups = readGroups(text);
    const QByteArray token = productToken(agent.toUtf8());
    auto names = [&](const TGroup &group, const QByteArray &who) { return group.agents.contains(who); };
    bool ownGroup = false;
    for (const TGroup &group : groups)
        ownGroup = ownGroup || names(group, token);
    const QByteArray chosen = ownGroup ? token : QByteArray("*");

    TkvRobotsTxt robots;
    for (const TGroup &group : groups) {
        if (!names(group, chosen))
            continue;
        for (const auto &[allow, path] : group.rules) {
            if (path.isEmpty() || path.size() > MaxPatternBytes)
                continue; // "Disallow:" with nothing allows everything; no real rule is that long
            // A path must begin with '/'; a bare "*" pattern may stand for any path.
            const QByteArray rooted = path.startsWith('/') || path.startsWith('*') ? path : '/' + path;
            robots.rules.push_back({normalise(rooted, true), allow});
        }
        if (group.crawlDelay >= 0)
            robots.crawlDelay = std::max(robots.crawlDelay, group.crawlDelay);
    }
    return robots;
}

QByteArray TkvRobotsTxt::normalise(const QByteArray &path, bool pattern)
{
    QByteArray out;
    out.reserve(path.size());
    for (qsizetype i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (c == '%' && i + 2 < path.size() && std::isxdigit(static_cast<unsigned char>(path[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(path[i + 2]))) {
            const auto value = static_cast<unsigned char>(QByteArray::fromHex(path.mid(i + 1, 2)).at(0));
            if (isUnreserved(value))
                out += char(value);
            else
                appendEscape(out, value);
            i += 2;
        } else if (c <= 0x20 || c >= 0x7F) {
            appendEscape(out, c);
        } else if ((c == '*' && !pattern) || (c == '$' && !(pattern && i + 1 == path.size()))) {
            // Plain characters in an address; in a rule '*' is a wildcard and only a final '$' an anchor.
            appendEscape(out, c);
        } else {
            out += char(c);
        }
    }
    return out;
}

bool TkvRobotsTxt::matches(const QByteArray &pattern, const QByteArray &path)
{
    // A rule is a prefix: "/a" matches "/abc". A final '$' asks for the whole path instead.
    const bool anchored = pattern.endsWith('$');
    const QByteArray body = anchored ? pattern.chopped(1) : pattern;
    const qsizetype star = body.indexOf('*');
    if (star < 0)
        return anchored ? path == body : path.startsWith(body);
    if (!path.startsWith(body.left(star)))
        return false; // most rules end here, before the table below
    // can[j]: the pattern so far matches the first j bytes of the path.
    std::vector<char> can(size_t(path.size()) + 1, 0), next(can.size(), 0);
    can[0] = 1;
    for (const char p : body) {
        next[0] = p == '*' ? can[0] : 0;
        for (qsizetype j = 1; j <= path.size(); ++j) {
            if (p == '*')
                next[size_t(j)] = can[size_t(j)] || next[size_t(j - 1)];
            else
                next[size_t(j)] = can[size_t(j - 1)] && path[j - 1] == p;
        }
        can.swap(next);
    }
    if (anchored)
        return can.back() != 0;
    return std::find(can.begin(), can.end(), 1) != can.end();
}

bool TkvRobotsTxt::Allows(const QString &pathAndQuery) const
{
    const QByteArray path = normalise(pathAndQuery.toUtf8(), false);
    if (path == "/robots.txt" || rules.empty())
        return true;
    qsizetype bestLength = -1;
    bool allowed = true;
    for (const Rule &rule : rules) {
        if (rule.pattern.size() < bestLength || !matches(rule.pattern, path))
            continue;
        if (rule.pattern.size() > bestLength)
            allowed = rule.allow;
        else
            allowed = allowed || rule.allow;
        bestLength = rule.pattern.size();
    }
    return allowed;
}
