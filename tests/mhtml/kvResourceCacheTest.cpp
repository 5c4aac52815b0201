#include "kvResourceCache.h"

#include "kvFileFetcher.h"
#include "kvUrl.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

namespace {

std::shared_ptr<TkvCachedPart> part(const QString &url, qsizetype size = 100)
{
    auto p = std::make_shared<TkvCachedPart>();
    p->url = url;
    p->bytes = QByteArray(size, 'x');
    p->contentType = QStringLiteral("image/png");
    return p;
}

std::shared_ptr<TkvCachedPart> filePart(const QString &path)
{
    const TkvFetchResult read = TkvFileFetcher::Read(path);
    auto p = std::make_shared<TkvCachedPart>();
    p->url = TkvUrl::FromLocalPath(path);
    p->bytes = read.body;
    p->fileSize = read.fileSize;
    p->fileMtimeNs = read.fileMtimeNs;
    return p;
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

} // namespace

TEST(KvResourceCacheTest, FindsWhatWasInsertedAndSharesTheFirstCopy)
{
    TkvResourceCache cache;
    EXPECT_EQ(cache.Find(QStringLiteral("http://h/a.png")), nullptr);
    const auto first = cache.Insert(part(QStringLiteral("http://h/a.png")));
    EXPECT_EQ(cache.Find(QStringLiteral("http://h/a.png")), first);
    // A second worker that fetched the same address gets the cached part, so encoding happens once.
    const auto second = cache.Insert(part(QStringLiteral("http://h/a.png")));
    EXPECT_EQ(second, first);
    EXPECT_EQ(cache.Count(), 1);
    EXPECT_EQ(cache.UsedBytes(), TkvResourceCache::Cost(*first));
}

TEST(KvResourceCacheTest, DropsAFileEntryWhenTheFileChanges)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.css"));
    writeFile(path, "body{color:red}");
    TkvResourceCache cache;
    const QString url = TkvUrl::FromLocalPath(path);
    cache.Insert(filePart(path));
    EXPECT_NE(cache.Find(url), nullptr);

    // Same size, other modification time.
    const auto mtime = std::filesystem::last_write_time(path.toStdString());
    std::filesystem::last_write_time(path.toStdString(), mtime + std::chrono::seconds(5));
    EXPECT_EQ(cache.Find(url), nullptr);
    EXPECT_EQ(cache.Count(), 0);

    // Other size, modification time put back to what the entry was read with.
    cache.Insert(filePart(path));
    const auto stamped = std::filesystem::last_write_time(path.toStdString());
    writeFile(path, "body{color:blue}");
    std::filesystem::last_write_time(path.toStdString(), stamped);
    EXPECT_EQ(cache.Find(url), nullptr);

    // A newer read replaces the stale entry on insert.
    const auto fresh = cache.Insert(filePart(path));
    EXPECT_EQ(cache.Find(url), fresh);
    EXPECT_EQ(fresh->bytes, QByteArray("body{color:blue}"));
    QFile::remove(path);
    EXPECT_EQ(cache.Find(url), nullptr);
}

TEST(KvResourceCacheTest, EvictsTheLeastRecentlyUsedWithinTheBound)
{
    const qint64 cost = TkvResourceCache::Cost(*part(QStringLiteral("http://h/0")));
    TkvResourceCache cache(3 * cost);
    for (int i = 0; i < 3; ++i)
        cache.Insert(part(QStringLiteral("http://h/%1").arg(i)));
    EXPECT_EQ(cache.Count(), 3);
    ASSERT_NE(cache.Find(QStringLiteral("http://h/0")), nullptr); // now the most recent
    cache.Insert(part(QStringLiteral("http://h/3")));
    EXPECT_EQ(cache.Count(), 3);
    EXPECT_LE(cache.UsedBytes(), cache.MaxBytes());
    EXPECT_NE(cache.Find(QStringLiteral("http://h/0")), nullptr);
    EXPECT_EQ(cache.Find(QStringLiteral("http://h/1")), nullptr);
    EXPECT_NE(cache.Find(QStringLiteral("http://h/3")), nullptr);

    // A part larger than the whole bound is handed back but not kept, and evicts nothing.
    const auto huge = cache.Insert(part(QStringLiteral("http://h/huge"), qsizetype(cache.MaxBytes())));
    ASSERT_NE(huge, nullptr);
    EXPECT_EQ(huge->url, QStringLiteral("http://h/huge"));
    EXPECT_EQ(cache.Find(QStringLiteral("http://h/huge")), nullptr);
    EXPECT_EQ(cache.Count(), 3);
}

TEST(KvResourceCacheTest, EncodesOncePerPartAcrossThreads)
{
    const auto cached = TkvResourceCache().Insert(part(QStringLiteral("http://h/e"), 1000));
    std::atomic<int> calls{0};
    std::vector<std::thread> threads;
    std::vector<const QByteArray *> results(8);
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            results[t] = &cached->Encoded([&](const TkvCachedPart &p) {
                ++calls;
                return p.bytes.toBase64();
            });
        });
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(calls.load(), 1);
    for (const QByteArray *result : results) {
        EXPECT_EQ(result, results[0]);
        EXPECT_EQ(*result, QByteArray(1000, 'x').toBase64());
    }

    // A failing encoder stores nothing; the next call tries again.
    const auto other = part(QStringLiteral("http://h/f"));
    EXPECT_THROW(other->Encoded([](const TkvCachedPart &) -> QByteArray { throw std::runtime_error("x"); }),
                 std::runtime_error);
    EXPECT_EQ(other->Encoded([](const TkvCachedPart &) { return QByteArray("ok"); }), QByteArray("ok"));
}

TEST(KvResourceCacheTest, StaysConsistentUnderConcurrentUse)
{
    const qint64 cost = TkvResourceCache::Cost(*part(QStringLiteral("http://h/00")));
    TkvResourceCache cache(10 * cost);
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                const QString url = QStringLiteral("http://h/%1").arg((i * 7 + t) % 25, 2, 10, QLatin1Char('0'));
                const auto found = cache.Find(url);
                if (found && found->url != url)
                    ++wrong;
                if (!found && cache.Insert(part(url))->url != url)
                    ++wrong;
            }
        });
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_LE(cache.UsedBytes(), cache.MaxBytes());
    EXPECT_EQ(cache.UsedBytes(), cache.Count() * cost);
    EXPECT_EQ(cache.Count(), 10);
}

TEST(KvResourceCacheTest, RemembersRequests)
{
    TkvResourceCache cache;
    EXPECT_FALSE(cache.SeenBefore(QStringLiteral("http://h/a.png")));
    EXPECT_TRUE(cache.SeenBefore(QStringLiteral("http://h/a.png")));
    EXPECT_FALSE(cache.SeenBefore(QStringLiteral("http://h/b.png")));
    EXPECT_TRUE(cache.SeenBefore(QStringLiteral("http://h/a.png")));
}
