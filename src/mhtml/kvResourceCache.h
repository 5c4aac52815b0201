#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash> // std::hash<QString>
#include <QString>

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

/// One fetched resource as the archive engine stores it: immutable once in the cache, except for a
/// slot that holds the part body in its transfer encoding, computed at most once.
struct TkvCachedPart
{
    QString url;          ///< canonical URL (the cache key)
    QByteArray bytes;     ///< the resource's bytes exactly as read
    QString contentType;  ///< full Content-Type value to write (may carry a charset parameter)
    QString finalUrl;     ///< where the bytes came from after redirects (empty: same as url)
    qint64 fileSize = -1; ///< file: resources only: stamp the bytes were read with (-1: not a file)
    qint64 fileMtimeNs = 0;
    /// Set only for a page a site search read and left here for its conversion, which then takes the
    /// page from the cache instead of fetching it again: when it was read.
    QDateTime fetchedAt;

    /// The encoded part body (e.g. base64 lines), made by `encode` on the first call and returned as is
    /// on every later call, on any thread. If `encode` throws, nothing is stored and the exception
    /// propagates (a later call tries again). The reference stays valid while the part is alive.
    const QByteArray &Encoded(const std::function<QByteArray(const TkvCachedPart &)> &encode) const;

private:
    // Not std::call_once: libstdc++ builds it on pthread_once, which is not reliable when the
    // callable throws (GCC bug 66146; it hangs under ThreadSanitizer).
    mutable std::mutex encodedMutex;
    mutable std::atomic<bool> encodedReady{false};
    mutable QByteArray encoded;
};

/// A run's cache of fetched resources, shared by every worker of the run, keyed by canonical URL,
/// bounded in memory with least-recently-used eviction. An entry for a file: URL is returned only while the file's
/// size and modification time equal those it was read with (the file is stat'ed on every lookup);
/// entries for web addresses live until evicted: a run has a cache of its own, so a new run fetches
/// every web resource again.
///
/// Admission: most pages of a site have resources of their own (a photo, a chart) next to the few
/// that every page shares. Caching the former would only push the shared ones out and hold memory
/// for nothing, so callers ask SeenBefore() on a miss and insert only what was asked for before; a
/// shared resource is then read twice (by the first two pages that use it) and reused from then on.
///
/// Thread-safe: every method may be called from any thread. Returned parts are shared and immutable,
/// so they stay valid after eviction for as long as a caller holds them.
class TkvResourceCache
{
public:
    static constexpr qint64 DefaultMaxBytes = 64LL * 1024 * 1024;

    explicit TkvResourceCache(qint64 maxBytes = DefaultMaxBytes);

    /// The cached part for `url`, or nullptr when absent or (for files) stale; a stale entry is dropped.
    std::shared_ptr<const TkvCachedPart> Find(const QString &url);

    /// Stores `part` under part->url and returns the part the cache now holds for that URL: when a
    /// fresh entry is already there (another worker was faster), that one, so its encoded slot is
    /// shared. A part larger than the bound is returned but not kept. REQUIRES: part != nullptr.
    std::shared_ptr<const TkvCachedPart> Insert(std::shared_ptr<TkvCachedPart> part);

    /// Records a request for `url` and tells whether it was requested before.
    /// The record keeps hashes of the last 65,536 distinct addresses at most; a collision only
    /// admits a part one request early.
    bool SeenBefore(const QString &url);

    qint64 MaxBytes() const { return maxBytes; }
    qint64 UsedBytes() const;
    int Count() const;

    /// Memory charged for a part: its bytes, its URL and content type, and room for the encoded body.
    static qint64 Cost(const TkvCachedPart &part);

private:
    struct Entry
    {
        std::shared_ptr<const TkvCachedPart> part;
        qint64 cost = 0;
        std::list<QString>::iterator lru;
    };

    bool isFresh(const TkvCachedPart &part) const;
    void eraseLocked(std::unordered_map<QString, Entry>::iterator it);

    const qint64 maxBytes;
    mutable std::mutex mutex;
    std::unordered_map<QString, Entry> entries;
    std::list<QString> order; ///< most recently used first
    qint64 used = 0;
    std::unordered_set<size_t> seen; ///< hashes of requested addresses
};
