#pragma once

#include <QString>

/// A URL parsed and serialized the way a browser does it (WHATWG URL Standard), for the special
/// schemes http, https, file (and ws, wss, ftp, parsed the same way). Other schemes (data:,
/// javascript:, about:, mailto:, cid:, ...) and fragment-only references are "left alone": the archive
/// engine copies them unchanged and never fetches them.
///
/// Canonical form (ToString): lower-case scheme and host, IDN hosts as punycode, IPv4 hosts in dotted
/// decimal, IPv6 hosts compressed in brackets, no default port, dot segments removed, no fragment. The
/// path is percent-encoded for C0 controls, space, `"`, `#`, `<`, `>`, `?`, `` ` ``, `{`, `}` and every
/// byte above 0x7E of its UTF-8 form; existing %XX escapes are kept as written. The query is kept,
/// encoded by the WHATWG (special-)query percent-encode set in the page's charset.
///
/// A value type; every function is reentrant and may be called from any thread.
class TkvUrl
{
public:
    TkvUrl() = default;

    /// Parses `input` (an absolute URL or a reference relative to `base`). Leading and trailing C0
    /// controls and spaces are trimmed, tabs and newlines removed, and backslashes count as slashes in
    /// special schemes. `charset` is the page's character set (any label TkvCharset knows; empty means
    /// UTF-8); it only affects how a non-ASCII query is encoded. Never throws: the result IsValid()
    /// or not. A "left alone" reference gives a URL that is not valid and IsLeftAlone().
    static TkvUrl Parse(const QString &input, const TkvUrl &base, const QString &charset = {});
    /// Parses an absolute URL (no base).
    static TkvUrl Parse(const QString &input);

    /// Resolves `reference` against the absolute URL `base` and returns the canonical string; an
    /// empty string when the reference is left alone, or either cannot be parsed.
    static QString Resolve(const QString &reference, const QString &base, const QString &charset = {});

    /// True for references the engine must copy unchanged: fragment-only ("#top"), and absolute URLs
    /// whose scheme is not special (data:, javascript:, about:, mailto:, cid:, tel:, ...).
    static bool IsLeftAlone(const QString &reference);

    /// Local path -> file URL: "file://" + the absolute path, each byte of its file-system name
    /// (TkvFileName::Encode, so a name that is not UTF-8 keeps its own bytes) percent-encoded by the
    /// path rules; a backslash is an ordinary file-name character here and
    /// becomes %5C (so it is never read as a slash), '%' becomes %25. A relative path is made absolute
    /// against the current folder. Text that begins with "http:" or "https:" is returned unchanged.
    static QString FromLocalPath(const QString &path);

    /// File URL -> local path: the URL's path, percent-decoded to bytes and read as a file name
    /// (TkvFileName::Decode), so that TkvFileName::Encode gives back those bytes. Returns an empty string when
    /// `url` is not a valid file: URL.
    static QString ToLocalPath(const QString &url);

    /// The address a part is stored under in an archive: a local file: URL file:///p becomes
    /// http://file.invalid/p (same path, query and fragment); every other URL, including a file: URL
    /// naming another host, is returned unchanged.
    static QString ToArchiveLocation(const QString &url);
    /// The inverse: http://file.invalid/p -> file:///p; other URLs are returned unchanged.
    static QString FromArchiveLocation(const QString &location);
    /// The reserved host used by ToArchiveLocation ("file.invalid").
    static QString ArchiveHost();

    bool IsValid() const { return valid; }
    bool IsLeftAlone() const { return leftAlone; }
    bool IsFile() const { return valid && scheme == QLatin1String("file"); }
    bool IsHttp() const { return valid && (scheme == QLatin1String("http") || scheme == QLatin1String("https")); }

    QString Scheme() const { return scheme; }     ///< lower case, without ':'
    QString UserName() const { return username; } ///< percent-encoded
    QString Password() const { return password; } ///< percent-encoded
    QString Host() const { return host; }         ///< serialized (punycode, dotted IPv4, [IPv6]); may be empty for file
    int Port() const { return port; }             ///< -1 when absent or the scheme's default
    QString Path() const { return path; }         ///< percent-encoded, begins with '/'
    QString Query() const { return query; }       ///< without '?'; isNull() when there is none
    QString Fragment() const { return fragment; } ///< without '#'; isNull() when there is none

    /// The canonical serialization, without the fragment unless `withFragment`. Empty when not valid.
    QString ToString(bool withFragment = false) const;

private:
    friend class TkvUrlParser;

    bool valid = false;
    bool leftAlone = false;
    QString scheme;
    QString username;
    QString password;
    QString host;
    int port = -1;
    QString path;
    QString query;
    QString fragment;
};
