#pragma once

#include <QString>

class QObject;
class QWebEngineProfile;
class QWebEngineUrlRequestInterceptor;

/// The browsing profile every page of the renderer shares: off the record (cookies, cache and storage
/// live in memory and go with the process), no downloads (each is cancelled), no pop-up windows, no
/// plug-ins or PDF viewer, no icon, DNS or link prefetching beyond what a page itself asks for, local
/// pages kept to their own file (as a browser keeps them), and the page world's request watcher in
/// every frame.
class TkvRenderProfile
{
public:
    /// A new profile owned by `parent`; `interceptor` (not owned) sees every request.
    static QWebEngineProfile *Create(QObject *parent, QWebEngineUrlRequestInterceptor *interceptor);
    /// The text of one of the renderer's scripts (built into the program). Empty when unknown.
    static QString Script(const QString &name);
};
