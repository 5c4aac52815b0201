// The page renderer on a folder of pages: pages per second and the peak memory of the renderer
// processes, through the converter's client as a run would use it.
//   bench_render FOLDER [PAGES=200] [THREADS=2] [PAGES_PER_HELPER=100]
// Pages are the folder's *.html files, repeated until PAGES were rendered. Memory is the resident size
// of every process below this one (the helper and the browser engine's processes), sampled every 50 ms.
#include "kvMhtMessage.h"
#include "kvRenderClient.h"
#include "kvUrl.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>

#include <atomic>
#include <cstdio>
#include <map>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

/// Resident kilobytes of every process descended from this one, and of the largest single one.
std::pair<qint64, qint64> descendantsRss()
{
    std::map<int, int> parents;
    std::map<int, qint64> rss;
    for (QDirIterator it(QStringLiteral("/proc")); it.hasNext();) {
        it.next();
        bool number = false;
        const int pid = it.fileName().toInt(&number);
        QFile status(it.filePath() + QStringLiteral("/status"));
        if (!number || !status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("PPid:"))
                parents[pid] = line.mid(5).trimmed().toInt();
            else if (line.startsWith("VmRSS:"))
                rss[pid] = line.mid(6).trimmed().split(' ').first().toLongLong();
        }
    }
    qint64 total = 0;
    qint64 largest = 0;
    for (const auto &[pid, parent] : parents) {
        for (int up = parent; up > 1; up = parents.count(up) ? parents[up] : 0) {
            if (up == int(::getpid())) {
                total += rss[pid];
                largest = std::max(largest, rss[pid]);
                break;
            }
        }
    }
    return {total, largest};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_render FOLDER [PAGES] [THREADS] [PAGES_PER_HELPER]\n");
        return 2;
    }
    QStringList pages;
    for (QDirIterator it(QString::fromLocal8Bit(argv[1]), {QStringLiteral("*.html")}, QDir::Files); it.hasNext();)
        pages << TkvUrl::FromLocalPath(it.next());
    pages.sort();
    const int total = argc > 2 ? std::atoi(argv[2]) : 200;
    const int threads = argc > 3 ? std::atoi(argv[3]) : 2;
    TkvRenderClient::TOptions options;
    options.program = QStringLiteral(WEB2ARC_RENDER_EXE);
    options.pagesPerHelper = argc > 4 ? std::atoi(argv[4]) : 100;
    if (pages.isEmpty())
        return 2;

    TkvRenderClient client(options);
    std::atomic<int> next{0};
    std::atomic<int> failed{0};
    std::atomic<int> unsettled{0};
    std::atomic<bool> done{false};
    qint64 peakTotal = 0;
    qint64 peakLargest = 0;
    std::thread sampler([&] {
        while (!done) {
            const auto [sum, largest] = descendantsRss();
            peakTotal = std::max(peakTotal, sum);
            peakLargest = std::max(peakLargest, largest);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    QElapsedTimer clock;
    clock.start();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            for (int i = next++; i < total; i = next++) {
                try {
                    if (!client.Render(pages[i % pages.size()], std::chrono::seconds(10)).settled)
                        ++unsettled;
                } catch (const EMhtError &error) {
                    ++failed;
                    std::fprintf(stderr, "%s\n", error.what());
                }
            }
        });
    }
    for (std::thread &worker : workers)
        worker.join();
    const double seconds = clock.elapsed() / 1000.0;
    done = true;
    sampler.join();
    std::printf("pages %d (%d failed, %d taken at the limit), threads %d, %.2f s, %.1f pages/s, %.0f ms per page "
                "per thread\n",
                total, int(failed), int(unsettled), threads, seconds, total / seconds, seconds * 1000 * threads / total);
    std::printf("helpers started %d; peak resident memory of the renderer processes: %lld MiB in all, "
                "%lld MiB the largest one\n",
                client.HelpersStarted(), peakTotal / 1024, peakLargest / 1024);
    return 0;
}
