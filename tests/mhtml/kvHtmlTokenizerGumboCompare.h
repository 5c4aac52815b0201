#pragma once

// Compares the start tags that carry resource references, as the tokenizer reports them, with the
// elements of the tree that gumbo (an independent HTML parser) builds from the same bytes. Elements
// are matched by the byte offset of their start tag, so tree-building moves (foster parenting,
// reparenting) do not matter. Used by the tests and by the differential fuzz target.

#include "kvHtmlTokenizer.h"

#include <gumbo.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace gumbocompare {

/// One element that matters for finding references.
struct ReferenceElement
{
    size_t offset = 0;
    std::string name;
    std::map<std::string, std::string> attributes; ///< only the reference-bearing ones
    bool hasText = false;                          ///< an HTML <style>: `text` is its content
    std::string text;
};

inline bool isReferenceTag(std::string_view name)
{
    static const char *const names[] = {"a",     "audio", "base",  "body",  "embed",  "feimage", "frame",  "iframe",
                                        "image", "img",   "input", "link",  "object", "script",  "source", "style",
                                        "table", "td",    "th",    "track", "use",    "video"};
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

inline bool isReferenceAttribute(std::string_view name)
{
    static const char *const names[] = {"background", "data",   "href",  "poster", "rel",
                                        "src",        "srcset", "style", "type",   "xlink:href"};
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

inline std::string lower(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c | 0x20);
    return out;
}

/// Byte ranges of <noscript> elements: gumbo reads them with scripting on, the tokenizer with it off.
using Ranges = std::vector<std::pair<size_t, size_t>>;

inline bool inRanges(const Ranges &ranges, size_t offset)
{
    for (const auto &r : ranges)
        if (offset >= r.first && offset < r.second)
            return true;
    return false;
}

inline std::vector<ReferenceElement> fromTokens(std::string_view html, Ranges &noscript, Ranges *selects = nullptr)
{
    Ranges select;
    size_t selectBegin = 0;
    bool inSelect = false;
    std::vector<ReferenceElement> out;
    TkvHtmlTokenizer tokenizer(html);
    TkvHtmlToken token;
    ReferenceElement *style = nullptr;
    size_t noscriptBegin = 0;
    int noscriptDepth = 0;
    while (tokenizer.Next(token)) {
        if (style && token.kind == TkvHtmlToken::Text) {
            style->text.append(token.text);
            continue;
        }
        style = nullptr;
        if (token.kind == TkvHtmlToken::StartTag && token.name == "select" && !tokenizer.InForeignContent()) {
            selectBegin = token.begin;
            inSelect = true;
        } else if (inSelect && token.kind == TkvHtmlToken::EndTag && token.name == "select") {
            select.emplace_back(selectBegin, token.end);
            inSelect = false;
        }
        if (token.kind == TkvHtmlToken::StartTag && token.name == "noscript" && !tokenizer.InForeignContent()) {
            if (noscriptDepth++ == 0)
                noscriptBegin = token.begin;
        } else if (token.kind == TkvHtmlToken::EndTag && token.name == "noscript" && noscriptDepth > 0) {
            if (--noscriptDepth == 0)
                noscript.emplace_back(noscriptBegin, token.end);
        }
        if (token.kind != TkvHtmlToken::StartTag || !isReferenceTag(token.name))
            continue;
        ReferenceElement e;
        e.offset = token.begin;
        e.name = token.name;
        for (const auto &a : token.attributes)
            if (isReferenceAttribute(a.name))
                e.attributes[a.name] = a.value;
        out.push_back(std::move(e));
        if (token.name == "style" && !tokenizer.InForeignContent()) {
            out.back().hasText = true;
            style = &out.back();
        }
    }
    if (noscriptDepth > 0)
        noscript.emplace_back(noscriptBegin, html.size());
    if (selects)
        *selects = std::move(select);
    return out;
}

/// Raw style text as the tree holds it: NUL and CR normalised like character data.
inline std::string normaliseRawText(std::string_view raw)
{
    std::string out;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r') {
            out.push_back('\n');
            if (i + 1 < raw.size() && raw[i + 1] == '\n')
                ++i;
        } else if (raw[i] == '\0') {
            out.append("\xEF\xBF\xBD");
        } else {
            out.push_back(raw[i]);
        }
    }
    return out;
}

inline std::vector<ReferenceElement> fromGumbo(std::string_view html)
{
    std::vector<ReferenceElement> out;
    GumboOutput *output = gumbo_parse_with_options(&kGumboDefaultOptions, html.data(), html.size());
    std::vector<const GumboNode *> pending{output->root};
    while (!pending.empty()) {
        const GumboNode *node = pending.back();
        pending.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE)
            continue;
        const GumboElement &element = node->v.element;
        if (element.tag == GUMBO_TAG_NOSCRIPT && element.tag_namespace == GUMBO_NAMESPACE_HTML)
            continue;
        for (unsigned i = element.children.length; i > 0; --i)
            pending.push_back(static_cast<const GumboNode *>(element.children.data[i - 1]));
        if (element.original_tag.length == 0)
            continue; // inserted by the tree builder
        std::string name;
        if (element.tag != GUMBO_TAG_UNKNOWN) {
            name = gumbo_normalized_tagname(element.tag);
        } else {
            GumboStringPiece piece = element.original_tag;
            gumbo_tag_from_original_text(&piece);
            name = lower(std::string_view(piece.data, piece.length));
        }
        if (!isReferenceTag(name))
            continue;
        ReferenceElement e;
        e.offset = element.start_pos.offset;
        e.name = name;
        for (unsigned i = 0; i < element.attributes.length; ++i) {
            const auto *a = static_cast<const GumboAttribute *>(element.attributes.data[i]);
            std::string attributeName = lower(a->name);
            if (a->attr_namespace == GUMBO_ATTR_NAMESPACE_XLINK && attributeName.find(':') == std::string::npos)
                attributeName = "xlink:" + attributeName;
            if (isReferenceAttribute(attributeName))
                e.attributes[attributeName] = a->value;
        }
        if (name == "style" && element.tag_namespace == GUMBO_NAMESPACE_HTML) {
            e.hasText = true;
            for (unsigned i = 0; i < element.children.length; ++i) {
                const auto *child = static_cast<const GumboNode *>(element.children.data[i]);
                if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE ||
                    child->type == GUMBO_NODE_CDATA)
                    e.text += child->v.text.text;
            }
        }
        out.push_back(std::move(e));
    }
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    return out;
}

inline bool isUtf8WithoutControls(std::string_view s)
{
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = s[i];
        const size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > s.size())
            return false;
        uint32_t cp = length == 1 ? c : c & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const unsigned char d = s[i + k];
            if ((d & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if ((length == 2 && cp < 0x80) || (length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000) ||
            cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        if ((cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\f' && cp != '\r') || (cp >= 0x7F && cp <= 0x9F) ||
            (cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE)
            return false;
        i += length;
    }
    return true;
}

/// False for inputs on which gumbo (0.10) strays from the WHATWG rules, so that a difference would
/// be gumbo's:
/// - bytes that are not UTF-8, control characters and noncharacters (gumbo turns them into U+FFFD; the
///   standard keeps them);
/// - a byte order mark at the start (gumbo reads it as text, so a DOCTYPE after it no longer counts; a
///   browser's decoder drops it, as the tokenizer does);
/// - numeric references with more than 8 digits (gumbo's value overflows; the standard gives U+FFFD);
/// - NUL (gumbo drops it from attribute names, where the standard turns it into U+FFFD);
/// - "</>" (gumbo reports the next tag's offset at it);
/// - end tags with anything after the name, "</svg >" (gumbo's foreign content does not match them);
/// - </br> and </p> in svg/math (the standard made them end foreign content after gumbo was written);
/// - tags named search, dialog (newer elements gumbo does not know; they close an open <p>), menuitem
///   and isindex (gumbo keeps rules the standard dropped: menuitem goes into the head, isindex becomes
///   a form);
/// - character data in svg/MathML content while a table is open (in the table modes gumbo holds
///   characters back as table text even at a MathML text or HTML integration point, where the standard
///   hands them to the body's rules at once, which re-open formatting elements; when the next token
///   goes to the foreign-content rules, gumbo never re-opens them);
/// - end tags of names gumbo does not know when an HTML element of another such name occurs (gumbo
///   compares those by its "unknown" tag number, so </x-a> closes <x-b>).
inline bool comparable(std::string_view html)
{
    if (!isUtf8WithoutControls(html) || html.find("</>") != std::string_view::npos ||
        html.substr(0, 3) == "\xEF\xBB\xBF")
        return false;
    for (size_t at = html.find("&#"); at != std::string_view::npos; at = html.find("&#", at + 2)) {
        size_t i = at + 2;
        if (i < html.size() && (html[i] == 'x' || html[i] == 'X'))
            ++i;
        const size_t digits = i;
        while (i < html.size() && std::isxdigit(static_cast<unsigned char>(html[i])))
            ++i;
        if (i - digits > 8)
            return false;
    }
    TkvHtmlTokenizer tokenizer(html);
    TkvHtmlToken token;
    std::set<std::string> unknownElements, unknownEndTags;
    int tablesOpen = 0; // roughly: <table> start tags less </table> end tags
    for (;;) {
        const bool foreignBefore = tokenizer.InForeignContent();
        if (!tokenizer.Next(token))
            break;
        const bool tag = token.kind == TkvHtmlToken::StartTag || token.kind == TkvHtmlToken::EndTag;
        if (tag &&
            (token.name == "search" || token.name == "dialog" || token.name == "menuitem" || token.name == "isindex"))
            return false;
        if (tag && token.name == "table")
            tablesOpen = std::max(0, tablesOpen + (token.kind == TkvHtmlToken::StartTag ? 1 : -1));
        if (token.kind == TkvHtmlToken::Text && foreignBefore && tablesOpen > 0)
            return false;
        const bool unknown = tag && gumbo_tag_enum(token.name.c_str()) == GUMBO_TAG_UNKNOWN;
        if (token.kind == TkvHtmlToken::StartTag && unknown && !tokenizer.InForeignContent())
            unknownElements.insert(token.name);
        if (token.kind != TkvHtmlToken::EndTag)
            continue;
        if (token.end - token.begin != token.name.size() + 3)
            return false;
        if (foreignBefore && (token.name == "br" || token.name == "p"))
            return false;
        if (unknown)
            unknownEndTags.insert(token.name);
    }
    for (const std::string &name : unknownEndTags)
        if (unknownElements.size() > unknownElements.count(name))
            return false;
    return true;
}

inline std::string describe(const ReferenceElement &e)
{
    std::string text = "<" + e.name + "> at " + std::to_string(e.offset);
    for (const auto &[name, value] : e.attributes)
        text += " " + name + "=\"" + value + "\"";
    if (e.hasText)
        text += " text \"" + e.text + "\"";
    return text;
}

/// Empty when the two agree, else a description of the first difference. `strict`: an element that
/// the tokenizer reports and gumbo's tree lacks is a difference too, except a repeated <body> (whose
/// attributes the tree builder merges into the first) and tags inside <select>, which it ignores.
inline std::string compare(std::string_view html, bool strict)
{
    Ranges noscript, select;
    const std::vector<ReferenceElement> tokens = fromTokens(html, noscript, &select);
    std::map<size_t, const ReferenceElement *> byOffset;
    for (const auto &e : tokens)
        if (!inRanges(noscript, e.offset))
            byOffset.emplace(e.offset, &e);

    const std::vector<ReferenceElement> tree = fromGumbo(html);
    std::map<size_t, const ReferenceElement *> treeByOffset;
    for (const auto &e : tree) {
        if (inRanges(noscript, e.offset) || !treeByOffset.emplace(e.offset, &e).second)
            continue; // clones made by the adoption agency share the original's offset
        const auto it = byOffset.find(e.offset);
        if (it == byOffset.end())
            return "gumbo has " + describe(e) + ", the tokenizer has no such start tag";
        const ReferenceElement &t = *it->second;
        bool same = t.name == e.name && t.hasText == e.hasText && (!e.hasText || normaliseRawText(t.text) == e.text);
        if (same && e.name == "body") {
            for (const auto &[name, value] : t.attributes) {
                const auto found = e.attributes.find(name);
                same = same && found != e.attributes.end() && found->second == value;
            }
        } else {
            same = same && t.attributes == e.attributes;
        }
        if (!same)
            return "gumbo has " + describe(e) + ", the tokenizer " + describe(t);
    }
    if (strict) {
        for (const auto &[offset, e] : byOffset)
            if (!treeByOffset.count(offset) && e->name != "body" && !inRanges(select, offset))
                return "the tokenizer has " + describe(*e) + ", gumbo's tree has no such element";
    }
    return {};
}

} // namespace gumbocompare
