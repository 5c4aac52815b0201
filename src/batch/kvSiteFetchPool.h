#pragma once

#include "kvFetcher.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

/// The fetching of a site search: addresses handed in by the search are fetched on a few worker
/// threads, at most `connections` at a time, and their outcomes handed back strictly in the order the
/// addresses came in, so the search sees the same sequence however the fetches overlap.
///
/// With a delay between requests (a robots.txt Crawl-delay) the pool makes one request at a time and
/// starts each one `delay` after the previous one ended (the first one `delay` after the pool was made,
/// since the robots.txt was fetched just before).
///
/// Thread rules: Submit, Outstanding and TakeNext belong to the thread that made the pool. The fetcher
/// is called from the workers, several at once when `connections` > 1: its Fetch must allow that (the
/// base TkvFetcher does: it only reads its policy, and every thread keeps its own HTTP connection).
/// The destructor lets fetches under way end (their time-outs bound that) and joins the workers.
class TkvSiteFetchPool
{
public:
    /// What fetching one address gave: the response, or the reason it failed.
    struct TOutcome
    {
        QString url;           ///< the address as submitted
        TkvFetchResult result; ///< valid when error is empty
        QString error;         ///< the fetcher's sentence, empty on success
    };

    /// Starts max(1, connections) workers (one when `delay` is above zero).
    TkvSiteFetchPool(TkvFetcher &fetcher, int connections, std::chrono::milliseconds delay);
    ~TkvSiteFetchPool();
    TkvSiteFetchPool(const TkvSiteFetchPool &) = delete;
    TkvSiteFetchPool &operator=(const TkvSiteFetchPool &) = delete;

    /// Queues `url` to be fetched.
    void Submit(const QString &url);
    /// Addresses submitted whose outcome has not been taken yet.
    int Outstanding() const;
    /// The connections the pool uses.
    int Connections() const { return int(workers.size()); }
    /// Waits for the outcome of the oldest address not taken yet and returns it. Returns nothing at
    /// once when no address is outstanding, and while waiting as soon as `stop` (polled; may be null)
    /// returns true.
    std::optional<TOutcome> TakeNext(const std::function<bool()> &stop);

private:
    void work();
    TOutcome fetch(const QString &url);

    TkvFetcher &fetcher;
    const std::chrono::milliseconds delay;

    mutable std::mutex mutex;
    std::condition_variable jobReady;
    std::condition_variable outcomeReady;
    std::deque<std::pair<uint64_t, QString>> jobs; ///< sequence number, address
    std::map<uint64_t, TOutcome> done;             ///< finished and not taken, by sequence number
    uint64_t submitted = 0;
    uint64_t taken = 0;
    bool closing = false;
    std::chrono::steady_clock::time_point nextStart; ///< with a delay: when the next request may start

    std::vector<std::thread> workers;
};
