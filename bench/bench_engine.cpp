// Throughput of the archive engine on a generated site (bench/gen_site.py), driven directly: each
// worker thread takes the next page, builds its archive with TkvMhtMessage and saves it. The same run
// measures a floor: copying the archives it wrote with plain read/write calls, which is the least any
// converter writing those bytes could take. It prints pages/s, output MB/s and the ratio to the floor
// for 1 and 2 threads, to the given output folder (on disk) and to /dev/shm.
//
// usage: bench_engine SITE [--out DIR] [--pages N] [--no-shm]
//        bench_engine SITE --keep OUT    converts once (2 threads) into OUT and keeps the archives,
//                                        OUT/<path>.mht for every SITE/<path>.htm(l), for checking them
// The CPU time of each run is printed too: on a machine shared with other work, pages per CPU-second
// is the figure that does not depend on the load. It is a benchmark, not a test: it never fails a build.

#include "kvCssReferenceCache.h"
#include "kvMhtMessage.h"
#include "kvResourceCache.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct TRun
{
    double seconds = 0;
    double cpu = 0; ///< user + system time of the process during the run

    qint64 bytes = 0;
    int failures = 0;
    std::vector<QString> outputs;
};

QStringList listPages(const QString &site, int limit)
{
    QStringList pages;
    QDirIterator it(site, {QStringLiteral("*.htm"), QStringLiteral("*.html")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        pages << it.next();
    pages.sort();
    if (limit > 0 && pages.size() > limit)
        pages = pages.mid(0, limit);
    return pages;
}

TRun convertAll(const QString &site, const QStringList &pages, const QString &out, int threads)
{
    // Every run reads and encodes the shared files once itself, as a run of the program does.
    TkvResourceCache cache;
    TkvCssReferenceCache cssReferences;
    QDir(out).removeRecursively();
    // Folders first, as the converter creates them before it saves.
    for (const QString &page : pages)
        QDir().mkpath(QFileInfo(out + page.mid(site.size())).absolutePath());

    TRun run;
    run.outputs.resize(size_t(pages.size()));
    std::atomic<int> next{0};
    std::atomic<qint64> bytes{0};
    std::atomic<int> failures{0};
    const auto start = Clock::now();
    const double cpuStart = cpuSeconds();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            for (int i = next++; i < pages.size(); i = next++) {
                const QString target = out + pages[i].mid(site.size()).section(QLatin1Char('.'), 0, -2) + ".mht";
                try {
                    TkvMhtMessage message(&cache, &cssReferences);
                    message.CreateMHTMLBody(pages[i], 0, {}, {});
                    const TkvMhtStream stream = message.GetStream();
                    stream.SaveToFile(target, 2);
                    bytes += stream.Size();
                    run.outputs[size_t(i)] = target;
                } catch (const std::exception &e) {
                    if (failures++ < 20)
                        std::fprintf(stderr, "%s\n", e.what());
                }
            }
        });
    }
    for (std::thread &w : workers)
        w.join();
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.cpu = cpuSeconds() - cpuStart;
    run.bytes = bytes;
    run.failures = failures;
    return run;
}

/// Copies every archive of `run` with plain read/write calls (as cp does) into `out`; returns seconds.
double copyFloor(const TRun &run, const QString &from, const QString &out, int threads)
{
    QDir(out).removeRecursively();
    for (const QString &file : run.outputs)
        if (!file.isEmpty())
            QDir().mkpath(QFileInfo(out + file.mid(from.size())).absolutePath());
    std::atomic<size_t> next{0};
    const auto start = Clock::now();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            std::vector<char> buffer(1 << 20);
            for (size_t i = next++; i < run.outputs.size(); i = next++) {
                const QString &file = run.outputs[i];
                if (file.isEmpty())
                    continue;
                const int in = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
                const int to = ::open(QFile::encodeName(out + file.mid(from.size())).constData(),
                                      O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
                ssize_t n;
                while (in >= 0 && to >= 0 && (n = ::read(in, buffer.data(), buffer.size())) > 0)
                    if (::write(to, buffer.data(), size_t(n)) != n)
                        break;
                if (in >= 0)
                    ::close(in);
                if (to >= 0)
                    ::close(to);
            }
        });
    }
    for (std::thread &w : workers)
        w.join();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void measure(const QString &site, const QStringList &pages, const QString &base, const char *label)
{
    for (int threads : {1, 2}) {
        const QString out = base + QStringLiteral("/out");
        const TRun run = convertAll(site, pages, out, threads);
        const double floor = copyFloor(run, out, base + QStringLiteral("/floor"), threads);
        const double mb = double(run.bytes) / 1e6;
        std::printf("%-8s threads=%d pages=%lld failures=%d time=%.2fs pages/s=%.0f output=%.0fMB MB/s=%.0f "
                    "floor=%.2fs ratio=%.2f cpu=%.2fs pages/cpu-s=%.0f\n",
                    label, threads, static_cast<long long>(pages.size()), run.failures, run.seconds,
                    pages.size() / run.seconds, mb, mb / run.seconds, floor, run.seconds / floor, run.cpu,
                    pages.size() / run.cpu);
        std::fflush(stdout);
    }
    QDir(base).removeRecursively();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.contains(QStringLiteral("--help"))) {
        std::fprintf(stderr, "usage: bench_engine SITE [--out DIR] [--pages N] [--no-shm]\n");
        return 2;
    }
    const QString site = QDir(args.takeFirst()).absolutePath();
    QString out = QDir::tempPath() + QStringLiteral("/bench_engine_out");
    int limit = 0;
    bool shm = true;
    QString keep;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--out") && i + 1 < args.size())
            out = QDir(args[++i]).absolutePath();
        else if (args[i] == QLatin1String("--pages") && i + 1 < args.size())
            limit = args[++i].toInt();
        else if (args[i] == QLatin1String("--keep") && i + 1 < args.size())
            keep = QDir(args[++i]).absolutePath();
        else if (args[i] == QLatin1String("--no-shm"))
            shm = false;
    }
    const QStringList pages = listPages(site, limit);
    if (pages.isEmpty()) {
        std::fprintf(stderr, "No pages under %s\n", qPrintable(site));
        return 2;
    }
    if (!keep.isEmpty()) {
        const TRun run = convertAll(site, pages, keep, 2);
        std::printf("%lld pages, %d failed, %.0f MB in %s\n", static_cast<long long>(pages.size()), run.failures,
                    double(run.bytes) / 1e6, qPrintable(keep));
        return run.failures ? 1 : 0;
    }
    measure(site, pages, out, "disk");
    if (shm && QFileInfo(QStringLiteral("/dev/shm")).isDir())
        measure(site, pages, QStringLiteral("/dev/shm/bench_engine_%1").arg(getpid()), "shm");
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory=%ldMB\n", usage.ru_maxrss / 1024);
    return 0;
}
