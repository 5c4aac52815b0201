// Differential fuzzing against gumbo: the start tags that carry references (img, link, script, style
// and the others) and their decoded attributes must be what gumbo's tree holds at the same offsets.
// Inputs on which gumbo itself is known to stray from the standard are skipped (see comparable()).
//
// A difference is a lead, not always a fault of ours: gumbo strays in places comparable() cannot
// foresee (foster parenting mixed with foreign content, for one), so each lead is settled against a
// browser with fuzz/chromium_parse.py. Run directly, the target stops at the first difference, as a
// crash. With WEB2ARC_FUZZ_DIFFERENCES=<folder> (as script/fuzz runs it) each differing input is saved
// there under a name made from its bytes and the run goes on, so that only crashes and sanitizer
// findings end it.
#include "kvHtmlTokenizerGumboCompare.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string_view>

namespace {

void saveDifference(const char *folder, std::string_view input, const std::string &difference)
{
    static int reported = 0;
    char name[4096];
    std::snprintf(name, sizeof name, "%s/difference-%016zx.html", folder, std::hash<std::string_view>{}(input));
    if (std::FILE *file = std::fopen(name, "wb")) {
        std::fwrite(input.data(), 1, input.size(), file);
        std::fclose(file);
    }
    if (++reported <= 5)
        std::fprintf(stderr, "difference (kept in %s): %s\n", name, difference.c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 8192)
        return 0; // gumbo is slow on deep nesting; small inputs find the differences
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    if (!gumbocompare::comparable(input))
        return 0;
    const std::string difference = gumbocompare::compare(input, false);
    if (difference.empty())
        return 0;
    if (const char *folder = std::getenv("WEB2ARC_FUZZ_DIFFERENCES")) {
        saveDifference(folder, input, difference);
        return 0;
    }
    std::fprintf(stderr, "difference: %s\n", difference.c_str());
    std::abort();
}
