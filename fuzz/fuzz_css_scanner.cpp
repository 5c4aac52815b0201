// Scans arbitrary bytes as a style sheet and checks the references: in input order, ranges inside
// the input, a string's range right after its quote, and a value without escapes equal to its bytes.

#include "kvCssScanner.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const std::vector<TkvCssReference> references = ScanCss(input);
    size_t previous = 0;
    for (const TkvCssReference &r : references) {
        if (r.begin > r.end || r.end > size || r.begin < previous)
            std::abort();
        if (r.quote != 0 && (r.begin == 0 || input[r.begin - 1] != r.quote))
            std::abort();
        const std::string_view raw = input.substr(r.begin, r.end - r.begin);
        if (raw.find('\\') == std::string_view::npos && raw.find('\0') == std::string_view::npos && r.url != raw)
            std::abort();
        previous = r.end;
    }
    return 0;
}
