#include "kvHtmlEntities.h"

#include "kvHex.h"

#include <algorithm>
#include <iterator>

namespace {

struct NamedReference
{
    std::string_view name;
    std::string_view value;
};

constexpr NamedReference References[] = {
#include "kvHtmlEntitiesTable.inc"
};

/// The longest name in the table, ";" included ("CounterClockwiseContourIntegral;").
constexpr size_t LongestName = 32;

/// WHATWG "numeric character reference end state": code points 0x80-0x9F read as windows-1252.
constexpr uint16_t Windows1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool isAlpha(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

bool isAlnum(unsigned char c)
{
    return isAlpha(c) || isDigit(c);
}

size_t decodeNumeric(std::string_view input, size_t pos, std::string &out)
{
    // input[pos] == '&', input[pos + 1] == '#'
    size_t i = pos + 2;
    bool hex = i < input.size() && (input[i] == 'x' || input[i] == 'X');
    if (hex)
        ++i;
    const size_t digitsBegin = i;
    uint32_t value = 0;
    bool overflow = false;
    for (; i < input.size(); ++i) {
        const int digit =
            hex ? TkvHex::DigitValue(static_cast<unsigned char>(input[i])) : (isDigit(input[i]) ? input[i] - '0' : -1);
        if (digit < 0)
            break;
        if (!overflow) {
            value = value * (hex ? 16 : 10) + digit;
            if (value > 0x10FFFF)
                overflow = true;
        }
    }
    if (i == digitsBegin) {
        // "absence-of-digits-in-numeric-character-reference": nothing consumed but the '&'.
        out.push_back('&');
        return 1;
    }
    if (i < input.size() && input[i] == ';')
        ++i;
    if (overflow || value == 0)
        value = 0xFFFD;
    else if (value >= 0x80 && value <= 0x9F)
        value = Windows1252[value - 0x80];
    TkvHtmlEntities::AppendUtf8(out, value);
    return i - pos;
}

} // namespace

std::string_view TkvHtmlEntities::Find(std::string_view name)
{
    const auto it = std::lower_bound(std::begin(References), std::end(References), name,
                                     [](const NamedReference &r, std::string_view n) { return r.name < n; });
    if (it != std::end(References) && it->name == name)
        return it->value;
    return {};
}

size_t TkvHtmlEntities::DecodeOne(std::string_view input, size_t pos, bool inAttribute, std::string &out)
{
    const size_t start = pos + 1;
    if (start < input.size() && input[start] == '#')
        return decodeNumeric(input, pos, out);

    size_t run = start;
    while (run < input.size() && run - start < LongestName && isAlnum(input[run]))
        ++run;
    if (run == start) {
        out.push_back('&');
        return 1;
    }
    // The longest table entry that the input starts with: the whole alphanumeric run with its ';',
    // else the longest prefix of the run that is one of the legacy names without ';'.
    if (run < input.size() && input[run] == ';') {
        const std::string_view value = Find(input.substr(start, run + 1 - start));
        if (!value.empty()) {
            out.append(value);
            return run + 1 - pos;
        }
    }
    for (size_t length = run - start; length > 0; --length) {
        const std::string_view value = Find(input.substr(start, length));
        if (value.empty())
            continue;
        const size_t next = start + length;
        if (inAttribute && next < input.size() && (input[next] == '=' || isAlnum(input[next])))
            break; // historical reasons: "&copy=..." stays as written in attribute values
        out.append(value);
        return next - pos;
    }
    out.push_back('&');
    return 1;
}

void TkvHtmlEntities::AppendDecoded(std::string_view raw, bool inAttribute, std::string &out)
{
    size_t i = 0;
    while (i < raw.size()) {
        size_t j = i;
        while (j < raw.size() && raw[j] != '&' && raw[j] != '\r' && raw[j] != '\0')
            ++j;
        out.append(raw.data() + i, j - i);
        if (j == raw.size())
            break;
        if (raw[j] == '&') {
            j += DecodeOne(raw, j, inAttribute, out);
        } else if (raw[j] == '\r') {
            out.push_back('\n');
            j += (j + 1 < raw.size() && raw[j + 1] == '\n') ? 2 : 1;
        } else {
            out.append("\xEF\xBF\xBD");
            ++j;
        }
        i = j;
    }
}

std::string TkvHtmlEntities::Decode(std::string_view raw, bool inAttribute)
{
    std::string out;
    out.reserve(raw.size());
    AppendDecoded(raw, inAttribute, out);
    return out;
}

void TkvHtmlEntities::AppendUtf8(std::string &out, uint32_t cp)
{
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    if (cp < 0x80) {
        out.push_back(char(cp));
    } else if (cp < 0x800) {
        out.push_back(char(0xC0 | (cp >> 6)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(char(0xE0 | (cp >> 12)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (cp >> 18)));
        out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    }
}
