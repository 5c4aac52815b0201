// Engine-only conversion rate: converts every page named on standard input (one path per line) into
// OUT/<n>.mht with the archive engine alone, on THREADS threads, with no batch job, search, converter
// chain or log, and prints "pages bytes seconds". It is the reference the console run is measured
// against. Built and run by bench_console.py.
//
// usage: bench_console_engine OUT THREADS < list

#include "kvCssReferenceCache.h"
#include "kvMhtMessage.h"
#include "kvResourceCache.h"
#include "kvUrl.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUT THREADS < list\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const int threads = std::max(1, std::atoi(argv[2]));
    std::vector<QString> pages;
    for (std::string line; std::getline(std::cin, line);) {
        if (!line.empty())
            pages.push_back(QString::fromStdString(line));
    }

    TkvResourceCache cache; // shared by the workers, as in a run of the program
    TkvCssReferenceCache cssReferences;
    std::atomic<size_t> next{0};
    std::atomic<long long> bytes{0};
    std::atomic<int> failures{0};
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            for (size_t i = next++; i < pages.size(); i = next++) {
                const QString target = out + QStringLiteral("/%1.mht").arg(i);
                try {
                    TkvMhtMessage message(&cache, &cssReferences);
                    message.CreateMHTMLBody(TkvUrl::FromLocalPath(pages[i]), 0, QString(), QString());
                    message.GetStream().SaveToFile(target, 2);
                    bytes += QFileInfo(target).size();
                } catch (const std::exception &e) {
                    ++failures;
                    std::fprintf(stderr, "%s\n", e.what());
                }
            }
        });
    }
    for (std::thread &w : workers)
        w.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%zu %lld %.3f %d\n", pages.size(), bytes.load(), seconds, failures.load());
    return failures.load() == 0 ? 0 : 1;
}
