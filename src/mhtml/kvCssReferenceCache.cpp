#include "kvCssReferenceCache.h"

#include "kvCharset.h"
#include "kvResourceCache.h"

std::vector<TkvFoundResource> TkvCssReferenceCache::Scan(const TkvCachedPart &part)
{
    TkvResourceCollector collector(part.url, TkvCharset::FromContentType(part.contentType));
    collector.ScanCss({part.bytes.constData(), size_t(part.bytes.size())}, part.url);
    return collector.Resources();
}

std::vector<TkvFoundResource> TkvCssReferenceCache::Get(const std::shared_ptr<const TkvCachedPart> &part)
{
    {
        std::lock_guard lock(mutex);
        const auto it = entries.find(part->url);
        if (it != entries.end() && it->second.part.lock() == part)
            return it->second.refs;
    }
    // Scanned outside the lock: other workers go on meanwhile, and a sheet scanned twice at once is
    // only scanned twice.
    std::vector<TkvFoundResource> refs = Scan(*part);
    std::lock_guard lock(mutex);
    if (entries.size() > MaxEntries)
        entries.clear();
    entries[part->url] = {part, refs};
    return refs;
}
