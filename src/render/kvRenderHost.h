#pragma once

#include "kvRenderInterceptor.h"
#include "kvRenderProtocol.h"

#include <QObject>
#include <QSocketNotifier>

#include <memory>
#include <set>
#include <vector>

class QWebEngineProfile;
class QWebEngineView;
class TkvRenderJob;

/// The renderer's side of the pipe protocol (kvRenderProtocol.h): reads requests from `input`, renders
/// each in a job of its own (as many at once as are asked for) and writes each reply to `output` as it
/// is ready. Views go back to a pool when their page is done, so a page's renderer process serves the
/// next page of the same site instead of a new one being started. The end of the input, a write that fails, or a protocol error ends the program's event loop.
///
/// Lives on the renderer's main thread.
class TkvRenderHost : public QObject
{
    Q_OBJECT
public:
    static constexpr std::uint32_t MinLimitMs = 500;
    static constexpr std::uint32_t MaxLimitMs = 600000;
    static constexpr size_t MaxIdleViews = 4;

    /// Sends the hello message at once. Reads start when the event loop runs.
    TkvRenderHost(int input, int output, QObject *parent = nullptr);
    ~TkvRenderHost() override;

private:
    void readInput();
    void handle(const QByteArray &payload);
    void start(TkvRenderRequest request);
    std::unique_ptr<QWebEngineView> takeView();
    void finished(TkvRenderJob *job, const TkvRenderReply &reply);
    void send(const QByteArray &frame);
    void quit(const QString &reason);

    int input;
    int output;
    QSocketNotifier notifier;
    TkvRenderFrameReader reader;
    TkvRenderInterceptor interceptor;
    QWebEngineProfile *profile = nullptr;
    QString snapshotScript;
    std::set<TkvRenderJob *> jobs;
    std::vector<std::unique_ptr<QWebEngineView>> idleViews; ///< views whose pages wait for a request
    std::set<QWebEngineView *> parkedViews; ///< views still leaving their last page (owned here)
    bool ending = false;
};
