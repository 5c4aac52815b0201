#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

/// The rules a site's robots.txt sets for this program's crawler.
///
/// Groups: one or more `User-agent` lines followed by `Allow`, `Disallow` and `Crawl-delay` lines. The
/// groups naming the crawler's product token (compared without regard to case; "web2arc/2.0" names
/// "web2arc") are merged and used; only when none names it, the groups for `*` are. Lines before the
/// first `User-agent`, unknown keys and lines without ':' are ignored; `#` starts a comment.
///
/// Matching: a rule's path is a prefix of the address's path (and query), where `*` matches any run of
/// characters and a final `$` anchors the end. Of the rules that match, the one with the longest path
/// wins; on a tie `Allow` wins. No matching rule allows. Both sides are compared with percent escapes
/// normalised: escapes of unreserved characters decoded, other escapes in upper case, and bytes outside
/// printable ASCII escaped. `/robots.txt` itself is always allowed. An empty `Disallow` allows all.
///
/// A value type; const methods are reentrant.
class TkvRobotsTxt
{
public:
    /// The product token groups are matched against.
    static QString AgentToken();
    /// At most this much of a robots.txt is read; the rest is ignored.
    static constexpr qsizetype MaxBytes = 512 * 1024;
    /// A rule with a longer path is ignored: it bounds the cost of matching a file made to be slow.
    static constexpr qsizetype MaxPatternBytes = 2048;

    /// No rules: every path is allowed, no crawl delay (a site without robots.txt).
    TkvRobotsTxt() = default;

    /// Reads the rules for `agent` (a product token such as "web2arc") from the bytes of a robots.txt
    /// (UTF-8, a byte-order mark skipped). Never fails: what cannot be read is ignored.
    static TkvRobotsTxt Parse(const QByteArray &text, const QString &agent = AgentToken());

    /// True when the crawler may fetch an address with this path (percent-encoded, beginning with '/',
    /// the query with its '?' appended when there is one).
    bool Allows(const QString &pathAndQuery) const;

    /// Seconds to wait between two requests, as the chosen groups ask; negative when they do not.
    double CrawlDelay() const { return crawlDelay; }
    /// How many Allow and Disallow rules apply to this crawler.
    int RuleCount() const { return int(rules.size()); }

private:
    struct Rule
    {
        QByteArray pattern; ///< normalised; may end with '$'
        bool allow = false;
    };

    static QByteArray normalise(const QByteArray &path, bool pattern);
    static bool matches(const QByteArray &pattern, const QByteArray &path);

    std::vector<Rule> rules;
    double crawlDelay = -1;
};
