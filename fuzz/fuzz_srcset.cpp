// Parses arbitrary bytes as a srcset attribute and checks the candidates: in order, each URL the
// exact bytes of its range, never empty, free of white space and not ending in a comma.

#include "kvSrcset.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    size_t previous = 0;
    for (const TkvSrcsetCandidate &c : ParseSrcset(input)) {
        if (c.begin >= c.end || c.end > size || c.begin < previous || c.url != input.substr(c.begin, c.end - c.begin))
            std::abort();
        if (c.url.back() == ',' || c.url.find_first_of(" \t\n\r\f") != std::string_view::npos)
            std::abort();
        if (c.width < 0 || c.height < 0 || c.density < 0 || (c.height && !c.width))
            std::abort();
        previous = c.end;
    }
    return 0;
}
