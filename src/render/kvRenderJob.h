#pragma once

#include "kvRenderProtocol.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <functional>
#include <memory>

class QWebEngineLoadingInfo;
class QWebEngineProfile;
class QWebEngineView;
class TkvRenderPage;

/// One request of the renderer, from loading to the reply, in a view of its own (a window at a desktop
/// size, so scripts that measure the window or wait for animation frames behave as in a browser). The
/// view, whose page is a TkvRenderPage, is lent by the host and can go back to it when the page's
/// renderer is still sound, so the next page need not start a renderer process.
///
/// Settling: after the load event the job asks the page every PollMs whether it is quiet (no fetch,
/// XMLHttpRequest, added script or frame under way, and no change to the document for QuietMs); then it
/// takes the snapshot. At the request's limit it takes the snapshot as the page stands. A page whose
/// scripts do not let go of the renderer (a loop without end) gets HardGraceMs more; then its renderer
/// process is killed and the reply says so. A renderer that crashes fails the page.
///
/// Lives on the renderer's main thread. `done` is called exactly once; the job may be deleted (later,
/// not from inside `done`) after that.
class TkvRenderJob : public QObject
{
    Q_OBJECT
public:
    static constexpr int QuietMs = 300;
    static constexpr int PollMs = 50;
    static constexpr int FrameAnswerMs = 1500;
    static constexpr int HardGraceMs = 5000;

    using TDone = std::function<void(TkvRenderJob *job, const TkvRenderReply &reply)>;

    /// Starts loading at once. REQUIRES: `view` shows a TkvRenderPage.
    TkvRenderJob(const TkvRenderRequest &request, std::unique_ptr<QWebEngineView> view, TDone done,
                 QObject *parent = nullptr);
    ~TkvRenderJob() override;

    /// After `done`: the view, for another request, when the page rendered and its renderer is sound;
    /// else null (the view then goes with the job).
    std::unique_ptr<QWebEngineView> ReleaseView();

private:
    enum class TState
    {
        Loading,
        Settling,
        Snapshotting,
        CollectingFrames,
        Done
    };

    void onLoadingChanged(const QWebEngineLoadingInfo &info);
    void poll();
    void onPoll(const QVariant &result);
    void takeSnapshot(bool settled);
    void onSnapshot(const QVariant &result);
    void onFrameAnswer(const QJsonObject &answer);
    void addAnswer(const QString &address, const QJsonObject &answer);
    void addFrameAnswer(const QString &address, const QJsonObject &answer);
    void addDocument(const QString &address, const QString &html);
    void onLimit();
    void onHardLimit();
    void onRendererEnded(int status, int exitCode);
    void finish();
    void fail(const QString &message);

    TkvRenderRequest request;
    TDone done;
    std::unique_ptr<QWebEngineView> view;
    TkvRenderPage *page = nullptr; ///< owned by the view
    TState state = TState::Loading;
    bool everLoaded = false;
    bool rendererSound = true;
    bool pollPending = false;
    QTimer pollTimer;
    QTimer limitTimer;
    QTimer hardTimer;
    QTimer framesTimer;
    TkvRenderReply reply;
    qint64 replyBytes = 0;
    QSet<QString> addresses;                 ///< documents already in the reply
    QHash<QString, QString> awaited;         ///< frames asked for: nonce -> address
    QHash<QString, QJsonObject> earlyAnswers; ///< answers that came before the question was known
};
