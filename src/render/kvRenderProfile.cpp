#include "kvRenderProfile.h"

#include <QFile>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

namespace {

void restrictSettings(QWebEngineSettings *settings)
{
    using S = QWebEngineSettings;
    const std::pair<S::WebAttribute, bool> attributes[] = {
        {S::JavascriptCanOpenWindows, false},
        {S::JavascriptCanAccessClipboard, false},
        {S::JavascriptCanPaste, false},
        {S::AllowWindowActivationFromJavaScript, false},
        // A local page may use other local files (its frames, scripts, pictures) but reaches nothing on
        // the network, so whatever its scripts read stays on this machine (in the archive at most, as
        // the files it references would be anyway). A page from the web reads no local file.
        {S::LocalContentCanAccessFileUrls, true},
        {S::LocalContentCanAccessRemoteUrls, false},
        {S::AllowRunningInsecureContent, false},
        // A page that cannot be loaded is an error to report, not an error page to archive.
        {S::ErrorPageEnabled, false},
        {S::PluginsEnabled, false},
        {S::PdfViewerEnabled, false},
        {S::FullScreenSupportEnabled, false},
        {S::ScreenCaptureEnabled, false},
        {S::AutoLoadIconsForPage, false},
        {S::TouchIconsEnabled, false},
        {S::DnsPrefetchEnabled, false},
        {S::HyperlinkAuditingEnabled, false},
        {S::FocusOnNavigationEnabled, false},
        {S::NavigateOnDropEnabled, false},
        {S::PlaybackRequiresUserGesture, true},
        {S::WebRTCPublicInterfacesOnly, true},
    };
    for (const auto &[attribute, on] : attributes)
        settings->setAttribute(attribute, on);
    settings->setUnknownUrlSchemePolicy(S::DisallowUnknownUrlSchemes);
}

} // namespace

QWebEngineProfile *TkvRenderProfile::Create(QObject *parent, QWebEngineUrlRequestInterceptor *interceptor)
{
    auto *profile = new QWebEngineProfile(parent); // no storage name: off the record
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    profile->setSpellCheckEnabled(false);
    profile->setUrlRequestInterceptor(interceptor);
    QObject::connect(profile, &QWebEngineProfile::downloadRequested, profile,
                     [](QWebEngineDownloadRequest *download) { download->cancel(); });
    restrictSettings(profile->settings());

    QWebEngineScript watcher;
    watcher.setName(QStringLiteral("web2arc-request-watch"));
    watcher.setSourceCode(Script(QStringLiteral("requestWatch.js")));
    watcher.setInjectionPoint(QWebEngineScript::DocumentCreation);
    watcher.setWorldId(QWebEngineScript::MainWorld);
    watcher.setRunsOnSubFrames(true);
    profile->scripts()->insert(watcher);
    return profile;
}

QString TkvRenderProfile::Script(const QString &name)
{
    QFile file(QStringLiteral(":/render/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}
