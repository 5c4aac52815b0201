#pragma once

#include <QByteArray>
#include <QString>

/// Content types of resources: the type of a local file (from its content's magic bytes, then its
/// extension) and helpers to read a Content-Type header value. Stateless; any thread.
class TkvContentType
{
public:
    /// The media type of a resource without a server's header: magic bytes first (png, gif, jpeg,
    /// webp, bmp, ico, svg, woff, woff2, ttf, otf, pdf, mp4, webm, ogg, mp3, wav), then the extension of
    /// `path` (a path or URL; the query is ignored), then "application/octet-stream". Lower case,
    /// without parameters ("image/png", "text/css", "text/html").
    static QString Guess(const QString &path, const QByteArray &bytes);

    /// The type from the extension alone, or empty when the extension is unknown.
    static QString FromExtension(const QString &path);

    /// The type from the magic bytes alone, or empty when they match nothing known.
    static QString Sniff(const QByteArray &bytes);

    /// The essence of a Content-Type value: "Text/HTML; charset=x" -> "text/html". Empty for empty.
    static QString Essence(const QString &contentType);

    /// True for the text types the archive stores quoted-printable with a charset: text/*,
    /// application/javascript, application/ecmascript, application/json, application/xml,
    /// application/xhtml+xml, image/svg+xml and any "+xml" / "+json" type.
    static bool IsText(const QString &contentType);
};
