#include "kvRenderPage.h"

#include <QJsonDocument>
#include <QRandomGenerator>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineFileSystemAccessRequest>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineQuotaRequest>
#include <QWebEngineRegisterProtocolHandlerRequest>

namespace {

/// A text the page's scripts cannot guess: frames' answers carry it.
QString newSecret()
{
    QString secret;
    for (int i = 0; i < 4; ++i)
        secret += QString::number(QRandomGenerator::system()->generate(), 36);
    return secret;
}

} // namespace

TkvRenderPage::TkvRenderPage(QWebEngineProfile *profile, const QString &snapshotScript, QObject *parent)
    : QWebEnginePage(profile, parent)
{
    const QString secret = newSecret();
    answerPrefix = QStringLiteral("\u0001web2arc ") + secret + QLatin1Char(' ');
    QWebEngineScript snapshot;
    snapshot.setName(QStringLiteral("web2arc-snapshot"));
    snapshot.setSourceCode(snapshotScript + QStringLiteral("\nweb2arcInstall('%1');\n").arg(secret));
    snapshot.setInjectionPoint(QWebEngineScript::DocumentCreation);
    snapshot.setWorldId(QWebEngineScript::ApplicationWorld);
    snapshot.setRunsOnSubFrames(true);
    scripts().insert(snapshot);
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
