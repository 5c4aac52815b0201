#include "kvHtmlTokenizer.h"

#include "kvHtmlEntities.h"

#include <cstring>

namespace {

constexpr const char *ReplacementCharacter = "\xEF\xBF\xBD";

/// Tags after which the number of attributes makes a hash set cheaper than a linear duplicate check.
constexpr size_t ManyAttributes = 24;

inline bool isWhitespace(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

inline bool isAlpha(unsigned char c)
{
    return (unsigned char)((c | 0x20) - 'a') < 26;
}

inline char toLower(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c | 0x20) : char(c);
}

/// Appends a tag or attribute name: ASCII lower-cased, NUL replaced.
void appendName(std::string &out, std::string_view raw)
{
    for (unsigned char c : raw) {
        if (c == 0)
            out.append(ReplacementCharacter);
        else
            out.push_back(toLower(c));
    }
}

bool startsWithNoCase(std::string_view input, size_t at, std::string_view lowerWord)
{
    if (at > input.size() || input.size() - at < lowerWord.size())
        return false;
    for (size_t i = 0; i < lowerWord.size(); ++i)
        if (toLower(input[at + i]) != lowerWord[i])
            return false;
    return true;
}

} // namespace

const TkvHtmlToken::Attribute *TkvHtmlToken::Find(std::string_view attributeName) const
{
    for (const Attribute &a : attributes)
        if (a.name == attributeName)
            return &a;
    return nullptr;
}

TkvHtmlTokenizer::TkvHtmlTokenizer(std::string_view input) : in(input)
{
    // A decoder drops a UTF-8 byte order mark; read as text it would end the DOCTYPE's say over quirks mode.
    if (in.substr(0, 3) == "\xEF\xBB\xBF")
        pos = 3;
}

bool TkvHtmlTokenizer::emitText(TkvHtmlToken &token, size_t from, size_t to)
{
    token.kind = TkvHtmlToken::Text;
    token.name.clear();
    token.selfClosing = false;
    token.attributes.clear();
    token.begin = from;
    token.end = to;
    token.text = in.substr(from, to - from);
    return true;
}

bool TkvHtmlTokenizer::emitCharacterData(TkvHtmlToken &token, size_t from, size_t to)
{
    emitText(token, from, to);
    tree.AfterText(token.text);
    return true;
}

bool TkvHtmlTokenizer::Next(TkvHtmlToken &token)
{
    const size_t n = in.size();
    while (pos < n) {
        if (mode == Mode::PlainText) {
            const size_t from = pos;
            pos = n;
            return emitText(token, from, n);
        }
        if (mode != Mode::Data) {
            const size_t end = mode == Mode::ScriptData ? findScriptEnd(pos) : findRawTextEnd(pos);
            mode = Mode::Data;
            if (end > pos) {
                const size_t from = pos;
                pos = end;
                return emitText(token, from, end);
            }
            continue;
        }

        // Data state: character data runs up to the next '<' that starts markup.
        size_t textBegin = pos;
        size_t i = pos;
        for (;;) {
            const void *lt = i < n ? std::memchr(in.data() + i, '<', n - i) : nullptr;
            if (!lt) {
                pos = n;
                if (n > textBegin)
                    return emitCharacterData(token, textBegin, n);
                break;
            }
            const size_t q = static_cast<const char *>(lt) - in.data();
            if (q + 1 >= n) {
                i = n;
                continue;
            }
            const unsigned char c = in[q + 1];
            bool markup = isAlpha(c) || c == '!' || c == '?';
            if (c == '/') {
                if (q + 2 >= n) {
                    i = n; // "</" at the end is text
                    continue;
                }
                if (in[q + 2] == '>') {
                    // "</>" is dropped: it ends the run but produces no token.
                    if (q > textBegin) {
                        pos = q + 3;
                        return emitCharacterData(token, textBegin, q);
                    }
                    textBegin = i = q + 3;
                    continue;
                }
                markup = true;
            }
            if (!markup) {
                i = q + 1;
                continue;
            }
            if (q > textBegin) {
                pos = q;
                return emitCharacterData(token, textBegin, q);
            }
            // Markup at the current position.
            if (c == '!') {
                parseMarkupDeclaration(token, q);
                return true;
            }
            if (c == '?') {
                parseBogusComment(token, q, q + 1);
                return true;
            }
            if (c == '/') {
                if (!isAlpha(in[q + 2])) {
                    parseBogusComment(token, q, q + 2);
                    return true;
                }
                if (!parseTag(token, q, true)) {
                    pos = n; // the input ends inside the tag: the tag is dropped
                    break;
                }
                tree.AfterEndTag(token);
                return true;
            }
            if (!parseTag(token, q, false)) {
                pos = n;
                break;
            }
            mode = tree.AfterStartTag(token);
            if (mode != Mode::Data)
                endTagName = token.name;
            return true;
        }
    }
    pos = n;
    token = TkvHtmlToken{};
    token.begin = token.end = n;
    return false;
}

bool TkvHtmlTokenizer::isDuplicate(const TkvHtmlToken &token, size_t count, const std::string &name)
{
    if (count < ManyAttributes) {
        for (size_t i = 0; i < count; ++i)
            if (token.attributes[i].name == name)
                return true;
        return false;
    }
    if (count == ManyAttributes) {
        seenNames.clear();
        for (size_t i = 0; i < count; ++i)
            seenNames.insert(token.attributes[i].name);
    }
    return !seenNames.insert(name).second;
}

bool TkvHtmlTokenizer::parseTag(TkvHtmlToken &token, size_t at, bool endTag)
{
    const size_t n = in.size();
    token.kind = endTag ? TkvHtmlToken::EndTag : TkvHtmlToken::StartTag;
    token.selfClosing = false;
    token.begin = at;
    token.text = {};
    token.name.clear();

    size_t i = at + (endTag ? 2 : 1);
    const size_t nameBegin = i;
    while (i < n && !isWhitespace(in[i]) && in[i] != '/' && in[i] != '>')
        ++i;
    appendName(token.name, in.substr(nameBegin, i - nameBegin));

    // Attributes are filled in place so that their strings keep their capacity between tokens.
    size_t count = 0;
    for (;;) {
        while (i < n && isWhitespace(in[i]))
            ++i;
        if (i >= n)
            return false;
        const char c = in[i];
        if (c == '>') {
            ++i;
            break;
        }
        if (c == '/') {
            ++i;
            if (i < n && in[i] == '>') {
                token.selfClosing = true;
                ++i;
                break;
            }
            continue;
        }

        const size_t attrNameBegin = i;
        if (c == '=')
            ++i; // a name may begin with '='
        while (i < n && !isWhitespace(in[i]) && in[i] != '/' && in[i] != '>' && in[i] != '=')
            ++i;
        const std::string_view rawName = in.substr(attrNameBegin, i - attrNameBegin);
        while (i < n && isWhitespace(in[i]))
            ++i;
        if (i >= n)
            return false;

        size_t valueBegin = i;
        size_t valueEnd = i;
        if (in[i] == '=') {
            ++i;
            while (i < n && isWhitespace(in[i]))
                ++i;
            if (i >= n)
                return false;
            const char quote = in[i];
            if (quote == '"' || quote == '\'') {
                const void *close = std::memchr(in.data() + i + 1, quote, n - i - 1);
                if (!close)
                    return false;
                valueBegin = i + 1;
                valueEnd = static_cast<const char *>(close) - in.data();
                i = valueEnd + 1;
            } else if (quote == '>') {
                valueBegin = valueEnd = i; // "missing-attribute-value": an empty value
            } else {
                valueBegin = i;
                while (i < n && !isWhitespace(in[i]) && in[i] != '>')
                    ++i;
                if (i >= n)
                    return false;
                valueEnd = i;
            }
        }
        if (endTag)
            continue; // attributes of end tags are read over and dropped

        scratch.clear();
        appendName(scratch, rawName);
        if (isDuplicate(token, count, scratch))
            continue;
        if (count == token.attributes.size())
            token.attributes.emplace_back();
        TkvHtmlToken::Attribute &a = token.attributes[count++];
        a.name.swap(scratch);
        a.value.clear();
        TkvHtmlEntities::AppendDecoded(in.substr(valueBegin, valueEnd - valueBegin), true, a.value);
        a.valueBegin = valueBegin;
        a.valueEnd = valueEnd;
    }
    token.attributes.resize(count);
    token.end = i;
    pos = i;
    return true;
}

void TkvHtmlTokenizer::parseBogusComment(TkvHtmlToken &token, size_t at, size_t dataBegin)
{
    const size_t n = in.size();
    const void *gt = std::memchr(in.data() + dataBegin, '>', n - dataBegin);
    const size_t dataEnd = gt ? static_cast<const char *>(gt) - in.data() : n;
    token = TkvHtmlToken{};
    token.kind = TkvHtmlToken::Comment;
    token.begin = at;
    token.end = pos = gt ? dataEnd + 1 : n;
    token.text = in.substr(dataBegin, dataEnd - dataBegin);
    tree.AfterComment();
}

void TkvHtmlTokenizer::parseMarkupDeclaration(TkvHtmlToken &token, size_t at)
{
    const size_t n = in.size();
    const size_t after = at + 2;
    if (in.substr(after, 2) == "--") {
        // Comment states: the comment ends at the first '>' after "--" or "--!", where the dashes of
        // "<!--" count ("<!-->" and "<!--->" are whole comments) but "<!--!>" is not one.
        const size_t dataBegin = at + 4;
        size_t j = dataBegin;
        size_t dataEnd = n;
        size_t end = n;
        while (j < n) {
            const void *gt = std::memchr(in.data() + j, '>', n - j);
            if (!gt)
                break;
            const size_t g = static_cast<const char *>(gt) - in.data();
            if (g >= at + 4 && in[g - 1] == '-' && in[g - 2] == '-') {
                dataEnd = g - 2 < dataBegin ? dataBegin : g - 2;
                end = g + 1;
                break;
            }
            if (g >= dataBegin + 3 && in[g - 1] == '!' && in[g - 2] == '-' && in[g - 3] == '-') {
                dataEnd = g - 3;
                end = g + 1;
                break;
            }
            j = g + 1;
        }
        token = TkvHtmlToken{};
        token.kind = TkvHtmlToken::Comment;
        token.begin = at;
        token.end = pos = end;
        token.text = in.substr(dataBegin, dataEnd - dataBegin);
        tree.AfterComment();
        return;
    }
    if (startsWithNoCase(in, after, "doctype")) {
        const void *gt = std::memchr(in.data() + after, '>', n - after);
        const size_t close = gt ? static_cast<const char *>(gt) - in.data() : n;
        token = TkvHtmlToken{};
        token.kind = TkvHtmlToken::Doctype;
        size_t i = after + 7;
        while (i < close && isWhitespace(in[i]))
            ++i;
        const size_t nameBegin = i;
        while (i < close && !isWhitespace(in[i]))
            ++i;
        appendName(token.name, in.substr(nameBegin, i - nameBegin));
        token.begin = at;
        token.end = pos = gt ? close + 1 : n;
        tree.AfterDoctype(in.substr(at, token.end - at));
        return;
    }
    if (InForeignContent() && in.substr(after, 7) == "[CDATA[") {
        const size_t dataBegin = after + 7;
        const size_t close = in.find("]]>", dataBegin);
        const size_t dataEnd = close == std::string_view::npos ? n : close;
        emitText(token, dataBegin, dataEnd);
        tree.AfterCdata(token.text);
        token.begin = at;
        token.end = pos = close == std::string_view::npos ? n : close + 3;
        return;
    }
    parseBogusComment(token, at, after);
}

bool TkvHtmlTokenizer::isAppropriateEndTag(size_t lessThan) const
{
    // in[lessThan] == '<', in[lessThan + 1] == '/'
    const size_t nameBegin = lessThan + 2;
    if (!startsWithNoCase(in, nameBegin, endTagName))
        return false;
    const size_t after = nameBegin + endTagName.size();
    return after < in.size() && (isWhitespace(in[after]) || in[after] == '/' || in[after] == '>');
}

size_t TkvHtmlTokenizer::findRawTextEnd(size_t from) const
{
    const size_t n = in.size();
    size_t i = from;
    while (i < n) {
        const void *lt = std::memchr(in.data() + i, '<', n - i);
        if (!lt)
            break;
        const size_t q = static_cast<const char *>(lt) - in.data();
        if (q + 1 < n && in[q + 1] == '/' && isAppropriateEndTag(q))
            return q;
        i = q + 1;
    }
    return n;
}

size_t TkvHtmlTokenizer::findScriptEnd(size_t from) const
{
    // Script data, escaped ("<!--") and double-escaped ("<!--<script>") states; `dashes` counts the
    // dashes just seen (the "dash" and "dash dash" states).
    enum State
    {
        Data,
        Escaped,
        DoubleEscaped
    };
    const size_t n = in.size();
    State state = Data;
    int dashes = 0;
    size_t i = from;
    while (i < n) {
        if (state == Data) {
            const void *lt = std::memchr(in.data() + i, '<', n - i);
            if (!lt)
                return n;
            const size_t q = static_cast<const char *>(lt) - in.data();
            if (q + 1 < n && in[q + 1] == '/' && isAppropriateEndTag(q))
                return q;
            if (in.substr(q + 1, 3) == "!--") {
                state = Escaped;
                dashes = 2;
                i = q + 4;
            } else {
                i = q + 1;
            }
            continue;
        }
        const char c = in[i];
        if (c == '-') {
            ++dashes;
            ++i;
            continue;
        }
        if (c == '>' && dashes >= 2) {
            state = Data;
            ++i;
            continue;
        }
        dashes = 0;
        if (c != '<') {
            ++i;
            continue;
        }
        // A less-than sign inside escaped or double-escaped script data.
        const size_t q = i;
        if (state == Escaped) {
            if (q + 1 < n && in[q + 1] == '/') {
                if (isAppropriateEndTag(q))
                    return q;
                i = q + 2;
                continue;
            }
            if (startsWithNoCase(in, q + 1, "script") && q + 7 < n &&
                (isWhitespace(in[q + 7]) || in[q + 7] == '/' || in[q + 7] == '>')) {
                state = DoubleEscaped;
                i = q + 8;
                continue;
            }
            i = q + 1;
            continue;
        }
        if (in.substr(q + 1, 1) == "/" && startsWithNoCase(in, q + 2, "script") && q + 8 < n &&
            (isWhitespace(in[q + 8]) || in[q + 8] == '/' || in[q + 8] == '>')) {
            state = Escaped;
            i = q + 9;
            continue;
        }
        i = q + 1;
    }
    return n;
}
