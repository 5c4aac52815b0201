#include "kvCssScanner.h"

#include "kvHex.h"
#include "kvHtmlEntities.h"

#include <cstring>

namespace {

inline bool isNewline(unsigned char c)
{
    return c == '\n' || c == '\r' || c == '\f';
}

inline bool isWhitespace(unsigned char c)
{
    return c == ' ' || c == '\t' || isNewline(c);
}

inline bool isDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

inline bool isNameStart(unsigned char c)
{
    return ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '_' || c >= 0x80 || c == 0;
}

inline bool isName(unsigned char c)
{
    return isNameStart(c) || isDigit(c) || c == '-';
}

inline bool isNonPrintable(unsigned char c)
{
    return c <= 0x08 || c == 0x0B || (c >= 0x0E && c <= 0x1F) || c == 0x7F;
}

bool equalsNoCase(std::string_view text, std::string_view lowerWord)
{
    if (text.size() != lowerWord.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c |= 0x20;
        if (c != (unsigned char)lowerWord[i])
            return false;
    }
    return true;
}

/// A newline counts once even when written as CR LF.
size_t skipNewline(std::string_view in, size_t at)
{
    if (in[at] == '\r' && at + 1 < in.size() && in[at + 1] == '\n')
        return at + 2;
    return at + 1;
}

} // namespace

std::vector<TkvCssReference> ScanCss(std::string_view css)
{
    return TkvCssScanner(css).Scan();
}

bool TkvCssScanner::isValidEscape(size_t at) const
{
    return at < in.size() && in[at] == '\\' && !(at + 1 < in.size() && isNewline(in[at + 1]));
}

bool TkvCssScanner::startsIdentifier(size_t at) const
{
    if (at >= in.size())
        return false;
    const unsigned char c = in[at];
    if (c == '-') {
        if (at + 1 >= in.size())
            return false;
        const unsigned char d = in[at + 1];
        return isNameStart(d) || d == '-' || isValidEscape(at + 1);
    }
    if (isNameStart(c))
        return true;
    return isValidEscape(at);
}

bool TkvCssScanner::startsNumber(size_t at) const
{
    const size_t n = in.size();
    if (at >= n)
        return false;
    size_t i = at;
    if (in[i] == '+' || in[i] == '-')
        ++i;
    if (i < n && isDigit(in[i]))
        return true;
    return i + 1 < n && in[i] == '.' && isDigit(in[i + 1]);
}

size_t TkvCssScanner::consumeEscape(size_t at, std::string &out) const
{
    const size_t n = in.size();
    if (at >= n) {
        out.append("\xEF\xBF\xBD");
        return at;
    }
    if (!TkvHex::IsDigit(static_cast<unsigned char>(in[at]))) {
        if (in[at] == 0)
            out.append("\xEF\xBF\xBD");
        else
            out.push_back(in[at]);
        return at + 1;
    }
    uint32_t value = 0;
    size_t i = at;
    while (i < n && i - at < 6 && TkvHex::IsDigit(static_cast<unsigned char>(in[i]))) {
        value = value * 16 + uint32_t(TkvHex::DigitValue(static_cast<unsigned char>(in[i])));
        ++i;
    }
    if (i < n && isWhitespace(in[i]))
        i = skipNewline(in, i);
    if (value == 0)
        value = 0xFFFD;
    TkvHtmlEntities::AppendUtf8(out, value);
    return i;
}

size_t TkvCssScanner::consumeName(size_t at, std::string &out) const
{
    size_t i = at;
    while (i < in.size()) {
        const unsigned char c = in[i];
        if (c == 0) {
            out.append("\xEF\xBF\xBD");
            ++i;
        } else if (isName(c)) {
            out.push_back(char(c));
            ++i;
        } else if (isValidEscape(i)) {
            i = consumeEscape(i + 1, out);
        } else {
            break;
        }
    }
    return i;
}

size_t TkvCssScanner::consumeNumber(size_t at) const
{
    const size_t n = in.size();
    size_t i = at;
    if (in[i] == '+' || in[i] == '-')
        ++i;
    while (i < n && isDigit(in[i]))
        ++i;
    if (i + 1 < n && in[i] == '.' && isDigit(in[i + 1])) {
        i += 2;
        while (i < n && isDigit(in[i]))
            ++i;
    }
    if (i + 1 < n && (in[i] | 0x20) == 'e') {
        size_t j = i + 1;
        if (in[j] == '+' || in[j] == '-')
            ++j;
        if (j < n && isDigit(in[j])) {
            i = j;
            while (i < n && isDigit(in[i]))
                ++i;
        }
    }
    return i;
}

size_t TkvCssScanner::consumeString(size_t at, TkvCssReference &string, bool &bad) const
{
    // in[at] is the opening quote.
    const size_t n = in.size();
    const char quote = in[at];
    string.quote = quote;
    string.begin = at + 1;
    bad = false;
    size_t i = at + 1;
    while (i < n) {
        const unsigned char c = in[i];
        if (c == (unsigned char)quote) {
            string.end = i;
            return i + 1;
        }
        if (isNewline(c)) {
            bad = true; // the newline is not consumed: it starts the next token
            string.end = i;
            return i;
        }
        if (c == '\\') {
            if (i + 1 >= n) {
                ++i;
            } else if (isNewline(in[i + 1])) {
                i = skipNewline(in, i + 1); // a continued line
            } else {
                i = consumeEscape(i + 1, string.url);
            }
            continue;
        }
        if (c == 0)
            string.url.append("\xEF\xBF\xBD");
        else
            string.url.push_back(char(c));
        ++i;
    }
    string.end = n;
    return n;
}

size_t TkvCssScanner::skipBadUrl(size_t at) const
{
    size_t i = at;
    std::string ignored;
    while (i < in.size()) {
        if (in[i] == ')')
            return i + 1;
        if (isValidEscape(i)) {
            ignored.clear();
            i = consumeEscape(i + 1, ignored);
        } else {
            ++i;
        }
    }
    return i;
}

size_t TkvCssScanner::consumeUrl(size_t at, TkvCssReference &url, bool &bad) const
{
    // at: after "url(" and its leading white space.
    const size_t n = in.size();
    url.quote = 0;
    url.begin = url.end = at;
    bad = false;
    size_t i = at;
    while (i < n) {
        const unsigned char c = in[i];
        if (c == ')') {
            url.end = i;
            return i + 1;
        }
        if (isWhitespace(c)) {
            url.end = i;
            while (i < n && isWhitespace(in[i]))
                ++i;
            if (i >= n)
                return n;
            if (in[i] == ')')
                return i + 1;
            bad = true;
            return skipBadUrl(i);
        }
        if (c == '"' || c == '\'' || c == '(' || isNonPrintable(c)) {
            bad = true;
            return skipBadUrl(i + 1);
        }
        if (c == '\\') {
            if (!isValidEscape(i)) {
                bad = true;
                return skipBadUrl(i + 1);
            }
            i = consumeEscape(i + 1, url.url);
            continue;
        }
        url.url.push_back(char(c));
        ++i;
    }
    url.end = n;
    return n;
}

void TkvCssScanner::onString(TkvCssReference &&string)
{
    if (inNamespace || blocks.empty())
        return;
    if (inImport && !importRead && blocks.size() == preludeDepth) {
        importRead = true;
        string.kind = TkvCssReference::Import;
        found.push_back(std::move(string));
        return;
    }
    const Block top = blocks.back();
    if (top == Block::UrlFunction && !urlFunctionArgRead) {
        urlFunctionArgRead = true;
        string.kind = inImport && !importRead ? TkvCssReference::Import : TkvCssReference::Url;
        if (string.kind == TkvCssReference::Import)
            importRead = true;
        found.push_back(std::move(string));
    } else if (top == Block::ImageSet) {
        string.kind = TkvCssReference::ImageSet;
        found.push_back(std::move(string));
    }
}

void TkvCssScanner::onUrl(TkvCssReference &&url)
{
    if (inNamespace)
        return;
    url.kind = TkvCssReference::Url;
    if (inImport && !importRead) {
        importRead = true;
        url.kind = TkvCssReference::Import;
    }
    found.push_back(std::move(url));
}

void TkvCssScanner::onPreludeEnd()
{
    inImport = inNamespace = importRead = false;
}

std::vector<TkvCssReference> TkvCssScanner::Scan()
{
    const size_t n = in.size();
    // The bottom entry stands for the style sheet itself, so an empty stack never occurs.
    blocks.assign(1, Block::Brace);
    size_t i = 0;
    std::string name;
    while (i < n) {
        const unsigned char c = in[i];
        if (c == '/' && i + 1 < n && in[i + 1] == '*') {
            const size_t close = in.find("*/", i + 2);
            i = close == std::string_view::npos ? n : close + 2;
            continue;
        }
        if (isWhitespace(c)) {
            ++i;
            continue;
        }
        if (c == '"' || c == '\'') {
            TkvCssReference string;
            bool bad = false;
            i = consumeString(i, string, bad);
            if (!bad)
                onString(std::move(string));
            else if (blocks.back() == Block::UrlFunction)
                urlFunctionArgRead = true;
            continue;
        }
        if (isDigit(c) || ((c == '+' || c == '.' || c == '-') && startsNumber(i))) {
            i = consumeNumber(i);
            if (i < n && startsIdentifier(i)) {
                name.clear();
                i = consumeName(i, name); // a dimension: "1url(" is not a url
            }
            continue;
        }
        if (c == '@' && startsIdentifier(i + 1)) {
            name.clear();
            i = consumeName(i + 1, name);
            onPreludeEnd();
            preludeDepth = blocks.size();
            inImport = equalsNoCase(name, "import");
            inNamespace = equalsNoCase(name, "namespace");
            continue;
        }
        if (c == '#' && i + 1 < n && (isName(in[i + 1]) || isValidEscape(i + 1))) {
            name.clear();
            i = consumeName(i + 1, name); // a hash: "#url(" is not a url
            continue;
        }
        if (c == '-' && in.substr(i, 3) == "-->") {
            i += 3;
            continue;
        }
        if (startsIdentifier(i)) {
            name.clear();
            i = consumeName(i, name);
            if (i < n && in[i] == '(') {
                ++i;
                if (equalsNoCase(name, "url")) {
                    size_t j = i;
                    while (j < n && isWhitespace(in[j]))
                        ++j;
                    if (j < n && (in[j] == '"' || in[j] == '\'')) {
                        blocks.push_back(Block::UrlFunction);
                        urlFunctionArgRead = false;
                        i = j;
                        continue;
                    }
                    TkvCssReference url;
                    bool bad = false;
                    i = consumeUrl(j, url, bad);
                    if (!bad)
                        onUrl(std::move(url));
                    continue;
                }
                const bool imageSet = equalsNoCase(name, "image-set") || equalsNoCase(name, "-webkit-image-set");
                blocks.push_back(imageSet ? Block::ImageSet : Block::Paren);
            }
            if (inImport && blocks.size() == preludeDepth)
                importRead = true; // "@import foo" has no URL; nothing after it is one
            continue;
        }
        ++i;
        switch (c) {
        case '(':
            blocks.push_back(Block::Paren);
            break;
        case '[':
            blocks.push_back(Block::Bracket);
            break;
        case '{':
            if (blocks.size() == preludeDepth)
                onPreludeEnd();
            blocks.push_back(Block::Brace);
            break;
        case ')':
            if (blocks.size() > 1 && (blocks.back() == Block::Paren || blocks.back() == Block::UrlFunction ||
                                      blocks.back() == Block::ImageSet))
                blocks.pop_back();
            break;
        case ']':
            if (blocks.size() > 1 && blocks.back() == Block::Bracket)
                blocks.pop_back();
            break;
        case '}':
            if (blocks.size() == preludeDepth)
                onPreludeEnd();
            if (blocks.size() > 1 && blocks.back() == Block::Brace)
                blocks.pop_back();
            break;
        case ';':
            if (blocks.size() == preludeDepth)
                onPreludeEnd();
            break;
        default:
            break;
        }
    }
    return std::move(found);
}
