#include "kvRenderJob.h"

#include "kvHelperProcess.h"
#include "kvRenderPage.h"

#include <QJsonArray>
#include <QPointer>
#include <QWebEngineLoadingInfo>
#include <QWebEngineScript>
#include <QWebEngineView>

namespace {

constexpr qint64 MaxReplyBytes = kvRenderProtocol::MaxFrameBytes - 1024 * 1024;

bool isLoadedDocument(const QString &url)
{
    const QString scheme = QUrl(url).scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("file");
}

QString seconds(int ms)
{
    return QString::number(ms / 1000.0, 'g', 3);
}

} // namespace

TkvRenderJob::TkvRenderJob(const TkvRenderRequest &request, std::unique_ptr<QWebEngineView> lentView, TDone done,
                           QObject *parent)
    : QObject(parent), request(request), done(std::move(done)), view(std::move(lentView)),
      page(static_cast<TkvRenderPage *>(view->page()))
{
    reply.id = request.id;

    connect(page, &QWebEnginePage::loadingChanged, this, &TkvRenderJob::onLoadingChanged);
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int exitCode) {
                onRendererEnded(int(status), exitCode);
            });
    connect(page, &TkvRenderPage::FrameAnswer, this, &TkvRenderJob::onFrameAnswer);
    pollTimer.setInterval(PollMs);
    connect(&pollTimer, &QTimer::timeout, this, &TkvRenderJob::poll);
    limitTimer.setSingleShot(true);
    connect(&limitTimer, &QTimer::timeout, this, &TkvRenderJob::onLimit);
    hardTimer.setSingleShot(true);
    connect(&hardTimer, &QTimer::timeout, this, &TkvRenderJob::onHardLimit);
    framesTimer.setSingleShot(true);
    connect(&framesTimer, &QTimer::timeout, this, &TkvRenderJob::finish);

    limitTimer.start(int(request.limitMs));
    hardTimer.start(int(request.limitMs) + HardGraceMs);
    page->load(QUrl(request.address));
}

TkvRenderJob::~TkvRenderJob() = default;

std::unique_ptr<QWebEngineView> TkvRenderJob::ReleaseView()
{
    // After a failure the renderer may still be busy with the page (a script that never ends): the
    // view goes with the job rather than hand the next page a stuck renderer.
    if (state != TState::Done || !reply.ok || !rendererSound || !view)
        return nullptr;
    QObject::disconnect(page, nullptr, this, nullptr);
    return std::move(view);
}

void TkvRenderJob::onLoadingChanged(const QWebEngineLoadingInfo &info)
{
    // The blank page a lent view was left on may still be finishing: it is none of this request's business.
    if ((state != TState::Loading && state != TState::Settling) || info.url().scheme() == QLatin1String("about"))
        return;
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
        // The page moves on (a redirect by script, say): wait for the next document's load event.
        state = TState::Loading;
        pollTimer.stop();
        break;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
        everLoaded = true;
        state = TState::Settling;
        pollTimer.start();
        break;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
    case QWebEngineLoadingInfo::LoadFailedStatus:
        if (!everLoaded && info.errorCode() != -3) { // -3: replaced by another navigation
            const QString cause = info.errorString().isEmpty() ? QStringLiteral("the load was stopped")
                                                                : info.errorString();
            fail(QStringLiteral("Cannot load \"%1\": %2.").arg(request.address, cause));
        } else if (everLoaded) {
            state = TState::Settling; // the document that had loaded stays
            pollTimer.start();
        }
        break;
    }
}

void TkvRenderJob::poll()
{
    if (state != TState::Settling || pollPending)
        return;
    pollPending = true;
    page->runJavaScript(QStringLiteral("typeof web2arcState === 'function' ? web2arcState() : null"),
                        QWebEngineScript::ApplicationWorld, [self = QPointer(this)](const QVariant &result) {
                            // The page outlives a job that ended meanwhile, and serves the next one.
                            if (self)
                                self->onPoll(result);
                        });
}

void TkvRenderJob::onPoll(const QVariant &result)
{
    pollPending = false;
    if (state != TState::Settling)
        return;
    const QVariantMap status = result.toMap();
    // Without the watcher (a document the scripts do not run in) it is quiet.
    if (status.isEmpty() || (status.value(QStringLiteral("pending")).toInt() == 0 &&
                             status.value(QStringLiteral("quietMs")).toDouble() >= QuietMs))
        takeSnapshot(true);
}

void TkvRenderJob::takeSnapshot(bool settled)
{
    state = TState::Snapshotting;
    pollTimer.stop();
    reply.settled = settled;
    page->runJavaScript(QStringLiteral("typeof web2arcSnapshot === 'function' ? web2arcSnapshot() : null"),
                        QWebEngineScript::ApplicationWorld, [self = QPointer(this)](const QVariant &result) {
                            if (self)
                                self->onSnapshot(result);
                        });
}

void TkvRenderJob::onSnapshot(const QVariant &result)
{
    if (state != TState::Snapshotting)
        return;
    const QVariantMap snapshot = result.toMap();
    const QString url = snapshot.value(QStringLiteral("url")).toString();
    if (snapshot.isEmpty() || url.isEmpty() || url == QLatin1String("about:blank")) {
        if (!everLoaded) // it may be stuck before its document even showed: nothing else may wait on it
            kvHelperProcess::KillProcess(page->renderProcessPid());
        rendererSound = false;
        fail(everLoaded ? QStringLiteral("Cannot read the document of \"%1\" in the page renderer.").arg(request.address)
                        : QStringLiteral("The page \"%1\" did not load within %2 s.")
                              .arg(request.address, seconds(int(request.limitMs))));
        return;
    }
    addAnswer(url, QJsonObject::fromVariantMap(snapshot));
    if (state == TState::Done)
        return;
    if (awaited.isEmpty()) {
        finish();
        return;
    }
    state = TState::CollectingFrames;
    framesTimer.start(FrameAnswerMs);
}

void TkvRenderJob::onFrameAnswer(const QJsonObject &answer)
{
    const QString nonce = answer.value(QStringLiteral("nonce")).toString();
    if (state == TState::Done || nonce.isEmpty())
        return;
    if (!awaited.contains(nonce)) {
        // An answer may overtake the snapshot that asked for it (they travel different ways).
        if (state != TState::CollectingFrames && earlyAnswers.size() < 1000)
            earlyAnswers.insert(nonce, answer);
        return;
    }
    addFrameAnswer(awaited.take(nonce), answer);
    if (state == TState::CollectingFrames && awaited.isEmpty())
        finish();
}

void TkvRenderJob::addAnswer(const QString &address, const QJsonObject &answer)
{
    addDocument(address, answer.value(QStringLiteral("html")).toString());
    for (const QJsonValue &frame : answer.value(QStringLiteral("frames")).toArray())
        addDocument(frame[QStringLiteral("address")].toString(), frame[QStringLiteral("html")].toString());
    for (const QJsonValue &asked : answer.value(QStringLiteral("asked")).toArray()) {
        const QString nonce = asked[QStringLiteral("nonce")].toString();
        const QString frameAddress = asked[QStringLiteral("address")].toString();
        if (nonce.isEmpty() || frameAddress.isEmpty() || addresses.contains(frameAddress))
            continue;
        if (earlyAnswers.contains(nonce))
            addFrameAnswer(frameAddress, earlyAnswers.take(nonce));
        else
            awaited.insert(nonce, frameAddress);
    }
}

void TkvRenderJob::addFrameAnswer(const QString &address, const QJsonObject &answer)
{
    // An error document of a frame that did not load is left out: the archive engine reads that frame.
    if (isLoadedDocument(answer.value(QStringLiteral("url")).toString()))
        addAnswer(address, answer);
}

void TkvRenderJob::addDocument(const QString &address, const QString &html)
{
    if (address.isEmpty() || addresses.contains(address) || state == TState::Done)
        return;
    addresses.insert(address);
    TkvRenderDocument document{address, html.toUtf8()};
    replyBytes += document.html.size() + address.size();
    if (replyBytes > MaxReplyBytes) {
        fail(QStringLiteral("The page \"%1\" is too large to archive: its documents hold more than %2 MiB.")
                 .arg(request.address)
                 .arg(MaxReplyBytes / (1024 * 1024)));
        return;
    }
    reply.documents.push_back(std::move(document));
}

void TkvRenderJob::onLimit()
{
    if (state == TState::Loading || state == TState::Settling)
        takeSnapshot(false);
}

void TkvRenderJob::onHardLimit()
{
    if (state == TState::CollectingFrames) {
        finish(); // the frames that did not answer are left to the archive engine
        return;
    }
    if (state == TState::Done)
        return;
    const qint64 renderer = page->renderProcessPid();
    rendererSound = false;
    fail(QStringLiteral("The page \"%1\" did not finish within %2 s: its scripts kept the page renderer busy.")
             .arg(request.address, seconds(int(request.limitMs) + HardGraceMs)));
    kvHelperProcess::KillProcess(renderer);
}

void TkvRenderJob::onRendererEnded(int status, int exitCode)
{
    rendererSound = false;
    if (state == TState::Done)
        return;
    const QString how = status == QWebEnginePage::KilledTerminationStatus ? QStringLiteral("was killed")
                        : status == QWebEnginePage::NormalTerminationStatus
                            ? QStringLiteral("ended")
                            : QStringLiteral("crashed (exit code %1)").arg(exitCode);
    fail(QStringLiteral("The page renderer %1 while showing \"%2\".").arg(how, request.address));
}

void TkvRenderJob::finish()
{
    if (state == TState::Done)
        return;
    state = TState::Done;
    pollTimer.stop();
    limitTimer.stop();
    hardTimer.stop();
    framesTimer.stop();
    reply.ok = true;
    done(this, reply);
}

void TkvRenderJob::fail(const QString &message)
{
    if (state == TState::Done)
        return;
    state = TState::Done;
    pollTimer.stop();
    limitTimer.stop();
    hardTimer.stop();
    framesTimer.stop();
    TkvRenderReply failure;
    failure.id = request.id;
    failure.ok = false;
    failure.message = message;
    done(this, failure);
}
