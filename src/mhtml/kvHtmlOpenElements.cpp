#include "kvHtmlOpenElements.h"

#include <algorithm>

namespace {

using Tag = TkvHtmlTagNames;

/// Keys of pushed elements step by this much; a moved element takes a key in the gap after its block.
constexpr unsigned KeyShift = 24;
constexpr uint32_t KeyGap = (1u << KeyShift) - 1;

void eraseFromBack(std::vector<uint32_t> &list, uint32_t node)
{
    for (size_t i = list.size(); i-- > 0;) {
        if (list[i] == node) {
            list.erase(list.begin() + std::ptrdiff_t(i));
            return;
        }
    }
}

} // namespace

uint8_t TkvHtmlOpenElements::kindsOf(uint32_t tag, Namespace ns, bool htmlEncoding)
{
    uint8_t kinds = 0;
    if (ns == Namespace::Html) {
        const uint32_t properties = Tag::PropertiesOf(tag);
        if (properties & Tag::Special)
            kinds |= Special | (tag == Tag::address || tag == Tag::div || tag == Tag::p ? 0 : ListItemStop);
        if (properties & Tag::ScopeBoundary)
            kinds |= ScopeBoundary;
    } else if (ns == Namespace::Math) {
        if (tag == Tag::mi || tag == Tag::mo || tag == Tag::mn || tag == Tag::ms || tag == Tag::mtext)
            kinds |= Special | ScopeBoundary | ListItemStop | MathText;
        else if (tag == Tag::annotationXml)
            kinds |= Special | ScopeBoundary | ListItemStop | (htmlEncoding ? HtmlIntegration : 0);
    } else if (tag == Tag::foreignobject || tag == Tag::desc || tag == Tag::title) {
        kinds |= Special | ScopeBoundary | ListItemStop | HtmlIntegration;
    }
    return kinds;
}

TkvHtmlOpenElements::NodeId TkvHtmlOpenElements::Push(uint32_t tag, Namespace ns, bool htmlEncoding)
{
    NodeId id;
    if (!freeNodes.empty()) {
        id = freeNodes.back();
        freeNodes.pop_back();
    } else {
        id = NodeId(nodes.size());
        nodes.emplace_back();
    }
    if (names.Limit() > htmlChains.size()) {
        htmlChains.resize(names.Limit(), None);
        foreignChains.resize(names.Limit(), None);
    }
    Node &n = nodes[id];
    n.key = ++pushes << KeyShift;
    n.name = tag;
    n.uid = ++uids;
    n.ns = ns;
    n.kinds = kindsOf(tag, ns, htmlEncoding);
    n.open = true;
    n.listed = false;
    n.extra = ns == Namespace::Html ? 0 : htmlAtOrBelow(top);
    linkAfter(id, top, chainOf(tag, ns), None);
    if (n.kinds & Special)
        specials.push_back(id);
    if (n.kinds & ScopeBoundary)
        boundaries.push_back(id);
    if (n.kinds & ListItemStop)
        listItemStops.push_back(id);
    names.Opened(tag);
    ++count;
    return id;
}

void TkvHtmlOpenElements::linkAfter(NodeId id, NodeId after, NodeId sameBelow, NodeId sameAbove)
{
    Node &n = nodes[id];
    n.prev = after;
    n.next = after == None ? bottom : nodes[after].next;
    if (n.next == None)
        top = id;
    else
        nodes[n.next].prev = id;
    if (after == None)
        bottom = id;
    else
        nodes[after].next = id;
    // The chain of the name: after the same-named elements below the new place, before those above it.
    while (sameAbove != None && nodes[sameAbove].key < n.key) {
        sameBelow = sameAbove;
        sameAbove = nodes[sameAbove].nextSame;
    }
    n.prevSame = sameBelow;
    n.nextSame = sameAbove;
    if (sameBelow != None)
        nodes[sameBelow].nextSame = id;
    if (sameAbove != None)
        nodes[sameAbove].prevSame = id;
    else
        chainOf(n.name, n.ns) = id;
}

void TkvHtmlOpenElements::unlinkChain(NodeId id)
{
    Node &n = nodes[id];
    if (n.nextSame != None)
        nodes[n.nextSame].prevSame = n.prevSame;
    else
        chainOf(n.name, n.ns) = n.prevSame;
    if (n.prevSame != None)
        nodes[n.prevSame].nextSame = n.nextSame;
}

void TkvHtmlOpenElements::unlink(NodeId id)
{
    Node &n = nodes[id];
    if (n.prev != None)
        nodes[n.prev].next = n.next;
    else
        bottom = n.next;
    if (n.next != None)
        nodes[n.next].prev = n.prev;
    else
        top = n.prev;
    unlinkChain(id);
}

TkvHtmlOpenElements::NodeId TkvHtmlOpenElements::htmlAtOrBelow(NodeId node) const
{
    if (node == None || nodes[node].ns == Namespace::Html)
        return node;
    return nodes[node].extra;
}

void TkvHtmlOpenElements::updateFloors(NodeId from, NodeId oldFloor, NodeId newFloor)
{
    for (NodeId x = from; x != None && nodes[x].ns != Namespace::Html && nodes[x].extra == oldFloor; x = nodes[x].next)
        nodes[x].extra = newFloor;
}

void TkvHtmlOpenElements::release(NodeId id)
{
    Node &n = nodes[id];
    if (n.ns == Namespace::Html)
        updateFloors(n.next, id, htmlAtOrBelow(n.prev));
    unlink(id);
    if (n.kinds & Special)
        eraseFromBack(specials, id);
    if (n.kinds & ScopeBoundary)
        eraseFromBack(boundaries, id);
    if (n.kinds & ListItemStop)
        eraseFromBack(listItemStops, id);
    names.Closed(n.name);
    n.open = false;
    n.listed = false;
    freeNodes.push_back(id);
    --count;
}

void TkvHtmlOpenElements::MoveAfter(NodeId id, NodeId after)
{
    Node &n = nodes[id];
    updateFloors(n.next, id, htmlAtOrBelow(n.prev));
    const NodeId sameBelow = n.prevSame, sameAbove = n.nextSame;
    unlink(id);
    // Later moves after the same block go nearer to it: each takes a smaller key in the gap.
    Node &block = nodes[after];
    n.key = block.key + (KeyGap - std::min(block.extra, KeyGap - 1));
    ++block.extra;
    n.extra = 0;
    n.uid = ++uids;
    linkAfter(id, after, sameBelow, sameAbove);
    updateFloors(n.next, after, id);
}

void TkvHtmlOpenElements::PopThrough(NodeId node)
{
    while (top != node)
        Pop();
    Pop();
}

void TkvHtmlOpenElements::PopUntil(uint32_t tag)
{
    while (top != None) {
        const bool found = CurrentIs(tag);
        Pop();
        if (found)
            return;
    }
}

void TkvHtmlOpenElements::PopUntilHeading()
{
    while (top != None) {
        const uint32_t name = nodes[top].name;
        const bool found = IsHtml(top) && name >= Tag::h1 && name <= Tag::h6;
        Pop();
        if (found)
            return;
    }
}

void TkvHtmlOpenElements::GenerateImpliedEndTags(uint32_t except, bool thoroughly)
{
    const uint32_t implied = thoroughly ? Tag::ImpliedEndThorough : Tag::ImpliedEnd;
    while (IsHtml(top) && nodes[top].name != except && Tag::Has(nodes[top].name, Tag::Property(implied)))
        Pop();
}

TkvHtmlOpenElements::NodeId TkvHtmlOpenElements::later(NodeId a, NodeId b) const
{
    if (a == None)
        return b;
    if (b == None)
        return a;
    return nodes[a].key > nodes[b].key ? a : b;
}

bool TkvHtmlOpenElements::InListItemScope(uint32_t tag) const
{
    return inScopeBelow(Nearest(tag), later(nearestDefaultBoundary(), later(Nearest(Tag::ol), Nearest(Tag::ul))));
}

bool TkvHtmlOpenElements::InButtonScope(uint32_t tag) const
{
    return inScopeBelow(Nearest(tag), later(nearestDefaultBoundary(), Nearest(Tag::button)));
}

bool TkvHtmlOpenElements::InTableScope(uint32_t tag) const
{
    return inScopeBelow(Nearest(tag), later(Nearest(Tag::html), later(Nearest(Tag::table), Nearest(Tag::template_))));
}

bool TkvHtmlOpenElements::InSelectScope(uint32_t tag) const
{
    // Every element but option and optgroup bounds the select scope. Inside a select only those two
    // are ever pushed after it, and they never nest there, so this walks at most a few nodes.
    NodeId node = top;
    while (IsHtml(node, Tag::option) || IsHtml(node, Tag::optgroup))
        node = nodes[node].prev;
    return IsHtml(node, tag);
}

TkvHtmlOpenElements::NodeId TkvHtmlOpenElements::FirstSpecialAfter(NodeId node) const
{
    const uint64_t key = nodes[node].key;
    const auto it = std::upper_bound(specials.begin(), specials.end(), key,
                                     [this](uint64_t k, NodeId special) { return k < nodes[special].key; });
    return it == specials.end() ? None : *it;
}

TkvHtmlOpenElements::NodeId TkvHtmlOpenElements::NearestForeignAboveHtml(uint32_t tag) const
{
    const NodeId match = tag < foreignChains.size() ? foreignChains[tag] : None;
    if (match == None)
        return None;
    const NodeId floor = htmlAtOrBelow(top);
    return floor == None || nodes[match].key > nodes[floor].key ? match : None;
}
