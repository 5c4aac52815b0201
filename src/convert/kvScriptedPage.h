#pragma once

#include "kvMhtMessage.h"
#include "kvPageRenderer.h"

#include <chrono>
#include <memory>

/// How the archive engine reads a page when scripts are to run: the page and its frames are read
/// once; when none of them has a script, the engine archives what was read, exactly as it would
/// without scripts; otherwise the renderer loads the page, and the engine archives the documents as
/// the scripts left them, reading every resource they use (and any frame the renderer did not give)
/// by its own rules, with the page's address as base.
///
/// Use: message.FetcherFactory = TkvScriptedPage::Factory(renderer); then CreateMHTMLBody as usual.
/// Stateless; any thread.
class TkvScriptedPage
{
public:
    static constexpr std::chrono::milliseconds DefaultLimit{10000};

    /// A factory for TkvMhtMessage::FetcherFactory. REQUIRES: `renderer` outlives every message it is
    /// set on.
    static TkvMhtMessage::TFetcherFactory Factory(TkvPageRenderer &renderer,
                                                  std::chrono::milliseconds limit = DefaultLimit);
    /// What the factory does for one page: the fetcher that answers `pageUrl` and its frames, reading
    /// everything else through `inner`. Throws EMhtError when the page cannot be read or rendered, or
    /// when its scripts took it from a local file to a web address or back (it would then be archived
    /// by the other kind's rules).
    static std::unique_ptr<TkvFetcher> MakeFetcher(TkvPageRenderer &renderer, std::chrono::milliseconds limit,
                                                   const QString &pageUrl, std::unique_ptr<TkvFetcher> inner);
};
