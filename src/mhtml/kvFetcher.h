#pragma once

#include "kvFetchPolicy.h"
#include "kvFetchResult.h"

#include <QString>

/// Reads a URL's bytes: file: URLs from disk (regular files only), http: and https: through libcurl.
/// This base class routes by scheme and enforces the policy; tests and the archive engine may derive
/// from it to fake or count fetches.
///
/// Errors: Fetch throws EMhtError (kvMhtError.h, a std::runtime_error) whose what() is a
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

private:
    TkvFetchPolicy policy;
};
