// Differential fuzzing against gumbo: the start tags that carry references (img, link, script, style
// and the others) and their decoded attributes must be what gumbo's tree holds at the same offsets.
// Inputs on which gumbo is known to stray from the standard in a way that can be told from the input
// are skipped (see comparable()). Any other difference is a finding, and stops the run as a crash does,
// except the inputs of the reviewed list: tests/fixtures/fuzz-regressions/gumbo-known/, where Chromium
// was shown to build what the tokenizer reads (each file's Chromium view is beside it, NAME.chromium,
// as fuzz/chromium_parse.py prints it). A new difference is settled the same way: fuzz/chromium_parse.py
// FILE:OFFSET shows what the browser builds for the tag at the reported offset.
#include "kvHtmlTokenizerGumboCompare.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <string_view>

namespace {

std::set<std::string> &reviewed()
{
    static std::set<std::string> inputs;
    return inputs;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    for (const auto &entry : std::filesystem::directory_iterator(WEB2ARC_GUMBO_KNOWN)) {
        if (entry.path().extension() != ".html")
            continue;
        std::ifstream file(entry.path(), std::ios::binary);
        reviewed().insert(std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()));
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 8192)
        return 0; // gumbo is slow on deep nesting; small inputs find the differences
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    if (!gumbocompare::comparable(input))
        return 0;
    const std::string difference = gumbocompare::compare(input, false);
    if (difference.empty() || reviewed().count(std::string(input)))
        return 0;
    std::fprintf(stderr, "difference: %s\n", difference.c_str());
    std::abort();
}
