#include "kvHtmlTreeState.h"

#include "kvHtmlTokenizer.h"

#include <initializer_list>
#include <string_view>

namespace {

std::string lowerAscii(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c | 0x20);
    return out;
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

/// Elements that the tree builder closes when another of the same name starts.
bool isNonNesting(std::string_view name)
{
    return isOneOf(name, {"a", "button", "nobr", "option", "p"});
}

bool isWhitespace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

enum NameKind : unsigned
{
    Formatting = 1,      ///< kept in the tree builder's list of active formatting elements
    Special = 2,         ///< the tree builder's "special" category (the void ones left out: they never stay open)
    ClosesParagraph = 4, ///< its start tag closes an open <p> first (outside a button)
    /// inserted (or ignored) without first re-opening the formatting elements, unlike every other start tag
    SkipsReconstruction = 8,
};

/// What the tree builder does with an HTML element of that name; looked up for every tag outside
/// svg/math, so one hash lookup rather than walks along lists.
/// Tag names are short: a multiply-add hash costs a fraction of the general byte hash.
struct ShortNameHash
{
    size_t operator()(std::string_view name) const
    {
        size_t h = name.size();
        for (char c : name)
            h = h * 31 + static_cast<unsigned char>(c);
        return h;
    }
};

unsigned kindOf(std::string_view name)
{
    using Kinds = std::unordered_map<std::string_view, unsigned, ShortNameHash>;
    static const Kinds kinds = [] {
        Kinds k;
        for (std::string_view n :
             {"a", "b", "big", "code", "em", "font", "i", "nobr", "s", "small", "strike", "strong", "tt", "u"})
            k[n] |= Formatting;
        for (std::string_view n :
             {"h1",       "h2",       "h3",         "h4",       "h5",      "h6",        "address",  "applet",
              "article",  "aside",    "blockquote", "body",     "button",  "caption",   "center",   "colgroup",
              "dd",       "details",  "dir",        "div",      "dl",      "dt",        "fieldset", "figcaption",
              "figure",   "footer",   "form",       "frameset", "head",    "header",    "hgroup",   "html",
              "iframe",   "li",       "listing",    "main",     "marquee", "menu",      "nav",      "noembed",
              "noframes", "noscript", "object",     "ol",       "p",       "plaintext", "pre",      "script",
              "search",   "section",  "select",     "style",    "summary", "table",     "tbody",    "td",
              "template", "textarea", "tfoot",      "th",       "thead",   "title",     "tr",       "ul",
              "xmp"})
            k[n] |= Special;
        for (std::string_view n :
             {"h1",     "h2",         "h3",       "h4",         "h5",      "h6",      "address", "article",
              "aside",  "blockquote", "center",   "dd",         "details", "dialog",  "dir",     "div",
              "dl",     "dt",         "fieldset", "figcaption", "figure",  "footer",  "form",    "header",
              "hgroup", "hr",         "li",       "listing",    "main",    "menu",    "nav",     "ol",
              "p",      "plaintext",  "pre",      "search",     "section", "summary", "ul",      "xmp"})
            k[n] |= ClosesParagraph;
        for (std::string_view n :
             {"h1",      "h2",       "h3",         "h4",      "h5",         "h6",      "address",  "article",
              "aside",   "base",     "basefont",   "bgsound", "blockquote", "body",    "caption",  "center",
              "col",     "colgroup", "dd",         "details", "dialog",     "dir",     "div",      "dl",
              "dt",      "fieldset", "figcaption", "figure",  "footer",     "form",    "frame",    "frameset",
              "head",    "header",   "hgroup",     "hr",      "html",       "iframe",  "li",       "link",
              "listing", "main",     "menu",       "meta",    "nav",        "noembed", "noframes", "ol",
              "p",       "param",    "plaintext",  "pre",     "rb",         "rp",      "rt",       "rtc",
              "script",  "search",   "section",    "source",  "style",      "summary", "table",    "tbody",
              "td",      "template", "textarea",   "tfoot",   "th",         "thead",   "title",    "tr",
              "track",   "ul"})
            k[n] |= SkipsReconstruction;
        return k;
    }();
    const auto it = kinds.find(name);
    return it == kinds.end() ? 0 : it->second;
}

bool isFormatting(std::string_view name)
{
    return kindOf(name) & Formatting;
}

/// Elements that put a marker on that list: formatting elements opened before them are not re-opened
/// inside them.
bool isMarker(std::string_view name)
{
    return isOneOf(name, {"applet", "marquee", "object", "template"});
}

bool skipsReconstruction(std::string_view name)
{
    return kindOf(name) & SkipsReconstruction;
}

bool isVoid(std::string_view name)
{
    return isOneOf(name, {"area", "base", "basefont", "bgsound", "br", "col", "embed", "frame", "hr", "img", "input",
                          "keygen", "link", "meta", "param", "source", "track", "wbr"});
}

} // namespace

void TkvHtmlTreeState::push(std::string name, Namespace ns, bool htmlIntegration, bool mathText)
{
    const bool html = ns == Namespace::Html;
    // HTML tables, objects and templates bound the scope of end tags like integration points do.
    const bool boundary =
        htmlIntegration || mathText || (html && isOneOf(name, {"applet", "marquee", "object", "table", "template"}));
    const bool special = html && (kindOf(name) & Special);
    open.Push(TkvHtmlOpenElements::Element{std::move(name), ns, htmlIntegration, mathText, boundary, special});
}

void TkvHtmlTreeState::pop()
{
    if (open.Top().listed) {
        // Popped formatting elements stay listed, to be re-opened; a marker goes with its element.
        const size_t index = open.Size() - 1;
        for (size_t e = formatting.size(); e-- > 0;) {
            if (formatting[e].openIndex == index) {
                if (formatting[e].marker)
                    formatting.resize(e);
                else
                    formatting[e].openIndex = std::string::npos;
                break;
            }
        }
    }
    open.Pop();
}

void TkvHtmlTreeState::popThrough(size_t index)
{
    while (open.Size() > index)
        pop();
}

void TkvHtmlTreeState::popToIntegrationPoint()
{
    while (!open.Empty() && open.Top().ns != Namespace::Html && !open.Top().htmlIntegration && !open.Top().mathText)
        pop();
}

void TkvHtmlTreeState::listFormatting(size_t openIndex)
{
    const std::string &name = open[openIndex].name;
    const bool marker = isMarker(name);
    if (!marker) {
        int same = 0;
        size_t earliest = std::string::npos;
        for (size_t e = formatting.size(); e-- > 0 && !formatting[e].marker;) {
            if (formatting[e].name == name) {
                ++same;
                earliest = e;
            }
        }
        if (same >= 3)
            forgetFormatting(earliest);
    }
    formatting.push_back(FormattingEntry{name, openIndex, marker});
    open[openIndex].listed = true;
}

int TkvHtmlTreeState::listedCount(const std::string &name) const
{
    int same = 0;
    for (size_t e = formatting.size(); e-- > 0 && !formatting[e].marker;)
        same += formatting[e].name == name;
    return same;
}

bool TkvHtmlTreeState::hasFormattingToReopen() const
{
    return !formatting.empty() && !formatting.back().marker && formatting.back().openIndex == std::string::npos;
}

size_t TkvHtmlTreeState::listedFormatting(const std::string &name) const
{
    for (size_t e = formatting.size(); e-- > 0 && !formatting[e].marker;)
        if (formatting[e].name == name)
            return e;
    return std::string::npos;
}

void TkvHtmlTreeState::forgetFormatting(size_t entry)
{
    if (formatting[entry].openIndex != std::string::npos)
        open[formatting[entry].openIndex].listed = false;
    formatting.erase(formatting.begin() + std::ptrdiff_t(entry));
}

void TkvHtmlTreeState::reconstructFormatting()
{
    size_t first = formatting.size();
    while (first > 0 && !formatting[first - 1].marker && formatting[first - 1].openIndex == std::string::npos)
        --first;
    if (first == formatting.size())
        return;
    if (open.Empty()) {
        // Outside foreign content elements are counted, not kept (and no marker is left on the list).
        // Taken off the list first: counting a re-opened <a> can close an open one and list others.
        const std::vector<FormattingEntry> reopened(formatting.begin() + std::ptrdiff_t(first), formatting.end());
        formatting.resize(first);
        for (const FormattingEntry &entry : reopened)
            countHtmlStartTag(entry.name);
        return;
    }
    for (size_t e = first; e < formatting.size(); ++e) {
        push(formatting[e].name, Namespace::Html, false, false);
        formatting[e].openIndex = open.Size() - 1;
        open[open.Size() - 1].listed = true;
    }
}

void TkvHtmlTreeState::closeByEndTag(size_t index)
{
    if (open[index].listed) {
        for (size_t e = formatting.size(); e-- > 0;) {
            if (formatting[e].openIndex == index) {
                if (!formatting[e].marker) // (a marker goes when its element is popped, with what follows it)
                    forgetFormatting(e);
                break;
            }
        }
    }
    popThrough(index);
}

void TkvHtmlTreeState::AfterText(std::string_view text)
{
    if (!hasFormattingToReopen() || inSelect)
        return;
    if (!open.Empty() && open.Top().ns != Namespace::Html && !open.Top().mathText && !open.Top().htmlIntegration)
        return; // foreign content inserts characters as they are
    const bool tableText = open.Empty() && !scopes.empty() && scopes.back().boundary == "table";
    for (char c : text) {
        // The tree builder drops NUL; whitespace directly in a table goes to the table as it is.
        if (c != '\0' && !(tableText && isWhitespace(c))) {
            reconstructFormatting();
            return;
        }
    }
}

TkvHtmlTreeState::Content TkvHtmlTreeState::startHtmlElement(TkvHtmlToken &token)
{
    Content content = Content::Data;
    if (token.name == "image")
        token.name = "img";
    const std::string &name = token.name;
    const bool wasInSelect = inSelect;
    if (inSelect) {
        if (isOneOf(name, {"select", "input", "keygen", "textarea"}) ||
            (selectInTable && isOneOf(name, {"caption", "table", "tbody", "tfoot", "thead", "tr", "td", "th"}))) {
            // These close the select (the table parts when it is in a table); a second <select>
            // does nothing else.
            inSelect = false;
            closeCounted("select");
            // A select opened inside an integration point is on the stack: it is popped too, so that
            // what follows sees the element around it.
            if (const size_t select = open.LastHtml("select"); select != std::string::npos)
                popThrough(select);
            if (name == "select")
                return content;
        } else if (name == "template") {
            inSelect = false; // template contents are parsed as in a body (the select is not restored after it)
        } else if (name != "script") {
            return content;
        }
    } else if (name == "select") {
        inSelect = true;
        // (a table opened inside an integration point is on the stack; integration points after it do
        // not change the tree builder's insertion mode)
        selectTableInForeign = open.LastHtml("table") != std::string::npos;
        selectInTable = tablesOpen > 0 || selectTableInForeign;
    }
    if (name == "a") {
        // A listed <a> that is no longer open is only dropped from the list.
        const size_t entry = listedFormatting(name);
        if (entry != std::string::npos && formatting[entry].openIndex == std::string::npos)
            forgetFormatting(entry);
    }
    if (!open.Empty() && isNonNesting(name)) {
        // A new a, button, nobr, option or p closes the open one (before formatting elements are re-opened).
        const size_t match = open.LastHtml(name);
        const size_t boundary = open.InnermostBoundary();
        if (match != std::string::npos && (boundary == std::string::npos || match >= boundary))
            closeByEndTag(match);
    }
    if (!wasInSelect && hasFormattingToReopen() && !skipsReconstruction(name))
        reconstructFormatting();
    if (name == "svg" || name == "math") {
        if (!token.selfClosing)
            push(name, name == "svg" ? Namespace::Svg : Namespace::Math, false, false);
        return content;
    }
    if (token.name == "title" || token.name == "textarea") {
        content = Content::RcData;
    } else if (isOneOf(token.name, {"style", "xmp", "iframe", "noembed", "noframes"})) {
        content = Content::RawText;
    } else if (token.name == "script") {
        content = Content::ScriptData;
    } else if (token.name == "plaintext") {
        content = Content::PlainText;
    }
    if (open.Empty())
        countHtmlStartTag(token.name);
    // Inside an integration point the HTML elements are kept too, so that their end tags and the
    // integration point's own end tag pop the right entries. Outside foreign content nothing is kept.
    if (!open.Empty() && !isVoid(token.name) && content != Content::PlainText &&
        !isOneOf(token.name,
                 {"html", "head", "body", "caption", "col", "colgroup", "tbody", "td", "tfoot", "th", "thead", "tr"})) {
        // (the others are not inserted in a body)
        push(token.name, Namespace::Html, false, false);
        if (isFormatting(token.name) || isMarker(token.name))
            listFormatting(open.Size() - 1);
    }
    return content;
}

TkvHtmlTreeState::Content TkvHtmlTreeState::AfterStartTag(TkvHtmlToken &token)
{
    if (open.Empty()) {
        return startHtmlElement(token);
    }
    const TkvHtmlOpenElements::Element *top = &open.Top();
    if (top->ns == Namespace::Html || (top->mathText && token.name != "mglyph" && token.name != "malignmark") ||
        top->htmlIntegration || (top->name == "annotation-xml" && token.name == "svg")) {
        return startHtmlElement(token);
    }
    if (isBreakout(token)) {
        // The foreign elements close and the tag is processed again by the HTML rules.
        popToIntegrationPoint();
        return startHtmlElement(token);
    }
    if (token.selfClosing)
        return Content::Data; // acknowledged: the foreign element is closed at once
    const Namespace ns = open.Top().ns;
    bool htmlIntegration = false;
    bool mathText = false;
    if (ns == Namespace::Svg) {
        htmlIntegration = isOneOf(token.name, {"foreignobject", "desc", "title"});
    } else if (isOneOf(token.name, {"mi", "mo", "mn", "ms", "mtext"})) {
        mathText = true;
    } else if (token.name == "annotation-xml") {
        if (const TkvHtmlToken::Attribute *encoding = token.Find("encoding")) {
            const std::string value = lowerAscii(encoding->value);
            htmlIntegration = value == "text/html" || value == "application/xhtml+xml";
        }
    }
    push(token.name, ns, htmlIntegration, mathText);
    return Content::Data;
}

void TkvHtmlTreeState::AfterEndTag(const TkvHtmlToken &token)
{
    const std::string &name = token.name;
    if (inSelect && name != "script") {
        // The tree builder ignores every other end tag inside <select> (the table parts close a
        // select in a table).
        if (name != "select" && !closesSelectInTable(name))
            return;
        inSelect = false;
        if (name != "select" && countHtmlEndTag("select"))
            popThrough(open.LastHtml("select") == std::string::npos ? open.Size() : open.LastHtml("select"));
    }
    if (!open.Empty() && open.Top().ns != Namespace::Html) {
        if (name == "br" || name == "p") {
            popToIntegrationPoint(); // then handled by the HTML rules below
        } else {
            // Foreign content: the nearest foreign element of that name above the nearest HTML element.
            const size_t match = open.LastForeign(name);
            const size_t html = open.InnermostHtml();
            if (match != std::string::npos && (html == std::string::npos || match > html)) {
                popThrough(match);
                return;
            }
        }
    }
    if (!formatting.empty() && isFormatting(name)) {
        // The end tag of a listed formatting element that is no longer open only drops it from the list.
        const size_t entry = listedFormatting(name);
        if (entry != std::string::npos && formatting[entry].openIndex == std::string::npos) {
            forgetFormatting(entry);
            return;
        }
    }
    // The HTML rules: the nearest HTML element of that name, unless an integration point (a scope
    // boundary) stands above it.
    const size_t match = open.LastHtml(name);
    const size_t boundary = open.InnermostBoundary();
    if (match != std::string::npos && (boundary == std::string::npos || match >= boundary)) {
        // Another element's end tag stops at a special element opened after it (a formatting
        // element's is taken out from under it).
        const size_t special = open.InnermostSpecial();
        if (!(kindOf(name) & (Special | Formatting)) && special != std::string::npos && special > match)
            return;
        closeByEndTag(match);
        return;
    }
    if (boundary != std::string::npos)
        return;
    // An HTML element open around the foreign content closes it.
    if (countHtmlEndTag(name))
        popThrough(0);
}

bool TkvHtmlTreeState::isOpen(const OpenNames &names, const std::string &name)
{
    const auto it = names.find(name);
    return it != names.end() && !it->second.empty();
}

bool TkvHtmlTreeState::closesSelectInTable(const std::string &name) const
{
    if (!selectInTable || !isOneOf(name, {"caption", "table", "tbody", "tfoot", "thead", "tr", "td", "th"}))
        return false;
    if (name == "table")
        return true;
    if (selectTableInForeign || scopes.empty())
        return false; // the cells and rows of a table inside svg/math content are not kept
    // The others only when open in that table; a cell implies its row and a row its body.
    const Scope &scope = scopes.back();
    const bool inCell = isOneOf(scope.boundary, {"td", "th"});
    if (isOneOf(name, {"caption", "td", "th"}))
        return scope.boundary == name;
    if (isOpen(htmlOpen, name) || (inCell && isOpen(scope.saved, name)))
        return true;
    if (name == "tr")
        return inCell;
    return name == "tbody" && (inCell || isOpen(htmlOpen, "tr"));
}

void TkvHtmlTreeState::popScope()
{
    if (scopes.back().boundary == "table") {
        // Formatting elements directly in a table were put before it: closing the table pops them,
        // but they stay listed and re-open at the next text or start tag.
        for (const auto &[name, opened] : htmlOpen)
            for (size_t i = 0; i < opened.size() && isFormatting(name) && listedCount(name) < 3; ++i)
                formatting.push_back(FormattingEntry{name, std::string::npos, false});
    } else {
        // A cell, caption, object, ... clears the list back to its marker.
        size_t marker = formatting.size();
        while (marker > 0 && !formatting[marker - 1].marker)
            --marker;
        const size_t keep = marker > 0 ? marker - 1 : 0;
        while (formatting.size() > keep)
            forgetFormatting(formatting.size() - 1);
    }
    htmlOpen = std::move(scopes.back().saved);
    specialsOpen = std::move(scopes.back().savedSpecials);
    openLog = std::move(scopes.back().savedLog);
    tablesOpen -= scopes.back().boundary == "table";
    scopes.pop_back();
}

void TkvHtmlTreeState::countHtmlStartTag(const std::string &name)
{
    const unsigned kind = kindOf(name);
    if (kind & ClosesParagraph) {
        // ... unless a button was opened after the p
        static const std::string paragraph = "p", button = "button";
        if (isOpen(htmlOpen, paragraph) &&
            (!isOpen(htmlOpen, button) || htmlOpen[button].back() < htmlOpen[paragraph].back()))
            closeCounted(paragraph);
    }
    // Their end tags never pop elements (</form> removes only the form element itself).
    if (isVoid(name) || isOneOf(name, {"html", "head", "body", "form"}))
        return;
    if (name == "button")
        closeCounted(name); // a new button closes the open one
    const auto inCell = [this] { return !scopes.empty() && isOneOf(scopes.back().boundary, {"td", "th"}); };
    if (isOneOf(name, {"caption", "td", "th", "tr", "tbody", "thead", "tfoot"})) {
        if (tablesOpen == 0)
            return; // ignored outside a table
        while (inCell())
            popScope(); // a new cell or row closes the open cell
    }
    if (name == "table" && !scopes.empty() && scopes.back().boundary == "table")
        popScope(); // a table directly in a table closes it
    const size_t sequence = ++startTags;
    if (isOneOf(name, {"applet", "caption", "marquee", "object", "table", "td", "th", "template"})) {
        if (name != "table")
            formatting.push_back(FormattingEntry{name, std::string::npos, true});
        scopes.push_back(Scope{name, std::move(htmlOpen), std::move(specialsOpen), std::move(openLog)});
        tablesOpen += name == "table";
        htmlOpen.clear();
        specialsOpen.clear();
        openLog.clear();
        htmlOpen[name].push_back(sequence);
        return;
    }
    OpenName &entry = *htmlOpen.try_emplace(name).first;
    std::vector<size_t> &opened = entry.second;
    if (!opened.empty() && (name == "a" || name == "nobr")) {
        // A new one closes the open one as its end tag would.
        closeCountedByEndTag(opened, kind);
    } else if (isNonNesting(name)) {
        opened.clear(); // these never nest: a new one closes the open one
    }
    opened.push_back(sequence);
    openLog.emplace_back(&entry, sequence);
    if (kind & Special)
        specialsOpen.emplace_back(&entry, sequence);
}

bool TkvHtmlTreeState::isStillOpen(const Started &started)
{
    // (an element is closed only after those of its name opened after it)
    return !started.first->second.empty() && started.first->second.back() >= started.second;
}

size_t TkvHtmlTreeState::lastOpenSpecial()
{
    // (entries of specials closed with the elements around them are dropped here)
    while (!specialsOpen.empty()) {
        if (isStillOpen(specialsOpen.back()))
            return specialsOpen.back().second;
        specialsOpen.pop_back();
    }
    return 0;
}

bool TkvHtmlTreeState::closeCountedByEndTag(std::vector<size_t> &opened, unsigned kind)
{
    const bool specialAfter = lastOpenSpecial() > opened.back();
    if (specialAfter && !(kind & (Special | Formatting)))
        return false; // another element's end tag stops at the special element
    if (specialAfter && (kind & Formatting)) {
        // The formatting element is taken out from under the special one, which stays open.
        opened.pop_back();
        return true;
    }
    closeThrough(opened);
    return true;
}

void TkvHtmlTreeState::closeCounted(const std::string &name)
{
    const auto it = htmlOpen.find(name);
    if (it != htmlOpen.end() && !it->second.empty())
        closeThrough(it->second);
}

void TkvHtmlTreeState::closeThrough(std::vector<size_t> &opened)
{
    const size_t sequence = opened.back();
    // The elements opened after it close with it; formatting elements among them stay listed, to
    // re-open at the next text or start tag.
    while (!openLog.empty() && openLog.back().second > sequence) {
        auto &[above, started] = openLog.back();
        if (!above->second.empty() && above->second.back() == started) {
            above->second.pop_back();
            if (isFormatting(above->first) && listedCount(above->first) < 3)
                formatting.push_back(FormattingEntry{above->first, std::string::npos, false});
        }
        openLog.pop_back();
    }
    opened.pop_back(); // (the name stays in the map, to spare allocations)
    // Drop the entries of elements already closed at the end of the log, so that it stays short.
    while (!openLog.empty() && !isStillOpen(openLog.back()))
        openLog.pop_back();
}

bool TkvHtmlTreeState::countHtmlEndTag(const std::string &name)
{
    auto it = htmlOpen.find(name);
    if (it == htmlOpen.end() || it->second.empty()) {
        // The end of a row or table closes the open cell first.
        if (!scopes.empty() && isOneOf(scopes.back().boundary, {"td", "th", "caption"}) &&
            isOneOf(name, {"table", "tbody", "thead", "tfoot", "tr"})) {
            popScope();
            it = htmlOpen.find(name);
        }
        if (it == htmlOpen.end() || it->second.empty())
            return false;
    }
    if (!closeCountedByEndTag(it->second, kindOf(name))) // (no insertion: `it` stays valid)
        return false;
    if (it->second.empty() && !scopes.empty() && scopes.back().boundary == name)
        popScope();
    return true;
}
