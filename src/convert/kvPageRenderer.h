#pragma once

#include "kvRenderProtocol.h"

#include <QString>

#include <chrono>
#include <vector>

/// A page as its scripts left it.
struct TkvRenderedPage
{
    bool settled = false; ///< false: the page never went quiet and was taken as it stood at the limit
    /// The page's own document first, under the address it ended at (after redirects); then each
    /// frame's, under the absolute address its frame element names. HTML in UTF-8, scripts removed.
    std::vector<TkvRenderDocument> documents;
};

/// Renders pages with their scripts run: the seam between the converter and the browser engine. The
/// real one is TkvRenderClient, which runs the engine in a helper process; tests hand a fake.
///
/// Thread safety: Render from several worker threads at once; Stop from any thread.
class TkvPageRenderer
{
public:
    virtual ~TkvPageRenderer() = default;

    /// Loads `address` (file:, http: or https:), lets its scripts run until the page is quiet or
    /// `limit` has passed, and returns its documents. Throws EMhtError with a sentence naming the page
    /// when it cannot be rendered (it did not load, the renderer crashed or hung, the run was stopped).
    virtual TkvRenderedPage Render(const QString &address, std::chrono::milliseconds limit) = 0;
    /// Ends every Render under way (each throws at once) and refuses later ones. Returns promptly.
    virtual void Stop() = 0;
};
