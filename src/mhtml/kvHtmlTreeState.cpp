#include "kvHtmlTreeState.h"

#include "kvHtmlDoctype.h"
#include "kvHtmlEntities.h"
#include "kvHtmlTokenizer.h"

#include <string>

namespace {

using Tag = TkvHtmlTagNames;

bool isWhitespace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

/// Where the first character at or after `at` that is not ASCII whitespace (nor NUL, with `skipNul`)
/// begins. Character references count as the characters they stand for, except in a CDATA section.
size_t firstOther(std::string_view text, size_t at, bool skipNul, bool references = true)
{
    std::string decoded;
    while (at < text.size()) {
        const char c = text[at];
        if (isWhitespace(c) || (skipNul && c == '\0')) {
            ++at;
            continue;
        }
        if (c != '&' || !references)
            return at;
        decoded.clear();
        const size_t used = TkvHtmlEntities::DecodeOne(text, at, false, decoded);
        if (decoded.size() != 1 || !isWhitespace(decoded[0]))
            return at;
        at += used;
    }
    return at;
}

/// Whether `text` has a character other than whitespace and NUL.
bool hasOther(std::string_view text, bool references = true)
{
    return firstOther(text, 0, true, references) < text.size();
}

bool hasNonNul(std::string_view text)
{
    return text.find_first_not_of('\0') != std::string_view::npos;
}

/// The length of the line feed that `text` begins with (CR LF, CR, LF or a reference to LF), 0 for none.
size_t leadingNewline(std::string_view text, bool references)
{
    if (text.empty())
        return 0;
    if (text[0] == '\n')
        return 1;
    if (text[0] == '\r')
        return text.size() > 1 && text[1] == '\n' ? 2 : 1;
    if (text[0] != '&' || !references)
        return 0;
    std::string decoded;
    const size_t used = TkvHtmlEntities::DecodeOne(text, 0, false, decoded);
    return decoded == "\n" ? used : 0;
}

} // namespace

TkvHtmlTreeState::Content TkvHtmlTreeState::AfterStartTag(TkvHtmlToken &token)
{
    skipNewline = false;
    content = Content::Data;
    if (open.Size() >= MaxOpenElements)
        return content;
    TagToken tag{open.Names().Number(token.name), &token};
    if (!htmlRulesForStartTag(tag.id)) {
        foreignStartTag(tag);
    } else {
        // The body's rules read "image" as img; it is reported so wherever HTML rules see it, also where
        // they then ignore it (in a select, which browsers now read much as a body).
        if (tag.id == Tag::image) {
            token.name = "img";
            tag.id = Tag::img;
        }
        startTag(mode, tag);
    }
    return content;
}

void TkvHtmlTreeState::AfterEndTag(const TkvHtmlToken &token)
{
    skipNewline = false;
    TagToken tag{open.Names().Find(token.name), nullptr};
    if (open.Empty() || open.IsHtml(open.Current()))
        endTag(mode, tag);
    else
        foreignEndTag(tag);
}

void TkvHtmlTreeState::AfterText(std::string_view characters)
{
    if (skipNewline) {
        skipNewline = false;
        characters.remove_prefix(leadingNewline(characters, !inCdata));
    }
    if (characters.empty())
        return;
    const NodeId current = open.Current();
    if (current == TkvHtmlOpenElements::None || open.IsHtml(current) || open.IsMathTextIntegrationPoint(current) ||
        open.IsHtmlIntegrationPoint(current)) {
        text(characters);
    } else if (hasOther(characters, !inCdata)) {
        framesetOk = false; // characters in svg/math content
    }
}

void TkvHtmlTreeState::AfterCdata(std::string_view characters)
{
    inCdata = true;
    AfterText(characters);
    inCdata = false;
}

void TkvHtmlTreeState::AfterDoctype(std::string_view markup)
{
    skipNewline = false;
    if (mode == Mode::Initial) {
        quirks = TkvHtmlDoctype::IsQuirks(markup);
        mode = Mode::BeforeHtml;
    }
}

bool TkvHtmlTreeState::htmlRulesForStartTag(uint32_t tag) const
{
    const NodeId current = open.Current();
    if (current == TkvHtmlOpenElements::None || open.IsHtml(current) || open.IsHtmlIntegrationPoint(current))
        return true;
    if (open.IsMathTextIntegrationPoint(current))
        return tag != Tag::mglyph && tag != Tag::malignmark;
    return tag == Tag::svg && open.NamespaceOf(current) == Namespace::Math &&
           open.NameOf(current) == Tag::annotationXml;
}

void TkvHtmlTreeState::popToHtmlOrIntegrationPoint()
{
    for (NodeId n = open.Current();
         !open.IsHtml(n) && !open.IsMathTextIntegrationPoint(n) && !open.IsHtmlIntegrationPoint(n); n = open.Current())
        open.Pop();
}

void TkvHtmlTreeState::foreignStartTag(TagToken &tag)
{
    const TkvHtmlToken &token = *tag.token;
    if (Tag::Has(tag.id, Tag::Breakout) ||
        (tag.id == Tag::font && (token.Find("color") || token.Find("face") || token.Find("size")))) {
        popToHtmlOrIntegrationPoint();
        startTag(mode, tag);
        return;
    }
    if (token.selfClosing)
        return; // acknowledged: the element is popped at once
    const Namespace ns = open.NamespaceOf(open.Current());
    bool htmlEncoding = false;
    if (ns == Namespace::Math && tag.id == Tag::annotationXml) {
        if (const TkvHtmlToken::Attribute *encoding = token.Find("encoding")) {
            std::string value = encoding->value;
            for (char &c : value)
                if (c >= 'A' && c <= 'Z')
                    c = char(c | 0x20);
            htmlEncoding = value == "text/html" || value == "application/xhtml+xml";
        }
    }
    open.Push(tag.id, ns, htmlEncoding);
}

void TkvHtmlTreeState::foreignEndTag(TagToken &tag)
{
    if (tag.id == Tag::br || tag.id == Tag::p) {
        popToHtmlOrIntegrationPoint();
        endTag(mode, tag);
        return;
    }
    // The nearest svg/MathML element of that name above the nearest HTML element closes; without one the
    // end tag goes to the insertion mode.
    const NodeId match = open.NearestForeignAboveHtml(tag.id);
    if (match != TkvHtmlOpenElements::None)
        open.PopThrough(match);
    else
        endTag(mode, tag);
}

void TkvHtmlTreeState::startTag(Mode in, TagToken &tag)
{
    switch (in) {
    case Mode::Initial:
    case Mode::BeforeHtml:
    case Mode::BeforeHead:
    case Mode::InHead:
    case Mode::InHeadNoscript:
    case Mode::AfterHead:
        return startBeforeBody(in, tag);
    case Mode::InBody:
        return startInBody(tag);
    case Mode::Text:
        return; // the tokenizer reads raw text there: no tags
    case Mode::InTable:
        return startInTable(tag);
    case Mode::InCaption:
        return startInCaption(tag);
    case Mode::InColumnGroup:
        return startInColumnGroup(tag);
    case Mode::InTableBody:
        return startInTableBody(tag);
    case Mode::InRow:
        return startInRow(tag);
    case Mode::InCell:
        return startInCell(tag);
    case Mode::InSelect:
    case Mode::InSelectInTable:
        return startInSelect(in, tag);
    case Mode::InTemplate:
        return startInTemplate(tag);
    default:
        return startAfterBody(in, tag);
    }
}

void TkvHtmlTreeState::endTag(Mode in, TagToken &tag)
{
    switch (in) {
    case Mode::Initial:
    case Mode::BeforeHtml:
    case Mode::BeforeHead:
    case Mode::InHead:
    case Mode::InHeadNoscript:
    case Mode::AfterHead:
        return endBeforeBody(in, tag);
    case Mode::InBody:
        return endInBody(tag);
    case Mode::Text:
        open.Pop(); // the raw-text element ends
        mode = originalMode;
        return;
    case Mode::InTable:
        return endInTable(tag);
    case Mode::InCaption:
        return endInCaption(tag);
    case Mode::InColumnGroup:
        return endInColumnGroup(tag);
    case Mode::InTableBody:
        return endInTableBody(tag);
    case Mode::InRow:
        return endInRow(tag);
    case Mode::InCell:
        return endInCell(tag);
    case Mode::InSelect:
    case Mode::InSelectInTable:
        return endInSelect(in, tag);
    case Mode::InTemplate:
        if (tag.id == Tag::template_)
            endInHead(tag);
        return;
    default:
        return endAfterBody(in, tag);
    }
}

void TkvHtmlTreeState::text(std::string_view characters)
{
    size_t at = 0;
    for (;;) {
        switch (mode) {
        case Mode::InBody:
        case Mode::InCaption:
        case Mode::InCell:
        case Mode::InTemplate:
            return bodyText(characters.substr(at));
        case Mode::InTable:
        case Mode::InTableBody:
        case Mode::InRow:
            return tableText(characters.substr(at));
        case Mode::Text:
        case Mode::InSelect:
        case Mode::InSelectInTable:
        case Mode::InFrameset:
        case Mode::AfterFrameset:
            return; // inserted, or ignored, without effect on the state
        case Mode::AfterAfterFrameset:
            if (firstOther(characters, at, false, !inCdata) > at)
                reconstructFormatting(); // whitespace goes by the body's rules
            return;
        default:
            break;
        }
        // The other modes drop or insert whitespace and leave themselves at the first other character.
        const size_t other = firstOther(characters, at, false, !inCdata);
        if ((mode == Mode::AfterBody || mode == Mode::AfterAfterBody) && other > at)
            reconstructFormatting();
        at = other;
        if (at == characters.size())
            return;
        switch (mode) {
        case Mode::Initial:
            quirks = true; // no DOCTYPE
            mode = Mode::BeforeHtml;
            break;
        case Mode::BeforeHtml:
            insertHtml(Tag::html);
            mode = Mode::BeforeHead;
            break;
        case Mode::BeforeHead:
            insertHtml(Tag::head);
            headSet = true;
            mode = Mode::InHead;
            break;
        case Mode::InHead:
            open.Pop();
            mode = Mode::AfterHead;
            break;
        case Mode::InHeadNoscript:
            open.Pop();
            mode = Mode::InHead;
            break;
        case Mode::AfterHead:
            insertHtml(Tag::body);
            mode = Mode::InBody;
            break;
        case Mode::InColumnGroup:
            if (!open.CurrentIs(Tag::colgroup))
                return; // ignored
            open.Pop();
            mode = Mode::InTable;
            break;
        default: // after body, after after body
            mode = Mode::InBody;
            break;
        }
    }
}

void TkvHtmlTreeState::bodyText(std::string_view characters)
{
    // NUL is dropped; anything else re-opens the formatting elements, and anything but whitespace ends
    // the chance of a frameset.
    if (hasNonNul(characters))
        reconstructFormatting();
    if (framesetOk && hasOther(characters, !inCdata))
        framesetOk = false;
}

void TkvHtmlTreeState::tableText(std::string_view characters)
{
    // Directly in a table ("in table text") whitespace stays there; any other character is
    // foster-parented by the body's rules, the whitespace with it. Elsewhere the body's rules apply.
    const NodeId current = open.Current();
    const bool direct = open.IsHtml(current, Tag::table) || open.IsHtml(current, Tag::tbody) ||
                        open.IsHtml(current, Tag::template_) || open.IsHtml(current, Tag::tfoot) ||
                        open.IsHtml(current, Tag::thead) || open.IsHtml(current, Tag::tr);
    if (!direct || hasOther(characters, !inCdata))
        bodyText(characters);
}

void TkvHtmlTreeState::insertText(TagToken &tag, Content state)
{
    insertHtml(tag.id);
    content = state;
    originalMode = mode;
    mode = Mode::Text;
}

void TkvHtmlTreeState::resetInsertionMode()
{
    NodeId node = TkvHtmlOpenElements::None;
    for (uint32_t tag : {Tag::select, Tag::td, Tag::th, Tag::tr, Tag::tbody, Tag::thead, Tag::tfoot, Tag::caption,
                         Tag::colgroup, Tag::table, Tag::template_, Tag::head, Tag::body, Tag::frameset, Tag::html}) {
        const NodeId nearest = open.Nearest(tag);
        if (nearest != TkvHtmlOpenElements::None && (node == TkvHtmlOpenElements::None || open.IsBefore(node, nearest)))
            node = nearest;
    }
    if (node == TkvHtmlOpenElements::None || node == open.First()) {
        mode = node == TkvHtmlOpenElements::None || !open.IsHtml(node, Tag::html) ? Mode::InBody
               : headSet                                                          ? Mode::AfterHead
                                                                                  : Mode::BeforeHead;
        return;
    }
    switch (open.NameOf(node)) {
    case Tag::select: {
        // In a table unless a template stands between: the nearer of the two decides.
        const NodeId table = open.Nearest(Tag::table), templ = open.Nearest(Tag::template_);
        const bool inTable =
            table != TkvHtmlOpenElements::None && (templ == TkvHtmlOpenElements::None || open.IsBefore(templ, table));
        mode = inTable ? Mode::InSelectInTable : Mode::InSelect;
        return;
    }
    case Tag::td:
    case Tag::th:
        mode = Mode::InCell;
        return;
    case Tag::tr:
        mode = Mode::InRow;
        return;
    case Tag::tbody:
    case Tag::thead:
    case Tag::tfoot:
        mode = Mode::InTableBody;
        return;
    case Tag::caption:
        mode = Mode::InCaption;
        return;
    case Tag::colgroup:
        mode = Mode::InColumnGroup;
        return;
    case Tag::table:
        mode = Mode::InTable;
        return;
    case Tag::template_:
        mode = templateModes.empty() ? Mode::InBody : templateModes.back();
        return;
    case Tag::head:
        mode = Mode::InHead;
        return;
    case Tag::frameset:
        mode = Mode::InFrameset;
        return;
    default: // body
        mode = Mode::InBody;
        return;
    }
}
