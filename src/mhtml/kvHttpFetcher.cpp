#include "kvHttpFetcher.h"

#include "kvMhtError.h"
#include "kvProductValues.h"
#include "kvUrl.h"

#include <QFile>

#include <curl/curl.h>

#include <mutex>

namespace {

/// One curl handle per thread, made on first use and kept for the thread's life so that its
/// connection cache (keep-alive) serves every request of that thread.
class TCurlHandle
{
public:
    TCurlHandle()
    {
        static std::once_flag once;
        std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
        handle = curl_easy_init();
    }
    ~TCurlHandle()
    {
        if (handle)
            curl_easy_cleanup(handle);
    }
    CURL *handle = nullptr;
};

struct TTransfer
{
    QByteArray body;
    qint64 maxBytes = 0;
    bool overflow = false;
    bool headerDone = false; ///< the blank line that ends a response header has arrived
    QByteArray reason;       ///< reason phrase of the last status line
};

size_t onData(char *data, size_t size, size_t count, void *user)
{
    auto *transfer = static_cast<TTransfer *>(user);
    const size_t n = size * count;
    if (transfer->body.size() + qint64(n) > transfer->maxBytes) {
        transfer->overflow = true;
        return 0; // makes curl stop with CURLE_WRITE_ERROR
    }
    transfer->body.append(data, qsizetype(n));
    return n;
}

size_t onHeader(char *data, size_t size, size_t count, void *user)
{
    auto *transfer = static_cast<TTransfer *>(user);
    const QByteArray line = QByteArray(data, qsizetype(size * count)).trimmed();
    transfer->headerDone = line.isEmpty();
    if (line.startsWith("HTTP/")) {
        // "HTTP/1.1 404 Not Found": everything after the code; a new response of a redirect resets it.
        const QList<QByteArray> parts = line.split(' ');
        transfer->reason = parts.size() > 2 ? line.mid(parts[0].size() + parts[1].size() + 2).trimmed() : QByteArray();
    }
    return size * count;
}

QString standardReason(long code)
{
    switch (code) {
    case 400:
        return QStringLiteral("Bad Request");
    case 401:
        return QStringLiteral("Unauthorized");
    case 403:
        return QStringLiteral("Forbidden");
    case 404:
        return QStringLiteral("Not Found");
    case 405:
        return QStringLiteral("Method Not Allowed");
    case 407:
        return QStringLiteral("Proxy Authentication Required");
    case 408:
        return QStringLiteral("Request Timeout");
    case 410:
        return QStringLiteral("Gone");
    case 429:
        return QStringLiteral("Too Many Requests");
    case 500:
        return QStringLiteral("Internal Server Error");
    case 501:
        return QStringLiteral("Not Implemented");
    case 502:
        return QStringLiteral("Bad Gateway");
    case 503:
        return QStringLiteral("Service Unavailable");
    case 504:
        return QStringLiteral("Gateway Timeout");
    default:
        return {};
    }
}

QString sizeText(qint64 bytes)
{
    const qint64 mib = 1024 * 1024;
    return bytes % mib == 0 ? QStringLiteral("%1 MiB").arg(bytes / mib) : QStringLiteral("%1 bytes").arg(bytes);
}

bool isLoopback(const QString &url)
{
    const QString host = TkvUrl::Parse(url).Host();
    return host == QLatin1String("localhost") || host.endsWith(QLatin1String(".localhost")) ||
           host.startsWith(QLatin1String("127.")) || host == QLatin1String("[::1]");
}

/// Everything one request hands to libcurl by pointer: it must live until the request is over.
struct TRequest
{
    TRequest(const QString &url, const TkvFetchPolicy &policy)
        : url(url.toUtf8()),
          agent((policy.userAgent.isEmpty() ? TkvHttpFetcher::DefaultUserAgent() : policy.userAgent).toUtf8()),
          user(policy.user.toUtf8()), password(policy.password.toUtf8()),
          proxy(policy.proxy ? policy.proxy->toUtf8() : QByteArray()), caFile(QFile::encodeName(policy.caFile))
    {
        transfer.maxBytes = policy.maxBytes;
    }
    const QByteArray url, agent, user, password, proxy, caFile;
    TTransfer transfer;
    char errorBuffer[CURL_ERROR_SIZE] = {0};
};

/// Sets every option of one GET on the thread's handle.
void configure(CURL *h, TRequest &request, const QString &url, const TkvFetchPolicy &policy)
{
    curl_easy_setopt(h, CURLOPT_URL, request.url.constData());
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, request.errorBuffer);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, long(policy.maxRedirects));
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, policy.connectTimeoutMs);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, policy.totalTimeoutMs);
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, ""); // every encoding libcurl can decode
    curl_easy_setopt(h, CURLOPT_USERAGENT, request.agent.constData());
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(h, CURLOPT_FILETIME, 1L);
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(policy.maxBytes));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onData);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &request.transfer);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &request.transfer);
    if (!policy.user.isEmpty() || !policy.password.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_USERNAME, request.user.constData());
        curl_easy_setopt(h, CURLOPT_PASSWORD, request.password.constData());
        curl_easy_setopt(h, CURLOPT_HTTPAUTH, long(CURLAUTH_ANY));
    }
    if (policy.proxy)
        curl_easy_setopt(h, CURLOPT_PROXY, request.proxy.constData()); // "" turns proxies off
    else if (isLoopback(url))
        curl_easy_setopt(h, CURLOPT_PROXY, ""); // like browsers: this machine is never reached through a proxy
    if (!policy.caFile.isEmpty())
        curl_easy_setopt(h, CURLOPT_CAINFO, request.caFile.constData());
}

/// Throws the failure of a finished request: too large, a transport error, or a status outside 2xx.
void checkOutcome(CURL *h, CURLcode code, const TRequest &request, const QString &url, qint64 maxBytes)
{
    if (request.transfer.overflow || code == CURLE_FILESIZE_EXCEEDED)
        throw EMhtError(
            QStringLiteral("Cannot fetch \"%1\": The response is larger than %2.").arg(url, sizeText(maxBytes)));
    if (code == CURLE_OUT_OF_MEMORY && !request.transfer.headerDone) {
        // libcurl refuses a header line longer than it keeps (100 KiB) with this code and no text of
        // its own; while a header arrives nothing else of that size is held.
        throw EMhtError(QStringLiteral("Cannot fetch \"%1\": The response header is too large.").arg(url));
    }
    if (code != CURLE_OK) {
        const QString text = request.errorBuffer[0] ? QString::fromUtf8(request.errorBuffer).trimmed()
                                                    : QString::fromUtf8(curl_easy_strerror(code));
        throw EMhtError(QStringLiteral("Cannot fetch \"%1\": %2").arg(url, text));
    }
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status >= 300) {
        QString reason = QString::fromLatin1(request.transfer.reason);
        if (reason.isEmpty())
            reason = standardReason(status);
        throw EMhtError(reason.isEmpty() ? QStringLiteral("HTTP %1: %2").arg(status).arg(url)
                                         : QStringLiteral("HTTP %1 %2: %3").arg(status).arg(reason, url));
    }
}

/// The result of a request that succeeded: its body and what the handle knows about the response.
TkvFetchResult resultOf(CURL *h, TTransfer &transfer, const QString &url)
{
    TkvFetchResult result;
    result.body = std::move(transfer.body);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    result.httpStatus = int(status);
    result.fetchedAt = QDateTime::currentDateTimeUtc();
    const char *contentType = nullptr;
    if (curl_easy_getinfo(h, CURLINFO_CONTENT_TYPE, &contentType) == CURLE_OK && contentType)
        result.contentType = QString::fromLatin1(contentType);
    const char *effective = nullptr;
    if (curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective) {
        const TkvUrl final = TkvUrl::Parse(QString::fromUtf8(effective));
        result.finalUrl = final.IsValid() ? final.ToString() : QString::fromUtf8(effective);
    } else {
        result.finalUrl = url;
    }
    curl_off_t fileTime = -1;
    if (curl_easy_getinfo(h, CURLINFO_FILETIME_T, &fileTime) == CURLE_OK && fileTime >= 0)
        result.lastModified = QDateTime::fromSecsSinceEpoch(qint64(fileTime), Qt::UTC);
    return result;
}

} // namespace

QString TkvHttpFetcher::DefaultUserAgent()
{
    return QLatin1String(TkvProductValues::ShortName) + QLatin1Char('/') + QLatin1String(TkvProductValues::Version);
}

TkvFetchResult TkvHttpFetcher::Get(const QString &url, const TkvFetchPolicy &policy)
{
    thread_local TCurlHandle curl;
    CURL *h = curl.handle;
    if (!h)
        throw EMhtError(QStringLiteral("Cannot fetch \"%1\": The HTTP library could not be initialised.").arg(url));
    curl_easy_reset(h); // keeps the connection cache
    TRequest request(url, policy);
    configure(h, request, url, policy);
    const CURLcode code = curl_easy_perform(h);
    // Nothing of this request may leak into the next one on this thread's handle.
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, nullptr);
    checkOutcome(h, code, request, url, policy.maxBytes);
    return resultOf(h, request.transfer, url);
}
