#include "kvFetcher.h"

#include "kvFileFetcher.h"
#include "kvHttpFetcher.h"
#include "kvMhtError.h"
#include "kvUrl.h"

TkvFetcher::TkvFetcher(TkvFetchPolicy policy) : policy(std::move(policy))
{}

TkvFetcher::~TkvFetcher() = default;

TkvFetchResult TkvFetcher::Fetch(const QString &url)
{
    const TkvUrl parsed = TkvUrl::Parse(url);
    if (parsed.IsLeftAlone())
        throw EMhtError(
            QStringLiteral("Cannot fetch \"%1\": Only http:, https: and file: addresses are fetched.").arg(url));
    if (!parsed.IsValid())
        throw EMhtError(QStringLiteral("Cannot fetch \"%1\": The address is not a valid URL.").arg(url));
    const QString canonical = parsed.ToString();
    if (parsed.IsFile()) {
        if (!policy.allowFile)
            throw EMhtError(QStringLiteral("Refused to embed the local file \"%1\" in a page fetched from the web.")
                                .arg(canonical));
        const QString path = TkvUrl::ToLocalPath(canonical);
        if (path.isEmpty())
            throw EMhtError(QStringLiteral("Cannot open \"%1\": Files on other hosts cannot be read.").arg(canonical));
        TkvFetchResult result = TkvFileFetcher::Read(path, policy.maxBytes);
        result.finalUrl = canonical;
        return result;
    }
    if (parsed.IsHttp())
        return TkvHttpFetcher::Get(canonical, policy);
    throw EMhtError(
        QStringLiteral("Cannot fetch \"%1\": The scheme \"%2\" is not supported.").arg(canonical, parsed.Scheme()));
}
