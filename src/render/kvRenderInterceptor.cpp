#include "kvRenderInterceptor.h"

#include <QUrl>

void TkvRenderInterceptor::interceptRequest(QWebEngineUrlRequestInfo &info)
{
    if (Blocks(info.requestUrl(), info.initiator()))
        info.block(true);
}

bool TkvRenderInterceptor::Blocks(const QUrl &requested, const QUrl &initiator)
{
    if (requested.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) != 0)
        return false;
    if (initiator.isEmpty())
        return false;
    return initiator.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) != 0;
}
