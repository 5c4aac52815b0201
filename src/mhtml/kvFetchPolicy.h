#pragma once

#include <QString>

#include <optional>

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
