#include "kvSrcset.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

inline bool isWhitespace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

/// "valid non-negative integer": one or more ASCII digits, nothing else.
bool parseInteger(std::string_view text, long &value)
{
    if (text.empty())
        return false;
    value = 0;
    for (char c : text) {
        if (!isDigit(c))
            return false;
        if (value < 1000000000L)
            value = value * 10 + (c - '0');
    }
    return true;
}

/// "valid floating-point number": -? (digits | digits.digits | .digits) ([eE] [+-]? digits)?
bool parseFloat(std::string_view text, double &value)
{
    size_t i = 0;
    const size_t n = text.size();
    if (i < n && text[i] == '-')
        ++i;
    const size_t intBegin = i;
    while (i < n && isDigit(text[i]))
        ++i;
    bool digits = i > intBegin;
    if (i < n && text[i] == '.') {
        ++i;
        const size_t fracBegin = i;
        while (i < n && isDigit(text[i]))
            ++i;
        if (i == fracBegin)
            return false;
        digits = true;
    }
    if (!digits)
        return false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-'))
            ++i;
        const size_t expBegin = i;
        while (i < n && isDigit(text[i]))
            ++i;
        if (i == expBegin)
            return false;
    }
    if (i != n)
        return false;
    value = std::strtod(std::string(text).c_str(), nullptr);
    return std::isfinite(value);
}

/// Applies the descriptors to `candidate`; false when the candidate is to be dropped.
bool parseDescriptors(const std::vector<std::string_view> &descriptors, TkvSrcsetCandidate &candidate)
{
    bool hasWidth = false, hasHeight = false, hasDensity = false;
    for (std::string_view d : descriptors) {
        const char last = d.back();
        const std::string_view number = d.substr(0, d.size() - 1);
        long integer = 0;
        double real = 0;
        if (last == 'w' && parseInteger(number, integer)) {
            if (hasWidth || hasDensity || integer == 0)
                return false;
            hasWidth = true;
            candidate.width = integer;
        } else if (last == 'x' && parseFloat(number, real)) {
            if (hasWidth || hasDensity || hasHeight || real < 0)
                return false;
            hasDensity = true;
            candidate.density = real;
        } else if (last == 'h' && parseInteger(number, integer)) {
            if (hasHeight || hasDensity || integer == 0)
                return false;
            hasHeight = true;
            candidate.height = integer;
        } else {
            return false;
        }
    }
    return !(hasHeight && !hasWidth);
}

} // namespace

std::vector<TkvSrcsetCandidate> ParseSrcset(std::string_view srcset)
{
    std::vector<TkvSrcsetCandidate> candidates;
    std::vector<std::string_view> descriptors;
    const size_t n = srcset.size();
    size_t i = 0;
    for (;;) {
        while (i < n && (isWhitespace(srcset[i]) || srcset[i] == ','))
            ++i;
        if (i >= n)
            return candidates;
        TkvSrcsetCandidate candidate;
        candidate.begin = i;
        while (i < n && !isWhitespace(srcset[i]))
            ++i;
        candidate.end = i;
        descriptors.clear();
        if (srcset[candidate.end - 1] == ',') {
            // Trailing commas end the candidate; it has no descriptors.
            while (candidate.end > candidate.begin && srcset[candidate.end - 1] == ',')
                --candidate.end;
        } else {
            // The descriptor tokenizer: white space separates descriptors, a comma outside
            // parentheses ends the candidate.
            while (i < n && isWhitespace(srcset[i]))
                ++i;
            size_t current = i;
            bool inParens = false;
            for (;;) {
                if (i >= n) {
                    if (i > current)
                        descriptors.push_back(srcset.substr(current, i - current));
                    break;
                }
                const char c = srcset[i];
                if (inParens) {
                    if (c == ')')
                        inParens = false;
                    ++i;
                    continue;
                }
                if (isWhitespace(c)) {
                    if (i > current)
                        descriptors.push_back(srcset.substr(current, i - current));
                    while (i < n && isWhitespace(srcset[i]))
                        ++i;
                    current = i;
                    continue;
                }
                if (c == ',') {
                    if (i > current)
                        descriptors.push_back(srcset.substr(current, i - current));
                    ++i;
                    break;
                }
                if (c == '(')
                    inParens = true;
                ++i;
            }
        }
        if (candidate.end == candidate.begin)
            continue;
        candidate.url = srcset.substr(candidate.begin, candidate.end - candidate.begin);
        if (parseDescriptors(descriptors, candidate))
            candidates.push_back(candidate);
    }
}
