// The insertion modes before the body (initial ... after head), "in head" itself, the template contents,
// and the modes after the body and around framesets.
#include "kvHtmlTreeState.h"

namespace {

using Tag = TkvHtmlTagNames;

} // namespace

void TkvHtmlTreeState::startBeforeBody(Mode in, TagToken &tag)
{
    const uint32_t id = tag.id;
    switch (in) {
    case Mode::Initial:
        quirks = true; // no DOCTYPE
        mode = Mode::BeforeHtml;
        return startTag(mode, tag);
    case Mode::BeforeHtml:
        insertHtml(Tag::html);
        mode = Mode::BeforeHead;
        if (id != Tag::html)
            startTag(mode, tag);
        return;
    case Mode::BeforeHead:
        if (id == Tag::html)
            return startInBody(tag);
        insertHtml(Tag::head);
        headSet = true;
        mode = Mode::InHead;
        if (id != Tag::head)
            startTag(mode, tag);
        return;
    case Mode::InHead:
        return startInHead(tag);
    case Mode::InHeadNoscript:
        if (id == Tag::html)
            return startInBody(tag);
        if (id == Tag::basefont || id == Tag::bgsound || id == Tag::link || id == Tag::meta || id == Tag::noframes ||
            id == Tag::style)
            return startInHead(tag);
        if (id == Tag::head || id == Tag::noscript)
            return;
        open.Pop(); // the noscript
        mode = Mode::InHead;
        return startTag(mode, tag);
    default: // after head
        if (id == Tag::html)
            return startInBody(tag);
        if (id == Tag::body || id == Tag::frameset) {
            insertHtml(id);
            framesetOk = framesetOk && id != Tag::body;
            mode = id == Tag::body ? Mode::InBody : Mode::InFrameset;
            return;
        }
        if (Tag::Has(id, Tag::InHead)) {
            // Handled in the head element, which is put back on the stack for the while.
            const NodeId head = insertHtml(Tag::head);
            const TkvHtmlOpenElements::Handle handle = open.HandleOf(head);
            startInHead(tag);
            if (open.IsOpen(handle))
                open.Remove(head);
            return;
        }
        if (id == Tag::head)
            return;
        insertHtml(Tag::body);
        mode = Mode::InBody;
        return startTag(mode, tag);
    }
}

void TkvHtmlTreeState::endBeforeBody(Mode in, TagToken &tag)
{
    const uint32_t id = tag.id;
    const bool closesImplied = id == Tag::head || id == Tag::body || id == Tag::html || id == Tag::br;
    switch (in) {
    case Mode::Initial:
        quirks = true;
        mode = Mode::BeforeHtml;
        return endTag(mode, tag);
    case Mode::BeforeHtml:
        if (!closesImplied)
            return;
        insertHtml(Tag::html);
        mode = Mode::BeforeHead;
        return endTag(mode, tag);
    case Mode::BeforeHead:
        if (!closesImplied)
            return;
        insertHtml(Tag::head);
        headSet = true;
        mode = Mode::InHead;
        return endTag(mode, tag);
    case Mode::InHead:
        return endInHead(tag);
    case Mode::InHeadNoscript:
        if (id == Tag::noscript) {
            open.Pop();
            mode = Mode::InHead;
        } else if (id == Tag::br) {
            open.Pop();
            mode = Mode::InHead;
            endTag(mode, tag);
        }
        return;
    default: // after head
        if (id == Tag::template_)
            return endInHead(tag);
        if (id != Tag::body && id != Tag::html && id != Tag::br)
            return;
        insertHtml(Tag::body);
        mode = Mode::InBody;
        return endTag(mode, tag);
    }
}

void TkvHtmlTreeState::startInHead(TagToken &tag)
{
    switch (tag.id) {
    case Tag::html:
        return startInBody(tag);
    case Tag::base:
    case Tag::basefont:
    case Tag::bgsound:
    case Tag::link:
    case Tag::meta:
        return; // void: inserted and popped
    case Tag::title:
        return insertText(tag, Content::RcData);
    case Tag::noframes:
    case Tag::style:
        return insertText(tag, Content::RawText);
    case Tag::script:
        return insertText(tag, Content::ScriptData);
    case Tag::noscript: // scripting is off: its content is markup
        insertHtml(Tag::noscript);
        mode = Mode::InHeadNoscript;
        return;
    case Tag::template_:
        insertHtml(Tag::template_);
        formatting.PushMarker();
        framesetOk = false;
        mode = Mode::InTemplate;
        templateModes.push_back(Mode::InTemplate);
        return;
    case Tag::head:
        return;
    default:
        open.Pop(); // the head
        mode = Mode::AfterHead;
        return startTag(mode, tag);
    }
}

void TkvHtmlTreeState::endInHead(TagToken &tag)
{
    const uint32_t id = tag.id;
    if (id == Tag::template_) {
        if (!open.HasOpen(Tag::template_))
            return;
        open.GenerateImpliedEndTags(TkvHtmlTagNames::None, true);
        open.PopUntil(Tag::template_);
        formatting.ClearToLastMarker(open);
        if (!templateModes.empty())
            templateModes.pop_back();
        resetInsertionMode();
        return;
    }
    if (id != Tag::head && id != Tag::body && id != Tag::html && id != Tag::br)
        return;
    open.Pop(); // the head
    mode = Mode::AfterHead;
    if (id != Tag::head)
        endTag(mode, tag);
}

void TkvHtmlTreeState::startInTemplate(TagToken &tag)
{
    const uint32_t id = tag.id;
    if (Tag::Has(id, Tag::InHead))
        return startInHead(tag);
    // The first start tag in the contents decides what they are.
    Mode contents = Mode::InBody;
    if (id == Tag::caption || id == Tag::colgroup || id == Tag::tbody || id == Tag::tfoot || id == Tag::thead)
        contents = Mode::InTable;
    else if (id == Tag::col)
        contents = Mode::InColumnGroup;
    else if (id == Tag::tr)
        contents = Mode::InTableBody;
    else if (id == Tag::td || id == Tag::th)
        contents = Mode::InRow;
    if (!templateModes.empty())
        templateModes.back() = contents;
    mode = contents;
    startTag(mode, tag);
}

void TkvHtmlTreeState::startAfterBody(Mode in, TagToken &tag)
{
    const uint32_t id = tag.id;
    if (id == Tag::html)
        return startInBody(tag);
    switch (in) {
    case Mode::AfterBody:
    case Mode::AfterAfterBody:
        mode = Mode::InBody;
        return startInBody(tag);
    case Mode::InFrameset:
        if (id == Tag::frameset)
            insertHtml(Tag::frameset);
        else if (id == Tag::noframes)
            startInHead(tag);
        return; // <frame> is void; anything else is ignored
    default:    // after frameset, after after frameset
        if (id == Tag::noframes)
            startInHead(tag);
        return;
    }
}

void TkvHtmlTreeState::endAfterBody(Mode in, TagToken &tag)
{
    const uint32_t id = tag.id;
    switch (in) {
    case Mode::AfterBody:
        if (id == Tag::html) {
            mode = Mode::AfterAfterBody;
            return;
        }
        mode = Mode::InBody;
        return endInBody(tag);
    case Mode::AfterAfterBody:
        mode = Mode::InBody;
        return endInBody(tag);
    case Mode::InFrameset:
        if (id != Tag::frameset || open.Current() == open.First())
            return;
        open.Pop();
        if (!open.CurrentIs(Tag::frameset))
            mode = Mode::AfterFrameset;
        return;
    case Mode::AfterFrameset:
        if (id == Tag::html)
            mode = Mode::AfterAfterFrameset;
        return;
    default: // after after frameset
        return;
    }
}
