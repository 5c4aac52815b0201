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

bool isOneOf(std::string_view name, std::initializer_list<std::string_view> names)
{
    for (std::string_view n : names)
        if (n == name)
            return true;
    return false;
}

/// Start tags that end svg/math content (WHATWG "parsing tokens in foreign content").
bool isBreakout(const TkvHtmlToken &token)
{
    if (token.name == "font")
        return token.Find("color") || token.Find("face") || token.Find("size");
    return isOneOf(token.name,
                   {"b",     "big",   "blockquote", "body",   "br",   "center", "code",  "dd", "div",  "dl",   "dt",
                    "em",    "embed", "h1",         "h2",     "h3",   "h4",     "h5",    "h6", "head", "hr",   "i",
                    "img",   "li",    "listing",    "menu",   "meta", "nobr",   "ol",    "p",  "pre",  "ruby", "s",
                    "small", "span",  "strong",     "strike", "sub",  "sup",    "table", "tt", "u",    "ul",   "var"});
}

bool isVoid(std::string_view name)
{
    return isOneOf(name, {"area", "base", "basefont", "bgsound", "br", "col", "embed", "frame", "hr", "img", "input",
                          "keygen", "link", "meta", "param", "source", "track", "wbr"});
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
{}

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
                    return emitText(token, textBegin, n);
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
                        return emitText(token, textBegin, q);
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
                return emitText(token, textBegin, q);
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
                afterEndTag(token);
                return true;
            }
            if (!parseTag(token, q, false)) {
                pos = n;
                break;
            }
            afterStartTag(token);
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
        return;
    }
    if (InForeignContent() && in.substr(after, 7) == "[CDATA[") {
        const size_t dataBegin = after + 7;
        const size_t close = in.find("]]>", dataBegin);
        const size_t dataEnd = close == std::string_view::npos ? n : close;
        emitText(token, dataBegin, dataEnd);
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

// ---- What the tree builder would tell the tokenizer: raw-text elements and foreign content.

void TkvHtmlTokenizer::push(std::string name, Namespace ns, bool htmlIntegration, bool mathText)
{
    const size_t index = open.size();
    (ns == Namespace::Html ? htmlPositions : foreignPositions)[name].push_back(index);
    if (ns == Namespace::Html)
        htmlIndexes.push_back(index);
    if (htmlIntegration || mathText)
        integrationIndexes.push_back(index);
    open.push_back(OpenElement{std::move(name), ns, htmlIntegration, mathText});
}

void TkvHtmlTokenizer::pop()
{
    const OpenElement &top = open.back();
    if (top.htmlIntegration || top.mathText)
        integrationIndexes.pop_back();
    if (top.ns == Namespace::Html)
        htmlIndexes.pop_back();
    auto &positions = top.ns == Namespace::Html ? htmlPositions : foreignPositions;
    const auto it = positions.find(top.name);
    it->second.pop_back();
    if (it->second.empty())
        positions.erase(it);
    open.pop_back();
}

void TkvHtmlTokenizer::popThrough(size_t index)
{
    while (open.size() > index)
        pop();
}

size_t TkvHtmlTokenizer::lastOf(const std::unordered_map<std::string, std::vector<size_t>> &positions,
                                const std::string &name)
{
    const auto it = positions.find(name);
    return it == positions.end() ? std::string::npos : it->second.back();
}

void TkvHtmlTokenizer::popToIntegrationPoint()
{
    while (!open.empty() && open.back().ns != Namespace::Html && !open.back().htmlIntegration && !open.back().mathText)
        pop();
}

void TkvHtmlTokenizer::startHtmlElement(TkvHtmlToken &token)
{
    const std::string &name = token.name;
    if (inSelect) {
        if (isOneOf(name, {"select", "input", "keygen", "textarea"}) ||
            (selectInTable && isOneOf(name, {"caption", "table", "tbody", "tfoot", "thead", "tr", "td", "th"}))) {
            // These close the select (the table parts when it is in a table); a second <select>
            // does nothing else.
            inSelect = false;
            const auto it = htmlOpen.find("select");
            if (it != htmlOpen.end() && --it->second == 0)
                htmlOpen.erase(it);
            if (name == "select")
                return;
        } else if (name != "script") {
            return;
        }
    } else if (name == "select") {
        inSelect = true;
        selectInTable = tablesOpen > 0;
    }
    if (name == "svg" || name == "math") {
        if (!token.selfClosing)
            push(name, name == "svg" ? Namespace::Svg : Namespace::Math, false, false);
        return;
    }
    if (name == "image")
        token.name = "img";
    if (token.name == "title" || token.name == "textarea") {
        mode = Mode::RcData;
    } else if (isOneOf(token.name, {"style", "xmp", "iframe", "noembed", "noframes"})) {
        mode = Mode::RawText;
    } else if (token.name == "script") {
        mode = Mode::ScriptData;
    } else if (token.name == "plaintext") {
        mode = Mode::PlainText;
    }
    if (mode != Mode::Data)
        endTagName = token.name;
    if (open.empty())
        countHtmlStartTag(token.name);
    // Inside an integration point the HTML elements are kept too, so that their end tags and the
    // integration point's own end tag pop the right entries. Outside foreign content nothing is kept.
    if (!open.empty() && !isVoid(token.name) && mode != Mode::PlainText)
        push(token.name, Namespace::Html, false, false);
}

void TkvHtmlTokenizer::afterStartTag(TkvHtmlToken &token)
{
    if (open.empty()) {
        startHtmlElement(token);
        return;
    }
    const OpenElement *top = &open.back();
    if (top->ns == Namespace::Html || (top->mathText && token.name != "mglyph" && token.name != "malignmark") ||
        top->htmlIntegration || (top->name == "annotation-xml" && token.name == "svg")) {
        startHtmlElement(token);
        return;
    }
    if (isBreakout(token)) {
        // The foreign elements close and the tag is processed again by the HTML rules.
        popToIntegrationPoint();
        startHtmlElement(token);
        return;
    }
    if (token.selfClosing)
        return; // acknowledged: the foreign element is closed at once
    const Namespace ns = open.back().ns;
    bool htmlIntegration = false;
    bool mathText = false;
    if (ns == Namespace::Svg) {
        htmlIntegration = isOneOf(token.name, {"foreignobject", "desc", "title"});
    } else if (isOneOf(token.name, {"mi", "mo", "mn", "ms", "mtext"})) {
        mathText = true;
    } else if (token.name == "annotation-xml") {
        if (const TkvHtmlToken::Attribute *encoding = token.Find("encoding")) {
            std::string value;
            appendName(value, encoding->value);
            htmlIntegration = value == "text/html" || value == "application/xhtml+xml";
        }
    }
    push(token.name, ns, htmlIntegration, mathText);
}

void TkvHtmlTokenizer::afterEndTag(const TkvHtmlToken &token)
{
    const std::string &name = token.name;
    if (inSelect && name != "script") {
        // The tree builder ignores every other end tag inside <select> (the table parts close a
        // select in a table).
        if (name != "select" &&
            !(selectInTable && isOneOf(name, {"caption", "table", "tbody", "tfoot", "thead", "tr", "td", "th"})))
            return;
        inSelect = false;
        if (name != "select" && countHtmlEndTag("select"))
            popThrough(lastOf(htmlPositions, "select") == std::string::npos ? open.size()
                                                                            : lastOf(htmlPositions, "select"));
    }
    if (!open.empty() && open.back().ns != Namespace::Html) {
        if (name == "br" || name == "p") {
            popToIntegrationPoint(); // then handled by the HTML rules below
        } else {
            // Foreign content: the nearest foreign element of that name above the nearest HTML element.
            const size_t match = lastOf(foreignPositions, name);
            const size_t html = htmlIndexes.empty() ? std::string::npos : htmlIndexes.back();
            if (match != std::string::npos && (html == std::string::npos || match > html)) {
                popThrough(match);
                return;
            }
        }
    }
    // The HTML rules: the nearest HTML element of that name, unless an integration point (a scope
    // boundary) stands above it.
    const size_t match = lastOf(htmlPositions, name);
    const size_t boundary = integrationIndexes.empty() ? std::string::npos : integrationIndexes.back();
    if (match != std::string::npos && (boundary == std::string::npos || match > boundary)) {
        popThrough(match);
        return;
    }
    if (boundary != std::string::npos)
        return;
    // An HTML element open around the foreign content closes it.
    if (countHtmlEndTag(name))
        popThrough(0);
}

void TkvHtmlTokenizer::popScope()
{
    htmlOpen = std::move(scopes.back().saved);
    tablesOpen -= scopes.back().boundary == "table";
    scopes.pop_back();
}

void TkvHtmlTokenizer::countHtmlStartTag(const std::string &name)
{
    // Their end tags never pop elements (</form> removes only the form element itself).
    if (isVoid(name) || isOneOf(name, {"html", "head", "body", "form"}))
        return;
    const auto inCell = [this] { return !scopes.empty() && isOneOf(scopes.back().boundary, {"td", "th"}); };
    if (isOneOf(name, {"caption", "td", "th", "tr", "tbody", "thead", "tfoot"})) {
        if (tablesOpen == 0)
            return; // ignored outside a table
        while (inCell())
            popScope(); // a new cell or row closes the open cell
    }
    if (isOneOf(name, {"applet", "caption", "marquee", "object", "table", "td", "th", "template"})) {
        scopes.push_back(Scope{name, std::move(htmlOpen)});
        tablesOpen += name == "table";
        htmlOpen.clear();
        htmlOpen[name] = 1;
        return;
    }
    // These never nest: a new one closes the open one.
    int &count = htmlOpen[name];
    count = isOneOf(name, {"a", "button", "nobr", "option", "p"}) ? 1 : count + 1;
}

bool TkvHtmlTokenizer::countHtmlEndTag(const std::string &name)
{
    auto it = htmlOpen.find(name);
    if (it == htmlOpen.end()) {
        // The end of a row or table closes the open cell first.
        if (!scopes.empty() && isOneOf(scopes.back().boundary, {"td", "th", "caption"}) &&
            isOneOf(name, {"table", "tbody", "thead", "tfoot", "tr"})) {
            popScope();
            it = htmlOpen.find(name);
        }
        if (it == htmlOpen.end())
            return false;
    }
    if (--it->second == 0) {
        htmlOpen.erase(it);
        if (!scopes.empty() && scopes.back().boundary == name)
            popScope();
    }
    return true;
}
