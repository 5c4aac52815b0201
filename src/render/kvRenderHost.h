#pragma once

#include "kvRenderInterceptor.h"
#include "kvRenderProtocol.h"

#include <QObject>
#include <QSocketNotifier>

#include <set>

class QWebEngineProfile;
class TkvRenderJob;

/// The renderer's side of the pipe protocol (kvRenderProtocol.h): reads requests from `input`, renders
/// each in a job of its own (as many at once as are asked for) and writes each reply to `output` as it
/// is ready. The end of the input, a write that fails, or a protocol error ends the program's event loop.
///
/// Lives on the renderer's main thread.
class TkvRenderHost : public QObject
{
    Q_OBJECT
public:
    static constexpr std::uint32_t MinLimitMs = 500;
    static constexpr std::uint32_t MaxLimitMs = 600000;

    /// Sends the hello message at once. Reads start when the event loop runs.
    TkvRenderHost(int input, int output, QObject *parent = nullptr);
    ~TkvRenderHost() override;

private:
    void readInput();
    void handle(const QByteArray &payload);
    void start(TkvRenderRequest request);
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
    bool ending = false;
};
