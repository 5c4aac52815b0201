#include "kvResourceCache.h"

#include "kvFileFetcher.h"
#include "kvUrl.h"

const QByteArray &TkvCachedPart::Encoded(const std::function<QByteArray(const TkvCachedPart &)> &encode) const
{
    if (encodedReady.load(std::memory_order_acquire))
        return encoded;
    std::lock_guard lock(encodedMutex);
    if (!encodedReady.load(std::memory_order_relaxed)) {
        encoded = encode(*this); // a throw leaves the slot empty and unlocks
        encodedReady.store(true, std::memory_order_release);
    }
    return encoded;
}

TkvResourceCache::TkvResourceCache(qint64 maxBytes) : maxBytes(maxBytes)
{}

qint64 TkvResourceCache::Cost(const TkvCachedPart &part)
{
    // The encoded body is made later and at most once: base64 needs 4/3 of the bytes plus line ends,
    // quoted-printable rarely more, so room for 1.4 times the bytes is charged up front.
    const qint64 bytes = part.bytes.size();
    const qint64 text = 2 * (part.url.size() + part.contentType.size() + part.finalUrl.size());
    return bytes + bytes * 7 / 5 + text + 256;
}

bool TkvResourceCache::isFresh(const TkvCachedPart &part) const
{
    if (part.fileSize < 0)
        return true;
    const QString path = TkvUrl::ToLocalPath(part.url);
    const auto stamp = TkvFileFetcher::Stamp(path);
    return stamp && stamp->size == part.fileSize && stamp->mtimeNs == part.fileMtimeNs;
}

void TkvResourceCache::eraseLocked(std::unordered_map<QString, Entry>::iterator it)
{
    used -= it->second.cost;
    order.erase(it->second.lru);
    entries.erase(it);
}

std::shared_ptr<const TkvCachedPart> TkvResourceCache::Find(const QString &url)
{
    std::shared_ptr<const TkvCachedPart> part;
    {
        std::lock_guard lock(mutex);
        const auto it = entries.find(url);
        if (it == entries.end())
            return nullptr;
        part = it->second.part;
        order.splice(order.begin(), order, it->second.lru);
    }
    // The stat runs outside the lock so a slow disk does not hold up the other workers.
    if (isFresh(*part))
        return part;
    std::lock_guard lock(mutex);
    const auto it = entries.find(url);
    if (it != entries.end() && it->second.part == part)
        eraseLocked(it);
    return nullptr;
}

std::shared_ptr<const TkvCachedPart> TkvResourceCache::Insert(std::shared_ptr<TkvCachedPart> part)
{
    std::shared_ptr<const TkvCachedPart> held = std::move(part);
    const qint64 cost = Cost(*held);
    std::lock_guard lock(mutex);
    const auto it = entries.find(held->url);
    if (it != entries.end()) {
        const TkvCachedPart &old = *it->second.part;
        // The same file read with the same stamp, or the same web address: keep the first one so its
        // encoded form is shared. A different stamp means the new bytes are newer.
        if (old.fileSize == held->fileSize && old.fileMtimeNs == held->fileMtimeNs) {
            order.splice(order.begin(), order, it->second.lru);
            return it->second.part;
        }
        eraseLocked(it);
    }
    if (cost > maxBytes)
        return held;
    while (used + cost > maxBytes && !order.empty())
        eraseLocked(entries.find(order.back()));
    order.push_front(held->url);
    entries.emplace(held->url, Entry{held, cost, order.begin()});
    used += cost;
    return held;
}

bool TkvResourceCache::SeenBefore(const QString &url)
{
    const size_t key = qHash(url, size_t(0x9E3779B97F4A7C15ULL));
    std::lock_guard lock(mutex);
    if (seen.count(key))
        return true;
    if (seen.size() >= 65536)
        seen.clear(); // a long run forgets the oldest addresses wholesale: at worst one more read each
    seen.insert(key);
    return false;
}

qint64 TkvResourceCache::UsedBytes() const
{
    std::lock_guard lock(mutex);
    return used;
}

int TkvResourceCache::Count() const
{
    std::lock_guard lock(mutex);
    return int(entries.size());
}
