#pragma once

#include <QByteArray>
#include <QString>

#include <string_view>
#include <vector>

/// The addresses a page leads a reader on to, for following a web site from page to page: `<a href>`
/// (also `xlink:href` in SVG), `<area href>`, `<frame src>`, `<iframe src>`, `<link href>` whose rel
/// holds `next` or `prev`, and the target of `<meta http-equiv=refresh>`. Images, style sheets and
/// scripts are not links: they belong to the page's own archive.
///
/// Stateless; any thread.
class TkvPageLinks
{
public:
    /// The links of the HTML document `body` fetched from `documentUrl` (canonical), resolved against
    /// its base (`<base href>`), as canonical absolute URLs without fragment, in document order, each
    /// once. `contentType` is the server's Content-Type (empty when unknown); with the document's own
    /// declarations it gives the charset (a UTF-16 page is read too). References that are left alone
    /// (data:, javascript:, mailto:, "#top" ...) or cannot be parsed are skipped. Never throws.
    static std::vector<QString> Find(const QString &documentUrl, const QByteArray &body,
                                     const QString &contentType = {});

    /// The address part of a refresh declaration ("5; url='next.html'" gives "next.html"), a view into
    /// `content`; empty when it names none.
    static std::string_view RefreshTarget(std::string_view content);
};
