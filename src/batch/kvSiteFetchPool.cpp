#include "kvSiteFetchPool.h"

#include <exception>

TkvSiteFetchPool::TkvSiteFetchPool(TkvFetcher &fetcher, int connections, std::chrono::milliseconds delay)
    : fetcher(fetcher), delay(std::max(delay, std::chrono::milliseconds(0))),
      nextStart(std::chrono::steady_clock::now() + this->delay)
{
    const int count = this->delay.count() > 0 ? 1 : std::max(1, connections);
    workers.reserve(size_t(count));
    for (int i = 0; i < count; ++i)
        workers.emplace_back([this] { work(); });
}

TkvSiteFetchPool::~TkvSiteFetchPool()
{
    {
        std::lock_guard guard(mutex);
        closing = true;
        jobs.clear();
    }
    jobReady.notify_all();
    for (std::thread &worker : workers)
        worker.join();
}

void TkvSiteFetchPool::Submit(const QString &url)
{
    {
        std::lock_guard guard(mutex);
        jobs.emplace_back(submitted++, url);
    }
    jobReady.notify_one();
}

int TkvSiteFetchPool::Outstanding() const
{
    std::lock_guard guard(mutex);
    return int(submitted - taken);
}

std::optional<TkvSiteFetchPool::TOutcome> TkvSiteFetchPool::TakeNext(const std::function<bool()> &stop)
{
    std::unique_lock lock(mutex);
    if (taken == submitted)
        return std::nullopt;
    // The stop request is a plain flag of the caller's: look at it now and then.
    while (done.find(taken) == done.end()) {
        if (stop && stop())
            return std::nullopt;
        outcomeReady.wait_for(lock, std::chrono::milliseconds(50));
    }
    auto node = done.extract(taken++);
    return std::move(node.mapped());
}

void TkvSiteFetchPool::work()
{
    std::unique_lock lock(mutex);
    for (;;) {
        jobReady.wait(lock, [this] { return closing || !jobs.empty(); });
        if (closing)
            return;
        if (delay.count() > 0) {
            // The only worker: nobody else starts a request meanwhile.
            if (jobReady.wait_until(lock, nextStart, [this] { return closing; }))
                return;
        }
        auto [sequence, url] = std::move(jobs.front());
        jobs.pop_front();
        lock.unlock();
        TOutcome outcome = fetch(url);
        lock.lock();
        nextStart = std::chrono::steady_clock::now() + delay;
        done.emplace(sequence, std::move(outcome));
        outcomeReady.notify_all();
    }
}

TkvSiteFetchPool::TOutcome TkvSiteFetchPool::fetch(const QString &url)
{
    TOutcome outcome;
    outcome.url = url;
    const QString unexplained = QStringLiteral("Cannot fetch \"%1\": the fetch failed without a reason.").arg(url);
    try {
        outcome.result = fetcher.Fetch(url);
    } catch (const std::exception &e) {
        outcome.error = e.what()[0] ? QString::fromUtf8(e.what()) : unexplained;
    } catch (...) {
        outcome.error = unexplained; // a worker must not end the process
    }
    return outcome;
}
