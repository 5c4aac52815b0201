#pragma once

#include <QWebEngineUrlRequestInterceptor>

/// Keeps pages from the web away from local files: a file: request made by a document that is not
/// itself a local file is blocked, whatever the engine's own rules would do. The renderer's own
/// navigation to a local page (no initiator) passes.
///
/// Called by the engine on the renderer's main thread; holds no state.
class TkvRenderInterceptor : public QWebEngineUrlRequestInterceptor
{
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void interceptRequest(QWebEngineUrlRequestInfo &info) override;

    /// The rule itself: true when a request for `requested` made by a document of origin `initiator`
    /// (empty: the renderer itself) must be blocked.
    static bool Blocks(const QUrl &requested, const QUrl &initiator);
};
