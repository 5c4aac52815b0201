#include "kvRenderPage.h"

#include <QJsonDocument>
#include <QWebEngineFileSystemAccessRequest>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineQuotaRequest>
#include <QWebEngineRegisterProtocolHandlerRequest>

TkvRenderPage::TkvRenderPage(QWebEngineProfile *profile, const QString &secret, QObject *parent)
    : QWebEnginePage(profile, parent), answerPrefix(QStringLiteral("\u0001web2arc ") + secret + QLatin1Char(' '))
{
    refuseRequests();
}

void TkvRenderPage::refuseRequests()
{
    connect(this, &QWebEnginePage::featurePermissionRequested, this,
            [this](const QUrl &origin, QWebEnginePage::Feature feature) {
                setFeaturePermission(origin, feature, QWebEnginePage::PermissionDeniedByUser);
            });
    connect(this, &QWebEnginePage::fullScreenRequested, this,
            [](QWebEngineFullScreenRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::quotaRequested, this, [](QWebEngineQuotaRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::registerProtocolHandlerRequested, this,
            [](QWebEngineRegisterProtocolHandlerRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::fileSystemAccessRequested, this,
            [](QWebEngineFileSystemAccessRequest request) { request.reject(); });
    // Unanswered, these end as refused: authentication and certificate questions, new windows, print.
}

void TkvRenderPage::javaScriptAlert(const QUrl &, const QString &)
{}

bool TkvRenderPage::javaScriptConfirm(const QUrl &, const QString &)
{
    return false;
}

bool TkvRenderPage::javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *)
{
    return false;
}

void TkvRenderPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &message, int,
                                             const QString &)
{
    if (!message.startsWith(answerPrefix))
        return;
    const QJsonDocument answer = QJsonDocument::fromJson(message.mid(answerPrefix.size()).toUtf8());
    if (answer.isObject())
        emit FrameAnswer(answer.object());
}

QWebEnginePage *TkvRenderPage::createWindow(WebWindowType)
{
    return nullptr;
}
