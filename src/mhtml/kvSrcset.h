#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

/// One image candidate of a srcset attribute.
struct TkvSrcsetCandidate
{
    std::string_view url; ///< as written (the attribute value is already decoded); a view into the input
    size_t begin = 0;     ///< the URL's bytes in the srcset string
    size_t end = 0;
    long width = 0;     ///< the "w" descriptor, 0 when absent
    long height = 0;    ///< the "h" descriptor, 0 when absent
    double density = 0; ///< the "x" descriptor, 0 when absent
};

/// WHATWG "parse a srcset attribute" (HTML 4.8.4.3.10): the candidates a browser keeps, in order.
/// Candidates with invalid descriptors ("2q", "0w", two densities, "h" without "w", ...) are dropped
/// as a browser drops them, so their URLs are not loaded. Offsets refer to `srcset` itself.
/// Stateless; safe on any thread; the result views into `srcset`, which must outlive it.
std::vector<TkvSrcsetCandidate> ParseSrcset(std::string_view srcset);
