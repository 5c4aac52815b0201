// The table modes (in table, "in table text", in caption, in column group, in table body, in row, in
// cell) and the select modes. What the table modes hand to "in body" is foster-parented in the tree,
// which changes no state here.
#include "kvHtmlTreeState.h"

namespace {

using Tag = TkvHtmlTagNames;

bool isTablePart(uint32_t tag)
{
    return tag == Tag::caption || tag == Tag::table || tag == Tag::tbody || tag == Tag::tfoot || tag == Tag::thead ||
           tag == Tag::tr || tag == Tag::td || tag == Tag::th;
}

/// Start tags that end a caption or a cell, and end tags that the table modes ignore, share most names.
bool isTableStructure(uint32_t tag)
{
    return tag == Tag::caption || tag == Tag::col || tag == Tag::colgroup || tag == Tag::tbody || tag == Tag::td ||
           tag == Tag::tfoot || tag == Tag::th || tag == Tag::thead || tag == Tag::tr;
}

} // namespace

void TkvHtmlTreeState::clearStackBackTo(std::initializer_list<uint32_t> tags)
{
    for (NodeId current = open.Current(); current != TkvHtmlOpenElements::None; current = open.Current()) {
        if (open.IsHtml(current))
            for (uint32_t tag : tags)
                if (open.NameOf(current) == tag)
                    return;
        open.Pop();
    }
}

void TkvHtmlTreeState::startInTable(TagToken &tag)
{
    const uint32_t id = tag.id;
    switch (id) {
    case Tag::caption:
        clearStackBackTo({Tag::table, Tag::template_, Tag::html});
        formatting.PushMarker();
        insertHtml(id);
        mode = Mode::InCaption;
        return;
    case Tag::colgroup:
    case Tag::col:
        clearStackBackTo({Tag::table, Tag::template_, Tag::html});
        insertHtml(Tag::colgroup);
        mode = Mode::InColumnGroup;
        if (id == Tag::col)
            startTag(mode, tag);
        return;
    case Tag::tbody:
    case Tag::tfoot:
    case Tag::thead:
    case Tag::td:
    case Tag::th:
    case Tag::tr: {
        clearStackBackTo({Tag::table, Tag::template_, Tag::html});
        const bool section = id == Tag::tbody || id == Tag::tfoot || id == Tag::thead;
        insertHtml(section ? id : uint32_t(Tag::tbody));
        mode = Mode::InTableBody;
        if (!section)
            startTag(mode, tag);
        return;
    }
    case Tag::table:
        // A table directly in a table closes the first.
        if (!open.InTableScope(Tag::table))
            return;
        open.PopUntil(Tag::table);
        resetInsertionMode();
        return startTag(mode, tag);
    case Tag::style:
    case Tag::script:
    case Tag::template_:
        return startInHead(tag);
    case Tag::input:
        if (isHiddenInput(*tag.token))
            return; // stays in the table: inserted and popped
        return startInBody(tag);
    case Tag::form:
        if (!open.HasOpen(Tag::template_) && !formSet) {
            const NodeId node = insertHtml(Tag::form);
            form = open.HandleOf(node);
            formSet = true;
            open.Pop(); // the form holds nothing
        }
        return;
    default:
        return startInBody(tag);
    }
}

void TkvHtmlTreeState::endInTable(TagToken &tag)
{
    const uint32_t id = tag.id;
    if (id == Tag::table) {
        if (open.InTableScope(Tag::table)) {
            open.PopUntil(Tag::table);
            resetInsertionMode();
        }
        return;
    }
    if (id == Tag::body || id == Tag::html || isTableStructure(id))
        return;
    if (id == Tag::template_)
        return endInHead(tag);
    endInBody(tag);
}

void TkvHtmlTreeState::closeCaption()
{
    open.GenerateImpliedEndTags();
    open.PopUntil(Tag::caption);
    formatting.ClearToLastMarker(open);
    mode = Mode::InTable;
}

void TkvHtmlTreeState::startInCaption(TagToken &tag)
{
    if (!isTableStructure(tag.id))
        return startInBody(tag);
    if (open.InTableScope(Tag::caption)) {
        closeCaption();
        startTag(mode, tag);
    }
}

void TkvHtmlTreeState::endInCaption(TagToken &tag)
{
    const uint32_t id = tag.id;
    if (id == Tag::caption || id == Tag::table) {
        if (open.InTableScope(Tag::caption)) {
            closeCaption();
            if (id == Tag::table)
                endTag(mode, tag);
        }
        return;
    }
    if (id == Tag::body || id == Tag::html || isTableStructure(id))
        return;
    endInBody(tag);
}

void TkvHtmlTreeState::startInColumnGroup(TagToken &tag)
{
    const uint32_t id = tag.id;
    if (id == Tag::html)
        return startInBody(tag);
    if (id == Tag::col)
        return; // void
    if (id == Tag::template_)
        return startInHead(tag);
    if (!open.CurrentIs(Tag::colgroup))
        return;
    open.Pop();
    mode = Mode::InTable;
    startTag(mode, tag);
}

void TkvHtmlTreeState::endInColumnGroup(TagToken &tag)
{
    const uint32_t id = tag.id;
    if (id == Tag::template_)
        return endInHead(tag);
    if (id == Tag::col || !open.CurrentIs(Tag::colgroup))
        return;
    open.Pop();
    mode = Mode::InTable;
    if (id != Tag::colgroup)
        endTag(mode, tag);
}

void TkvHtmlTreeState::startInTableBody(TagToken &tag)
{
    const uint32_t id = tag.id;
    if (id == Tag::tr || id == Tag::td || id == Tag::th) {
        clearStackBackTo({Tag::tbody, Tag::tfoot, Tag::thead, Tag::template_, Tag::html});
        insertHtml(Tag::tr);
        mode = Mode::InRow;
        if (id != Tag::tr)
            startTag(mode, tag);
        return;
    }
    if (id == Tag::caption || id == Tag::col || id == Tag::colgroup || id == Tag::tbody || id == Tag::tfoot ||
        id == Tag::thead) {
        if (!open.InTableScope(Tag::tbody) && !open.InTableScope(Tag::thead) && !open.InTableScope(Tag::tfoot))
            return;
        clearStackBackTo({Tag::tbody, Tag::tfoot, Tag::thead, Tag::template_, Tag::html});
        open.Pop();
        mode = Mode::InTable;
        return startTag(mode, tag);
    }
    startInTable(tag);
}

void TkvHtmlTreeState::endInTableBody(TagToken &tag)
{
    const uint32_t id = tag.id;
    const bool section = id == Tag::tbody || id == Tag::tfoot || id == Tag::thead;
    if (section || id == Tag::table) {
        if (section
                ? !open.InTableScope(id)
                : !open.InTableScope(Tag::tbody) && !open.InTableScope(Tag::thead) && !open.InTableScope(Tag::tfoot))
            return;
        clearStackBackTo({Tag::tbody, Tag::tfoot, Tag::thead, Tag::template_, Tag::html});
        open.Pop();
        mode = Mode::InTable;
        if (!section)
            endTag(mode, tag);
        return;
    }
    if (id == Tag::body || id == Tag::caption || id == Tag::col || id == Tag::colgroup || id == Tag::html ||
        id == Tag::td || id == Tag::th || id == Tag::tr)
        return;
    endInTable(tag);
}

bool TkvHtmlTreeState::closeRow()
{
    if (!open.InTableScope(Tag::tr))
        return false;
    clearStackBackTo({Tag::tr, Tag::template_, Tag::html});
    open.Pop();
    mode = Mode::InTableBody;
    return true;
}

void TkvHtmlTreeState::startInRow(TagToken &tag)
{
    const uint32_t id = tag.id;
    if (id == Tag::td || id == Tag::th) {
        clearStackBackTo({Tag::tr, Tag::template_, Tag::html});
        insertHtml(id);
        mode = Mode::InCell;
        formatting.PushMarker();
        return;
    }
    if (id == Tag::caption || id == Tag::col || id == Tag::colgroup || id == Tag::tbody || id == Tag::tfoot ||
        id == Tag::thead || id == Tag::tr) {
        if (closeRow())
            startTag(mode, tag);
        return;
    }
    startInTable(tag);
}

void TkvHtmlTreeState::endInRow(TagToken &tag)
{
    const uint32_t id = tag.id;
    if (id == Tag::tr) {
        closeRow();
        return;
    }
    if (id == Tag::table || id == Tag::tbody || id == Tag::tfoot || id == Tag::thead) {
        if ((id == Tag::table || open.InTableScope(id)) && closeRow())
            endTag(mode, tag);
        return;
    }
    if (id == Tag::body || id == Tag::caption || id == Tag::col || id == Tag::colgroup || id == Tag::html ||
        id == Tag::td || id == Tag::th)
        return;
    endInTable(tag);
}

void TkvHtmlTreeState::closeCell()
{
    open.GenerateImpliedEndTags();
    while (!open.Empty()) {
        const bool cell = open.CurrentIs(Tag::td) || open.CurrentIs(Tag::th);
        open.Pop();
        if (cell)
            break;
    }
    formatting.ClearToLastMarker(open);
    mode = Mode::InRow;
}

void TkvHtmlTreeState::startInCell(TagToken &tag)
{
    if (!isTableStructure(tag.id))
        return startInBody(tag);
    if (open.InTableScope(Tag::td) || open.InTableScope(Tag::th)) {
        closeCell();
        startTag(mode, tag);
    }
}

void TkvHtmlTreeState::endInCell(TagToken &tag)
{
    const uint32_t id = tag.id;
    if (id == Tag::td || id == Tag::th) {
        if (open.InTableScope(id)) {
            open.GenerateImpliedEndTags();
            open.PopUntil(id);
            formatting.ClearToLastMarker(open);
            mode = Mode::InRow;
        }
        return;
    }
    if (id == Tag::body || id == Tag::caption || id == Tag::col || id == Tag::colgroup || id == Tag::html)
        return;
    if (id == Tag::table || id == Tag::tbody || id == Tag::tfoot || id == Tag::thead || id == Tag::tr) {
        if (open.InTableScope(id)) {
            closeCell();
            endTag(mode, tag);
        }
        return;
    }
    endInBody(tag);
}

void TkvHtmlTreeState::closeSelect()
{
    open.PopUntil(Tag::select);
    resetInsertionMode();
}

void TkvHtmlTreeState::startInSelect(Mode in, TagToken &tag)
{
    const uint32_t id = tag.id;
    if (in == Mode::InSelectInTable && isTablePart(id)) {
        closeSelect();
        return startTag(mode, tag);
    }
    switch (id) {
    case Tag::html:
        return startInBody(tag);
    case Tag::option:
    case Tag::optgroup:
    case Tag::hr:
        if (open.CurrentIs(Tag::option))
            open.Pop();
        if (id != Tag::option && open.CurrentIs(Tag::optgroup))
            open.Pop();
        if (id != Tag::hr)
            insertHtml(id);
        return;
    case Tag::select:
    case Tag::input:
    case Tag::keygen:
    case Tag::textarea:
        // They close the select; a second <select> does nothing else.
        if (!open.InSelectScope(Tag::select))
            return;
        closeSelect();
        if (id != Tag::select)
            startTag(mode, tag);
        return;
    case Tag::script:
    case Tag::template_:
        return startInHead(tag);
    default:
        return; // ignored
    }
}

void TkvHtmlTreeState::endInSelect(Mode in, TagToken &tag)
{
    const uint32_t id = tag.id;
    if (in == Mode::InSelectInTable && isTablePart(id)) {
        if (open.InTableScope(id)) {
            closeSelect();
            endTag(mode, tag);
        }
        return;
    }
    switch (id) {
    case Tag::optgroup: {
        const NodeId current = open.Current();
        if (open.IsHtml(current, Tag::option) && open.IsHtml(open.Previous(current), Tag::optgroup))
            open.Pop();
        if (open.CurrentIs(Tag::optgroup))
            open.Pop();
        return;
    }
    case Tag::option:
        if (open.CurrentIs(Tag::option))
            open.Pop();
        return;
    case Tag::select:
        if (open.InSelectScope(Tag::select))
            closeSelect();
        return;
    case Tag::template_:
        return endInHead(tag);
    default:
        return;
    }
}
