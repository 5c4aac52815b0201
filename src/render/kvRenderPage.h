#pragma once

#include <QJsonObject>
#include <QWebEnginePage>

/// A page of the renderer: nothing it does reaches a person or the system. It carries the snapshot
/// script in every frame, set up with a secret of its own; a page serves one request after another. Dialogs (alert, confirm,
/// prompt, print) are answered at once as if dismissed, new windows are refused, permission requests
/// are denied, console output is dropped, except the answers of the page's frames to a snapshot
/// request, which arrive as console lines that carry the page's secret and are handed on as
/// FrameAnswer.
///
/// Lives on the renderer's main thread.
class TkvRenderPage : public QWebEnginePage
{
    Q_OBJECT
public:
    /// `snapshotScript`: the snapshot script's text without its call.
    TkvRenderPage(QWebEngineProfile *profile, const QString &snapshotScript, QObject *parent);

signals:
    /// One frame's serialized document: {nonce, html, frames: [{address, html}], asked: [{nonce, address}]}.
    void FrameAnswer(const QJsonObject &answer);

protected:
    void javaScriptAlert(const QUrl &securityOrigin, const QString &message) override;
    bool javaScriptConfirm(const QUrl &securityOrigin, const QString &message) override;
    bool javaScriptPrompt(const QUrl &securityOrigin, const QString &message, const QString &defaultValue,
                          QString *result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int lineNumber,
                                  const QString &sourceId) override;
    QWebEnginePage *createWindow(WebWindowType type) override;

private:
    void refuseRequests();

    QString answerPrefix;
};
