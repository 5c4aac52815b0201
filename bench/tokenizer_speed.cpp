// Throughput of the HTML tokenizer on one core, and its growth on deeply nested unclosed tags.
//
//   tokenizer_speed [page.html ...]
//
// Without arguments it reads every page of tests/fixtures/pages. Each input is tokenized repeatedly
// until at least 2 s have passed; the result is MB/s over all inputs. Then 20,000, 40,000 and 80,000
// nested unclosed tags of a few kinds are tokenized (the last kind, tables and foreign content, opens
// more elements than the tree state keeps open), to show that the time grows linearly. Times are the
// process's CPU time. Prints only; it never fails.

#include "kvCssScanner.h"
#include "kvHtmlTokenizer.h"

#include <chrono>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

/// Process CPU time, so that other programs on a busy machine do not count against the tokenizer.
struct Clock
{
    using duration = std::chrono::nanoseconds;
    using time_point = std::chrono::time_point<Clock, duration>;
    static time_point now()
    {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return time_point(duration(t.tv_sec * 1000000000LL + t.tv_nsec));
    }
};

std::string readFile(const std::filesystem::path &path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

/// Tokenizes `html` once; returns a checksum so the work cannot be optimised away.
size_t tokenizeOnce(const std::string &html)
{
    TkvHtmlTokenizer tokenizer(html);
    TkvHtmlToken token;
    size_t sum = 0;
    while (tokenizer.Next(token))
        sum += token.end - token.begin + token.attributes.size();
    return sum;
}

double secondsFor(const std::string &html, int rounds, size_t &checksum)
{
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i)
        checksum += tokenizeOnce(html);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string repeat(const std::string &piece, int count)
{
    std::string out;
    out.reserve(piece.size() * count);
    for (int i = 0; i < count; ++i)
        out += piece;
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::filesystem::path> paths;
    for (int i = 1; i < argc; ++i)
        paths.emplace_back(argv[i]);
    if (paths.empty()) {
        for (const auto &entry : std::filesystem::directory_iterator(WEB2ARC_FIXTURES "/pages"))
            if (entry.path().extension() == ".html" || entry.path().extension() == ".htm")
                paths.push_back(entry.path());
    }
    std::vector<std::string> pages;
    size_t totalBytes = 0;
    for (const auto &path : paths) {
        pages.push_back(readFile(path));
        totalBytes += pages.back().size();
    }
    if (totalBytes == 0) {
        std::fprintf(stderr, "No input pages.\n");
        return 0;
    }

    size_t checksum = 0;
    size_t bytes = 0;
    double seconds = 0;
    while (seconds < 2.0) {
        for (const std::string &page : pages) {
            seconds += secondsFor(page, 20, checksum);
            bytes += page.size() * 20;
        }
    }
    std::printf("pages: %zu files, %zu bytes\n", pages.size(), totalBytes);
    std::printf("tokenizer: %.1f MB/s (%zu bytes in %.2f s)\n", bytes / seconds / 1e6, bytes, seconds);

    size_t cssBytes = 0;
    double cssSeconds = 0;
    for (const std::string &page : pages) {
        // Style sheet speed on the pages' own text (most of it is not CSS, which is the slow path).
        const auto start = Clock::now();
        for (int i = 0; i < 20; ++i)
            checksum += ScanCss(page).size();
        cssSeconds += std::chrono::duration<double>(Clock::now() - start).count();
        cssBytes += page.size() * 20;
    }
    std::printf("css scanner: %.1f MB/s\n", cssBytes / cssSeconds / 1e6);

    for (const char *piece : {"<div>", "<svg><g>", "<a href=x><b>", "<div><span><table><tr><td><svg><math>"}) {
        for (int count : {20000, 40000, 80000}) {
            const std::string html = repeat(piece, count);
            const double t = secondsFor(html, 5, checksum) / 5;
            std::printf("%6d nested %-38s %8.3f ms\n", count, piece, t * 1e3);
        }
    }
    std::printf("(checksum %zu)\n", checksum);
    return 0;
}
