#include "kvHtmlFormattingList.h"

#include "kvHtmlTokenizer.h"

#include <algorithm>
#include <string_view>

namespace {

constexpr size_t npos = static_cast<size_t>(-1);
/// The adoption agency's fixed limits.
constexpr int OuterRounds = 8;
constexpr int KeptPerInnerWalk = 3;

} // namespace

void TkvHtmlFormattingList::canonicalAttributes(const TkvHtmlToken &token)
{
    // Two elements are alike when their attributes pair up by name and value, in any order. Names and
    // values hold no NUL (the tokenizer replaced it), so NUL separates them.
    scratch.clear();
    if (token.attributes.empty())
        return;
    std::vector<const TkvHtmlToken::Attribute *> sorted;
    sorted.reserve(token.attributes.size());
    for (const TkvHtmlToken::Attribute &a : token.attributes)
        sorted.push_back(&a);
    std::sort(sorted.begin(), sorted.end(), [](const auto *x, const auto *y) { return x->name < y->name; });
    for (const TkvHtmlToken::Attribute *a : sorted) {
        scratch += a->name;
        scratch += '\0';
        scratch += a->value;
        scratch += '\0';
    }
}

void TkvHtmlFormattingList::Push(TkvHtmlOpenElements &open, NodeId node, const TkvHtmlToken &token)
{
    const uint32_t name = open.NameOf(node);
    canonicalAttributes(token);
    // Three alike after the last marker: the earliest of them goes. So do the earliest entries beyond
    // MaxAfterMarker.
    size_t alike = 0, earliestAlike = npos, afterMarker = 0;
    for (size_t i = entries.size(); i-- > 0 && entries[i].name != Marker;) {
        ++afterMarker;
        const Entry &e = entries[i];
        if (e.name == name && e.attributesSize == scratch.size() &&
            std::string_view(attributeText).substr(e.attributesBegin, e.attributesSize) == scratch) {
            ++alike;
            earliestAlike = i;
        }
    }
    if (alike >= 3) {
        erase(open, earliestAlike);
        --afterMarker;
    }
    if (afterMarker >= MaxAfterMarker)
        erase(open, entries.size() - afterMarker);
    const auto begin = static_cast<uint32_t>(attributeText.size());
    attributeText += scratch;
    entries.push_back(Entry{open.HandleOf(node), name, begin, static_cast<uint32_t>(scratch.size())});
    open.SetListed(node, true);
}

void TkvHtmlFormattingList::ClearToLastMarker(TkvHtmlOpenElements &open)
{
    while (!entries.empty()) {
        const bool marker = entries.back().name == Marker;
        erase(open, entries.size() - 1);
        if (marker)
            return;
    }
}

TkvHtmlFormattingList::Handle TkvHtmlFormattingList::LastAfterMarker(uint32_t tag) const
{
    for (size_t i = entries.size(); i-- > 0 && entries[i].name != Marker;)
        if (entries[i].name == tag)
            return entries[i].element;
    return Handle{};
}

void TkvHtmlFormattingList::Forget(TkvHtmlOpenElements &open, Handle element)
{
    const size_t index = find(element);
    if (index != npos)
        erase(open, index);
}

size_t TkvHtmlFormattingList::find(Handle element) const
{
    for (size_t i = entries.size(); i-- > 0;)
        if (entries[i].name != Marker && entries[i].element.id == element.id && entries[i].element.uid == element.uid)
            return i;
    return npos;
}

void TkvHtmlFormattingList::erase(TkvHtmlOpenElements &open, size_t index)
{
    if (open.IsOpen(entries[index].element))
        open.SetListed(entries[index].element.id, false);
    entries.erase(entries.begin() + std::ptrdiff_t(index));
}

void TkvHtmlFormattingList::Reconstruct(TkvHtmlOpenElements &open, size_t maxOpen)
{
    if (entries.empty() || entries.back().name == Marker || open.IsOpen(entries.back().element))
        return;
    size_t first = entries.size() - 1;
    while (first > 0 && entries[first - 1].name != Marker && !open.IsOpen(entries[first - 1].element))
        --first;
    for (size_t i = first; i < entries.size() && open.Size() < maxOpen; ++i) {
        const NodeId node = open.Push(entries[i].name, TkvHtmlOpenElements::Namespace::Html);
        open.SetListed(node, true);
        entries[i].element = open.HandleOf(node);
    }
}

bool TkvHtmlFormattingList::Adopt(TkvHtmlOpenElements &open, uint32_t subject)
{
    const NodeId current = open.Current();
    if (open.IsHtml(current, subject) && !open.IsListed(current)) {
        open.Pop();
        return true;
    }
    for (int round = 0; round < OuterRounds; ++round) {
        size_t entry = npos;
        for (size_t i = entries.size(); i-- > 0 && entries[i].name != Marker;) {
            if (entries[i].name == subject) {
                entry = i;
                break;
            }
        }
        if (entry == npos)
            return false;
        if (!adoptOnce(open, entries[entry].element.id, entry))
            return true;
    }
    return true;
}

bool TkvHtmlFormattingList::adoptOnce(TkvHtmlOpenElements &open, NodeId formatting, size_t &entry)
{
    if (!open.IsOpen(entries[entry].element)) {
        erase(open, entry);
        return false;
    }
    if (!open.NodeInScope(formatting))
        return false;
    const NodeId block = open.FirstSpecialAfter(formatting);
    if (block == TkvHtmlOpenElements::None) {
        // No special element above it: it closes with everything opened after it.
        open.PopThrough(formatting);
        erase(open, entry);
        return false;
    }
    // Walk down from the furthest block: elements not listed go; the first three listed ones become
    // new elements in place, later ones are dropped from the list and go too.
    const Handle formattingHandle = open.HandleOf(formatting);
    NodeId lastNode = block, bookmarkAfter = TkvHtmlOpenElements::None;
    NodeId next = open.Previous(block);
    for (int inner = 1;; ++inner) {
        const NodeId node = next;
        if (node == formatting)
            break;
        next = open.Previous(node);
        if (inner > KeptPerInnerWalk && open.IsListed(node))
            erase(open, find(open.HandleOf(node)));
        if (!open.IsListed(node)) {
            open.Remove(node);
            continue;
        }
        const size_t nodeEntry = find(open.HandleOf(node));
        open.Renew(node);
        entries[nodeEntry].element = open.HandleOf(node);
        if (lastNode == block)
            bookmarkAfter = node;
        lastNode = node;
    }
    // A new element for the formatting element goes directly after the furthest block, and into the
    // list where the bookmark stands.
    entry = find(formattingHandle);
    Entry moved = entries[entry];
    open.MoveAfter(formatting, block);
    moved.element = open.HandleOf(formatting);
    if (bookmarkAfter == TkvHtmlOpenElements::None) {
        entries[entry] = moved;
    } else {
        entries.erase(entries.begin() + std::ptrdiff_t(entry));
        const size_t after = find(open.HandleOf(bookmarkAfter));
        entries.insert(entries.begin() + std::ptrdiff_t(after + 1), moved);
    }
    return true;
}
