#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

/// What one fetch returned.
struct TkvFetchResult
{
    QByteArray body;        ///< the decoded body (Content-Encoding removed), or the file's bytes
    QString contentType;    ///< the server's Content-Type header as sent; empty for files and when absent
    QString finalUrl;       ///< canonical URL the body came from (after redirects)
    QDateTime lastModified; ///< file mtime, or the HTTP Last-Modified header; invalid when unknown
    QDateTime fetchedAt;    ///< UTC time the fetch completed
    int httpStatus = 0;     ///< final HTTP status; 0 for files
    qint64 fileSize = -1;   ///< files only: st_size at the time the bytes were read (fstat of the open file)
    qint64 fileMtimeNs = 0; ///< files only: st_mtim in nanoseconds since the epoch
};

/// How a message's fetches behave. One policy per conversion.
struct TkvFetchPolicy
{
    static constexpr qint64 DefaultMaxBytes = 100LL * 1024 * 1024;

    bool allowFile = true;             ///< false: file: URLs are refused (a page fetched over http(s))
    qint64 maxBytes = DefaultMaxBytes; ///< a larger file or response fails
    int maxRedirects = 10;
    long connectTimeoutMs = 15000;
    long totalTimeoutMs = 60000;
    QString user; ///< HTTP authentication (any method the server offers), empty: none
    QString password;
    QString userAgent; ///< empty: "web2arc/<version>"
    /// Unset: proxies from the environment (http_proxy, https_proxy, no_proxy ...), except for loopback
    /// hosts (localhost, 127.x.x.x, [::1]), which are always reached directly.
    /// Set: that proxy for every request; an empty string means no proxy at all.
    std::optional<QString> proxy;
    /// Extra CA bundle file for TLS verification (tests with a private CA); empty: the system's.
    QString caFile;
};

/// Reads a URL's bytes: file: URLs from disk (regular files only), http: and https: through libcurl.
/// This base class routes by scheme and enforces the policy; tests and the archive engine may derive
/// from it to fake or count fetches.
///
/// Errors: Fetch throws EMhtError (declared in kvMhtMessage.h, a std::runtime_error) whose what() is a
/// UTF-8 sentence naming the file or address and the cause, e.g.
///   Cannot open "/in/a.htm": No such file or directory
///   HTTP 404 Not Found: http://srv/a.htm
///   Cannot fetch "http://127.0.0.1:9/": Couldn't connect to server
///   Refused to embed the local file "file:///etc/passwd" in a page fetched from the web.
///
/// Thread rule: one TkvFetcher per thread (or per message); different instances may be used on
/// different threads at once. HTTP connections are kept per thread and reused (keep-alive).
class TkvFetcher
{
public:
    explicit TkvFetcher(TkvFetchPolicy policy = {});
    virtual ~TkvFetcher();

    /// Fetches an absolute URL (any serialization TkvUrl parses). Throws EMhtError on failure,
    /// including an unsupported scheme and a file: URL when !policy().allowFile.
    virtual TkvFetchResult Fetch(const QString &url);

    const TkvFetchPolicy &Policy() const { return policy; }
    TkvFetchPolicy &Policy() { return policy; }

    /// "web2arc/2024.16.511.3122": the product's short name and version.
    static QString DefaultUserAgent();

private:
    TkvFetchPolicy policy;
};
