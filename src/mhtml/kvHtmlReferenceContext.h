#pragma once

#include "kvUrl.h"

#include <QString>

#include <string_view>

struct TkvHtmlToken;

/// What every scanner of an HTML document's references needs besides the tokens: attribute values read
/// in the document's character set, the base URL (the document's address until the first
/// `<base href>`), and references resolved against it.
///
/// Thread rules: one object per document; the static function is reentrant.
class TkvHtmlReferenceContext
{
public:
    /// `documentUrl`: canonical URL of the document; `charset`: its character set (canonical name,
    /// empty for UTF-8).
    TkvHtmlReferenceContext(const QString &documentUrl, const QString &charset);

    /// A decoded attribute value (UTF-8 after character references, other bytes in the document's
    /// charset) as text.
    QString Decode(std::string_view value) const;

    /// Takes `token`'s href as the base URL when it is the document's first `<base>` with an href.
    /// Returns true when it did; BaseUrl() is then the resolved address (unchanged when the href
    /// cannot be resolved).
    bool TakeBase(const TkvHtmlToken &token);

    /// `reference` resolved against the base URL: invalid (and possibly IsLeftAlone) when it is empty,
    /// left alone (data:, javascript:, "#top" ...) or cannot be parsed.
    TkvUrl Resolve(const QString &reference) const;

    QString BaseUrl() const { return base; }
    QString Charset() const { return charset; }

    /// True when the space-separated token list `rel` holds `word` (lower case), ignoring ASCII case.
    static bool RelHas(std::string_view rel, std::string_view word);

private:
    QString documentUrl;
    QString charset;
    QString base;
    TkvUrl baseUrl;
    bool baseSeen = false;
};
