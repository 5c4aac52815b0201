#pragma once

#include "kvFetchPolicy.h"
#include "kvFetchResult.h"

/// HTTP(S) GET through libcurl's easy interface. Each thread keeps one curl handle (thread_local) that
/// is reused for every request on that thread, so connections stay alive between resources.
/// curl_global_init runs once per process, thread-safely, before the first handle is made.
/// Any thread; handles are never shared between threads.
class TkvHttpFetcher
{
public:
    /// GETs `url` with `policy` (redirects, time-outs, authentication, proxy, size cap, TLS verified,
    /// any Content-Encoding decoded). A final status of 400 or above fails with
    /// `HTTP 404 Not Found: http://srv/a.htm`; transport failures with curl's error text:
    /// `Cannot fetch "http://srv/a.htm": Couldn't connect to server`. Throws EMhtError.
    static TkvFetchResult Get(const QString &url, const TkvFetchPolicy &policy);

    /// "web2arc/2024.16.511.3122": the product's short name and version, sent when the policy names no
    /// User-Agent.
    static QString DefaultUserAgent();
};
