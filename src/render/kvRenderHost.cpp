#include "kvRenderHost.h"

#include "kvHelperProcess.h"
#include "kvRenderJob.h"
#include "kvRenderPage.h"
#include "kvRenderProfile.h"

#include <QCoreApplication>
#include <QUrl>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <algorithm>
#include <cstdio>

TkvRenderHost::TkvRenderHost(int input, int output, QObject *parent)
    : QObject(parent), input(input), output(output), notifier(input, QSocketNotifier::Read)
{
    profile = TkvRenderProfile::Create(this, &interceptor);
    snapshotScript = TkvRenderProfile::Script(QStringLiteral("snapshot.js"));
    connect(&notifier, &QSocketNotifier::activated, this, &TkvRenderHost::readInput);
    send(TkvRenderCodec::EncodeHello());
}

TkvRenderHost::~TkvRenderHost()
{
    // Pages first: the profile must outlive every page made with it.
    for (TkvRenderJob *job : jobs)
        delete job;
    jobs.clear();
    idleViews.clear();
    for (QWebEngineView *view : parkedViews)
        delete view;
    parkedViews.clear();
    delete profile;
}

void TkvRenderHost::readInput()
{
    char buffer[65536];
    const qint64 got = kvHelperProcess::ReadSome(input, buffer, sizeof buffer);
    if (got <= 0) {
        quit(QString()); // the converter is done with us
        return;
    }
    reader.Append(buffer, got);
    while (const std::optional<QByteArray> payload = reader.Next())
        handle(*payload);
    if (reader.Failed())
        quit(QStringLiteral("a frame longer than the protocol allows"));
}

void TkvRenderHost::handle(const QByteArray &payload)
{
    std::optional<TkvRenderRequest> request = TkvRenderCodec::DecodeRequest(payload);
    if (!request) {
        quit(QStringLiteral("a message that is not a request"));
        return;
    }
    start(std::move(*request));
}

void TkvRenderHost::start(TkvRenderRequest request)
{
    const QUrl url(request.address, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("file") && scheme != QLatin1String("http") &&
                           scheme != QLatin1String("https"))) {
        TkvRenderReply failure;
        failure.id = request.id;
        failure.message =
            QStringLiteral("Cannot render \"%1\": only file:, http: and https: addresses are rendered.")
                .arg(request.address);
        send(TkvRenderCodec::EncodeReply(failure));
        return;
    }
    request.limitMs = std::clamp(request.limitMs, MinLimitMs, MaxLimitMs);
    jobs.insert(new TkvRenderJob(request, takeView(),
                                 [this](TkvRenderJob *job, const TkvRenderReply &reply) { finished(job, reply); }));
}

std::unique_ptr<QWebEngineView> TkvRenderHost::takeView()
{
    if (!idleViews.empty()) {
        std::unique_ptr<QWebEngineView> view = std::move(idleViews.back());
        idleViews.pop_back();
        return view;
    }
    auto view = std::make_unique<QWebEngineView>();
    view->setPage(new TkvRenderPage(profile, snapshotScript, view.get()));
    view->resize(1024, 768);
    view->show();
    return view;
}

void TkvRenderHost::finished(TkvRenderJob *job, const TkvRenderReply &reply)
{
    send(TkvRenderCodec::EncodeReply(reply));
    jobs.erase(job);
    std::unique_ptr<QWebEngineView> view = job->ReleaseView();
    job->deleteLater();
    if (!view || idleViews.size() + parkedViews.size() >= MaxIdleViews)
        return;
    // The finished page's scripts end with a blank page; a load started before that blank page is
    // there would be lost, so the view waits here until it is.
    QWebEngineView *parked = view.release();
    parkedViews.insert(parked);
    connect(
        parked->page(), &QWebEnginePage::loadFinished, this,
        [this, parked](bool) {
            if (parkedViews.erase(parked))
                idleViews.emplace_back(parked);
        },
        Qt::SingleShotConnection);
    parked->page()->load(QUrl(QStringLiteral("about:blank")));
}

void TkvRenderHost::send(const QByteArray &frame)
{
    if (!ending && !kvHelperProcess::WriteAll(output, frame))
        quit(QString()); // nobody reads the replies any more
}

void TkvRenderHost::quit(const QString &reason)
{
    if (ending)
        return;
    ending = true;
    notifier.setEnabled(false);
    if (!reason.isEmpty())
        std::fprintf(stderr, "web2arc-render: protocol error: %s\n", qPrintable(reason));
    QCoreApplication::exit(reason.isEmpty() ? 0 : 2);
}
