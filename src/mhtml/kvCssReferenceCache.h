#pragma once

#include "kvResourceCollector.h"

#include <QHash> // std::hash<QString>
#include <QString>

#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

struct TkvCachedPart;

/// The references found in style sheets held by a resource cache, so that a sheet shared by many
/// pages is scanned once per run. An entry belongs to one part object: a part read again (a changed
/// file, a new fetch) is scanned again. It keeps at most MaxEntries sheets and then starts afresh.
///
/// Owned by the run next to its TkvResourceCache. Thread-safe: Get may be called from any thread.
class TkvCssReferenceCache
{
public:
    static constexpr size_t MaxEntries = 4096;

    /// The resources `part` (a style sheet) references, resolved against its address, in order.
    std::vector<TkvFoundResource> Get(const std::shared_ptr<const TkvCachedPart> &part);
    /// The references of `part`, found by scanning it now; what Get keeps.
    static std::vector<TkvFoundResource> Scan(const TkvCachedPart &part);

private:
    struct Entry
    {
        std::weak_ptr<const TkvCachedPart> part;
        std::vector<TkvFoundResource> refs;
    };
    std::mutex mutex;
    std::unordered_map<QString, Entry> entries;
};
