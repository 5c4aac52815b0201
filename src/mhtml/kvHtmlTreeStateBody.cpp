// The "in body" insertion mode, which most other modes hand their tokens to.
#include "kvHtmlTreeState.h"

#include "kvHtmlTokenizer.h"

namespace {

using Tag = TkvHtmlTagNames;

bool isHeading(uint32_t tag)
{
    return tag >= Tag::h1 && tag <= Tag::h6;
}

} // namespace

bool TkvHtmlTreeState::isHiddenInput(const TkvHtmlToken &token)
{
    const TkvHtmlToken::Attribute *type = token.Find("type");
    if (!type || type->value.size() != 6)
        return false;
    for (size_t i = 0; i < 6; ++i) {
        const char c = type->value[i];
        if ((c >= 'A' && c <= 'Z' ? char(c | 0x20) : c) != "hidden"[i])
            return false;
    }
    return true;
}

void TkvHtmlTreeState::closeParagraphInButtonScope()
{
    if (open.InButtonScope(Tag::p)) {
        open.GenerateImpliedEndTags(Tag::p);
        open.PopUntil(Tag::p);
    }
}

void TkvHtmlTreeState::startBlock(TagToken &tag)
{
    closeParagraphInButtonScope();
    if (isHeading(tag.id) && open.IsHtml(open.Current()) && isHeading(open.NameOf(open.Current())))
        open.Pop(); // a heading directly in a heading
    insertHtml(tag.id);
}

void TkvHtmlTreeState::startListItem(TagToken &tag)
{
    framesetOk = false;
    // An open li (dd or dt for those) closes, unless a special element other than address, div or p
    // stands above it.
    const NodeId stop = open.NearestListItemStop();
    const bool li = tag.id == Tag::li;
    if (open.IsHtml(stop, Tag::li) ? li : (!li && (open.IsHtml(stop, Tag::dd) || open.IsHtml(stop, Tag::dt)))) {
        const uint32_t name = open.NameOf(stop);
        open.GenerateImpliedEndTags(name);
        open.PopUntil(name);
    }
    closeParagraphInButtonScope();
    insertHtml(tag.id);
}

void TkvHtmlTreeState::startFormatting(TagToken &tag)
{
    const NodeId node = insertHtml(tag.id);
    formatting.Push(open, node, *tag.token);
}

void TkvHtmlTreeState::insertForeign(TagToken &tag, Namespace ns)
{
    reconstructFormatting();
    if (!tag.token->selfClosing)
        open.Push(tag.id, ns);
}

void TkvHtmlTreeState::startInBody(TagToken &tag)
{
    const uint32_t id = tag.id;
    const uint32_t properties = Tag::PropertiesOf(id);
    if (properties & Tag::InHead)
        return startInHead(tag);
    if ((properties & Tag::ClosesParagraph) || isHeading(id))
        return startBlock(tag);
    switch (id) {
    case Tag::html:
        return; // its attributes go to the html element
    case Tag::body: {
        // Its attributes go to the body; only the frameset chance changes.
        const NodeId second = open.First() == TkvHtmlOpenElements::None ? open.First() : open.Next(open.First());
        if (open.IsHtml(second, Tag::body) && !open.HasOpen(Tag::template_))
            framesetOk = false;
        return;
    }
    case Tag::frameset: {
        const NodeId second = open.First() == TkvHtmlOpenElements::None ? open.First() : open.Next(open.First());
        if (!open.IsHtml(second, Tag::body) || !framesetOk)
            return;
        while (open.Current() != open.First())
            open.Pop();
        insertHtml(Tag::frameset);
        mode = Mode::InFrameset;
        return;
    }
    case Tag::pre:
    case Tag::listing:
        closeParagraphInButtonScope();
        insertHtml(id);
        skipNewline = true;
        framesetOk = false;
        return;
    case Tag::form: {
        const bool inTemplate = open.HasOpen(Tag::template_);
        if (formSet && !inTemplate)
            return;
        closeParagraphInButtonScope();
        const NodeId node = insertHtml(Tag::form);
        if (!inTemplate) {
            form = open.HandleOf(node);
            formSet = true;
        }
        return;
    }
    case Tag::li:
    case Tag::dd:
    case Tag::dt:
        return startListItem(tag);
    case Tag::plaintext:
        closeParagraphInButtonScope();
        insertHtml(id);
        content = Content::PlainText;
        return;
    case Tag::button:
        if (open.InScope(Tag::button)) {
            open.GenerateImpliedEndTags();
            open.PopUntil(Tag::button);
        }
        reconstructFormatting();
        insertHtml(id);
        framesetOk = false;
        return;
    case Tag::a: {
        // An <a> still listed is closed by the adoption agency, and taken out wherever it stands.
        const TkvHtmlOpenElements::Handle listed = formatting.LastAfterMarker(Tag::a);
        if (listed.id != TkvHtmlOpenElements::None) {
            formatting.Adopt(open, Tag::a);
            formatting.Forget(open, listed);
            if (open.IsOpen(listed))
                open.Remove(listed.id);
        }
        reconstructFormatting();
        return startFormatting(tag);
    }
    case Tag::nobr:
        reconstructFormatting();
        if (open.InScope(Tag::nobr)) {
            formatting.Adopt(open, Tag::nobr);
            reconstructFormatting();
        }
        return startFormatting(tag);
    case Tag::applet:
    case Tag::marquee:
    case Tag::object:
        reconstructFormatting();
        insertHtml(id);
        formatting.PushMarker();
        framesetOk = false;
        return;
    case Tag::table:
        if (!quirks)
            closeParagraphInButtonScope();
        insertHtml(id);
        framesetOk = false;
        mode = Mode::InTable;
        return;
    case Tag::area:
    case Tag::br:
    case Tag::embed:
    case Tag::img:
    case Tag::keygen:
    case Tag::wbr:
        reconstructFormatting();
        framesetOk = false; // void: inserted and popped
        return;
    case Tag::input:
        reconstructFormatting();
        framesetOk = framesetOk && isHiddenInput(*tag.token);
        return;
    case Tag::param:
    case Tag::source:
    case Tag::track:
        return;
    case Tag::hr:
        closeParagraphInButtonScope();
        framesetOk = false;
        return;
    case Tag::textarea:
        insertText(tag, Content::RcData);
        skipNewline = true;
        framesetOk = false;
        return;
    case Tag::xmp:
        closeParagraphInButtonScope();
        reconstructFormatting();
        framesetOk = false;
        return insertText(tag, Content::RawText);
    case Tag::iframe:
        framesetOk = false;
        return insertText(tag, Content::RawText);
    case Tag::noembed:
        return insertText(tag, Content::RawText);
    case Tag::select:
        reconstructFormatting();
        insertHtml(id);
        framesetOk = false;
        mode = mode == Mode::InTable || mode == Mode::InCaption || mode == Mode::InTableBody || mode == Mode::InRow ||
                       mode == Mode::InCell
                   ? Mode::InSelectInTable
                   : Mode::InSelect;
        return;
    case Tag::optgroup:
    case Tag::option:
        if (open.CurrentIs(Tag::option))
            open.Pop();
        reconstructFormatting();
        insertHtml(id);
        return;
    case Tag::rb:
    case Tag::rtc:
    case Tag::rp:
    case Tag::rt:
        if (open.InScope(Tag::ruby))
            open.GenerateImpliedEndTags(id == Tag::rp || id == Tag::rt ? uint32_t(Tag::rtc) : TkvHtmlTagNames::None);
        insertHtml(id);
        return;
    case Tag::math:
        return insertForeign(tag, Namespace::Math);
    case Tag::svg:
        return insertForeign(tag, Namespace::Svg);
    case Tag::caption:
    case Tag::col:
    case Tag::colgroup:
    case Tag::frame:
    case Tag::head:
    case Tag::tbody:
    case Tag::td:
    case Tag::tfoot:
    case Tag::th:
    case Tag::thead:
    case Tag::tr:
        return; // ignored here
    default:
        if (properties & Tag::Formatting) {
            reconstructFormatting();
            return startFormatting(tag);
        }
        reconstructFormatting();
        insertHtml(id);
        return;
    }
}

void TkvHtmlTreeState::endInBody(TagToken &tag)
{
    const uint32_t id = tag.id;
    const uint32_t properties = Tag::PropertiesOf(id);
    if (properties & Tag::BlockEnd) {
        if (open.InScope(id)) {
            open.GenerateImpliedEndTags();
            open.PopUntil(id);
        }
        return;
    }
    if (properties & Tag::Formatting) {
        if (!formatting.Adopt(open, id))
            anyOtherEndTag(id);
        return;
    }
    switch (id) {
    case Tag::template_:
        return endInHead(tag);
    case Tag::body:
    case Tag::html:
        if (!open.InScope(Tag::body))
            return;
        mode = Mode::AfterBody;
        if (id == Tag::html)
            endAfterBody(mode, tag);
        return;
    case Tag::form:
        if (!open.HasOpen(Tag::template_)) {
            // The form the pointer names, wherever it stands, if it is in scope.
            const NodeId node = formSet && open.IsOpen(form) ? form.id : TkvHtmlOpenElements::None;
            formSet = false;
            if (node == TkvHtmlOpenElements::None || !open.NodeInScope(node))
                return;
            open.GenerateImpliedEndTags();
            open.Remove(node);
        } else if (open.InScope(Tag::form)) {
            open.GenerateImpliedEndTags();
            open.PopUntil(Tag::form);
        }
        return;
    case Tag::p:
        if (!open.InButtonScope(Tag::p))
            insertHtml(Tag::p); // an empty paragraph
        open.GenerateImpliedEndTags(Tag::p);
        open.PopUntil(Tag::p);
        return;
    case Tag::li:
        if (open.InListItemScope(Tag::li)) {
            open.GenerateImpliedEndTags(Tag::li);
            open.PopUntil(Tag::li);
        }
        return;
    case Tag::dd:
    case Tag::dt:
        if (open.InScope(id)) {
            open.GenerateImpliedEndTags(id);
            open.PopUntil(id);
        }
        return;
    case Tag::h1:
    case Tag::h2:
    case Tag::h3:
    case Tag::h4:
    case Tag::h5:
    case Tag::h6:
        for (uint32_t heading = Tag::h1; heading <= Tag::h6; ++heading) {
            if (open.InScope(heading)) {
                open.GenerateImpliedEndTags();
                open.PopUntilHeading();
                return;
            }
        }
        return;
    case Tag::applet:
    case Tag::marquee:
    case Tag::object:
        if (open.InScope(id)) {
            open.GenerateImpliedEndTags();
            open.PopUntil(id);
            formatting.ClearToLastMarker(open);
        }
        return;
    case Tag::br:
        reconstructFormatting(); // read as <br>
        framesetOk = false;
        return;
    default:
        return anyOtherEndTag(id);
    }
}

void TkvHtmlTreeState::anyOtherEndTag(uint32_t tag)
{
    // The nearest HTML element of that name closes, with everything above it, unless a special element
    // stands above it.
    const NodeId node = open.Nearest(tag);
    if (node == TkvHtmlOpenElements::None)
        return;
    const NodeId special = open.NearestSpecial();
    if (special != TkvHtmlOpenElements::None && open.IsBefore(node, special))
        return;
    open.GenerateImpliedEndTags(tag);
    open.PopThrough(node);
}
