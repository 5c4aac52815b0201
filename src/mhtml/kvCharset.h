#pragma once

#include <QByteArray>
#include <QString>

/// Character sets of pages and style sheets: WHATWG Encoding Standard label normalization, the HTML
/// encoding sniffing steps (BOM, transport charset, <meta> prescan, then a content check), and
/// decoding / re-encoding through QStringDecoder / QStringEncoder created by name (ICU-backed).
///
/// Canonical names are the Encoding Standard's names: "UTF-8", "windows-1252", "Shift_JIS",
/// "EUC-JP", "ISO-2022-JP", "GBK", "gb18030", "Big5", "EUC-KR", "KOI8-R", "KOI8-U", "ISO-8859-2" ...
/// "windows-1250" ... "windows-1258", "UTF-16LE", "UTF-16BE", "IBM866", "macintosh", "x-mac-cyrillic".
///
/// Stateless; every function may be called from any thread. Failures throw EMhtError (kvMhtError.h).
class TkvCharset
{
public:
    /// The canonical name for a label (case-insensitive, surrounding ASCII whitespace ignored):
    /// "latin1", "iso-8859-1", "ascii" -> "windows-1252", "gb2312" -> "GBK", "utf8" -> "UTF-8" ...
    /// Returns an empty string for an unknown label.
    static QString Normalize(const QString &label);

    /// Like Normalize, but throws EMhtError `Unknown character set "utf-88"` for an unknown label.
    static QString Require(const QString &label);

    /// The charset a page is read with: a byte-order mark (UTF-8, UTF-16LE/BE), else the charset
    /// parameter of `httpContentType` when it names a known charset, else the <meta> prescan of the
    /// first 1024 bytes, else "UTF-8" when all the bytes are valid UTF-8, else "windows-1252".
    /// Returns a canonical name; never throws.
    static QString Detect(const QByteArray &bytes, const QString &httpContentType = {});

    /// The charset named by a byte-order mark at the start of `bytes`, or empty; `bomLength`
    /// (optional) receives the BOM's length in bytes (0 when none).
    static QString FromBom(const QByteArray &bytes, int *bomLength = nullptr);

    /// The canonical charset of a Content-Type value's `charset` parameter ("text/html;
    /// charset="Shift_JIS"" -> "Shift_JIS"); empty when absent or unknown.
    static QString FromContentType(const QString &contentType);

    /// The WHATWG "prescan a byte stream to determine its encoding" over the first 1024 bytes:
    /// <meta charset=...> or <meta http-equiv="Content-Type" content="...charset=...">, skipping
    /// comments and other tags. A UTF-16 declaration yields "UTF-8", "x-user-defined" yields
    /// "windows-1252". Empty when nothing usable is found.
    static QString Prescan(const QByteArray &bytes);

    /// Decodes `bytes` in `charset` (any known label). A BOM that matches the charset is skipped;
    /// malformed input becomes U+FFFD. Throws EMhtError for an unknown charset.
    static QString Decode(const QByteArray &bytes, const QString &charset);

    /// Encodes `text` in `charset` (any known label). Characters the charset lacks become HTML
    /// numeric character references ("&#8364;"). UTF-16 output has no BOM. Throws EMhtError for an
    /// unknown charset.
    static QByteArray Encode(const QString &text, const QString &charset);

    /// True when `charset` (canonical or label) is UTF-16LE or UTF-16BE: such documents use UTF-8 for
    /// URL queries and form data (the "output encoding" of the Encoding Standard).
    static bool IsUtf16(const QString &charset);
};
