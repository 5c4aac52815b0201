// Differential fuzzing against gumbo: the start tags that carry references (img, link, script, style
// and the others) and their decoded attributes must be what gumbo's tree holds at the same offsets.
// Inputs on which gumbo itself is known to stray from the standard are skipped (see comparable()).
#include "kvHtmlTokenizerGumboCompare.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 8192)
        return 0; // gumbo is slow on deep nesting; small inputs find the differences
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    if (!gumbocompare::comparable(input))
        return 0;
    const std::string difference = gumbocompare::compare(input, false);
    if (!difference.empty()) {
        std::fprintf(stderr, "difference: %s\n", difference.c_str());
        std::abort();
    }
    return 0;
}
