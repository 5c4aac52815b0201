#pragma once

#include "kvFetcher.h"

#include <string_view>
#include <utility>
#include <vector>

/// What TkvScriptProbe::Probe read: whether any document has a script, and every document it read.
struct TkvScriptProbeResult
{
    bool hasScript = false;
    /// The page first (under the address it was asked for), then each frame read, under the canonical
    /// address its frame element names.
    std::vector<std::pair<QString, TkvFetchResult>> documents;
};

/// Tells whether a page runs any script: a <script> element or an event-handler attribute (onload,
/// onclick, ... on any element, svg included), or a frame whose address is a javascript: one, in the
/// page or in any of its frames down to the archive engine's frame depth. A page without any gives the
/// same archive whether its scripts run or not, so it can skip the browser engine.
///
/// Stateless; any thread.
class TkvScriptProbe
{
public:
    /// True when the HTML (ASCII-compatible bytes) holds a script as described above.
    static bool HasScript(std::string_view html);

    /// Reads `pageUrl` and its frames (frames of frames, to depth 5) through `fetcher` and checks each,
    /// stopping at the first script found. The page's own read throws EMhtError as Fetch does; a frame
    /// that cannot be read is left out (the archive engine will leave it out as well).
    static TkvScriptProbeResult Probe(TkvFetcher &fetcher, const QString &pageUrl);
};
