#pragma once

#include "kvHtmlTagNames.h"

#include <cstddef>
#include <cstdint>
#include <vector>

/// The tree builder's stack of open elements, without the elements themselves: for each open element its
/// name, namespace and what the rules ask of it (special, scope boundary, integration point). Besides
/// the stack it keeps, for every name, the chain of open elements of that name, and the lists of the
/// special elements, of the default-scope boundaries and of the special elements other than address,
/// div and p, so that every scope question (default, list item, button, table, select) and every "end
/// tag that stops at a special element" is answered in constant time: deep nesting stays linear.
///
/// The adoption agency takes elements out of the middle of the stack and puts a new one directly after
/// its furthest block, and </form> removes the form wherever it is. So the stack is a linked list over a
/// pool of nodes, and each node carries an order key: the keys of elements pushed on top grow with each
/// push; an element put after a furthest block gets a key between the block's and the next push's, which
/// orders it correctly against every pushed element (those are the only comparisons the rules make).
///
/// "After" an element means above it, nearer the current node. Node ids are recycled once an element is
/// gone; a Handle (id and a number never reused) tells whether that very element is still open.
/// One instance per tree state; not thread-safe.
class TkvHtmlOpenElements
{
public:
    enum class Namespace : uint8_t
    {
        Html,
        Svg,
        Math
    };
    using NodeId = uint32_t;
    static constexpr NodeId None = 0xFFFFFFFF;
    struct Handle
    {
        NodeId id = None;
        uint32_t uid = 0;
    };

    TkvHtmlTagNames &Names() { return names; }

    bool Empty() const { return count == 0; }
    size_t Size() const { return count; }
    /// The current node (the last one pushed and still open); None when the stack is empty.
    NodeId Current() const { return top; }
    /// The first node (the html element, once there is one); None when empty.
    NodeId First() const { return bottom; }
    /// The node just below `node`; None for the first. REQUIRES: `node` is open.
    NodeId Previous(NodeId node) const { return nodes[node].prev; }
    /// The node just above `node`; None for the current node. REQUIRES: `node` is open.
    NodeId Next(NodeId node) const { return nodes[node].next; }

    uint32_t NameOf(NodeId node) const { return nodes[node].name; }
    Namespace NamespaceOf(NodeId node) const { return nodes[node].ns; }
    bool IsHtml(NodeId node) const { return node != None && nodes[node].ns == Namespace::Html; }
    bool IsHtml(NodeId node, uint32_t tag) const { return IsHtml(node) && nodes[node].name == tag; }
    bool CurrentIs(uint32_t tag) const { return IsHtml(top, tag); }
    bool IsSpecial(NodeId node) const { return nodes[node].kinds & Special; }
    /// svg foreignObject, desc, title; MathML annotation-xml with an HTML encoding
    bool IsHtmlIntegrationPoint(NodeId node) const { return nodes[node].kinds & HtmlIntegration; }
    /// MathML mi, mo, mn, ms, mtext
    bool IsMathTextIntegrationPoint(NodeId node) const { return nodes[node].kinds & MathText; }

    Handle HandleOf(NodeId node) const { return Handle{node, nodes[node].uid}; }
    bool IsOpen(Handle handle) const
    {
        return handle.id < nodes.size() && nodes[handle.id].open && nodes[handle.id].uid == handle.uid;
    }
    /// Kept for the list of active formatting elements: whether an entry refers to the node.
    bool IsListed(NodeId node) const { return nodes[node].listed; }
    void SetListed(NodeId node, bool listed) { nodes[node].listed = listed; }

    /// The open HTML element of that name nearest the current node; None when there is none.
    NodeId Nearest(uint32_t tag) const { return tag < htmlChains.size() ? htmlChains[tag] : None; }
    bool HasOpen(uint32_t tag) const { return Nearest(tag) != None; }
    /// Whether an HTML element named `tag` is in the default, list item, button, table or select scope.
    bool InScope(uint32_t tag) const { return inScopeBelow(Nearest(tag), nearestDefaultBoundary()); }
    bool InListItemScope(uint32_t tag) const;
    bool InButtonScope(uint32_t tag) const;
    bool InTableScope(uint32_t tag) const;
    bool InSelectScope(uint32_t tag) const;
    /// Whether that open node is in the default scope.
    bool NodeInScope(NodeId node) const { return inScopeBelow(node, nearestDefaultBoundary()); }
    NodeId NearestSpecial() const { return specials.empty() ? None : specials.back(); }
    /// The nearest special element other than an HTML address, div or p (where <li>, <dd>, <dt> stop looking).
    NodeId NearestListItemStop() const { return listItemStops.empty() ? None : listItemStops.back(); }
    /// The first special element after `node` (the adoption agency's furthest block); None when there is none.
    NodeId FirstSpecialAfter(NodeId node) const;
    /// The nearest svg/MathML element of that name above the nearest HTML element; None when there is none.
    /// REQUIRES: the current node is not an HTML element.
    NodeId NearestForeignAboveHtml(uint32_t tag) const;
    /// Whether `a` stands below `b`. REQUIRES: both open.
    bool IsBefore(NodeId a, NodeId b) const { return nodes[a].key < nodes[b].key; }

    /// Pushes an element and returns its node. `tag` must come from Names(); `htmlEncoding` marks a MathML
    /// annotation-xml whose encoding makes it an HTML integration point.
    NodeId Push(uint32_t tag, Namespace ns, bool htmlEncoding = false);
    /// REQUIRES: !Empty()
    void Pop() { release(top); }
    /// Pops up to and including `node`. REQUIRES: `node` is open.
    void PopThrough(NodeId node);
    /// Pops until an HTML element named `tag` has been popped (or the stack is empty).
    void PopUntil(uint32_t tag);
    /// Pops until one of h1 ... h6 has been popped.
    void PopUntilHeading();
    /// Pops while the current node is an HTML dd, dt, li, optgroup, option, p, rb, rp, rt or rtc other
    /// than `except` (thoroughly: also caption, colgroup, tbody, td, tfoot, th, thead, tr).
    void GenerateImpliedEndTags(uint32_t except = TkvHtmlTagNames::None, bool thoroughly = false);
    /// Takes an open node out of the stack wherever it stands.
    void Remove(NodeId node) { release(node); }
    /// The node now stands for a new element (the adoption agency's copy): handles to the old one close.
    void Renew(NodeId node) { nodes[node].uid = ++uids; }
    /// Takes `node` out and puts it, as a new element, directly after `after`. REQUIRES: both open,
    /// `node` an HTML element before `after`, and `after` an HTML element pushed on top (not moved).
    void MoveAfter(NodeId node, NodeId after);

private:
    enum Kind : uint8_t
    {
        Special = 1,
        ScopeBoundary = 2,
        ListItemStop = 4,
        HtmlIntegration = 8,
        MathText = 16,
    };

    struct Node
    {
        uint64_t key;
        NodeId prev, next;         ///< the stack
        NodeId prevSame, nextSame; ///< the chain of open elements of the same name (HTML and others apart)
        uint32_t name;
        uint32_t uid;
        /// svg/MathML: the nearest HTML element below (bounds the end tags of foreign content).
        /// HTML: how many elements the adoption agency has put directly after this one.
        uint32_t extra;
        Namespace ns;
        uint8_t kinds;
        bool open;
        bool listed;
    };

    static uint8_t kindsOf(uint32_t tag, Namespace ns, bool htmlEncoding);
    NodeId &chainOf(uint32_t tag, Namespace ns) { return ns == Namespace::Html ? htmlChains[tag] : foreignChains[tag]; }
    NodeId nearestDefaultBoundary() const { return boundaries.empty() ? None : boundaries.back(); }
    /// `target` is open and not below `boundary` (the boundary itself counts as in scope).
    bool inScopeBelow(NodeId target, NodeId boundary) const
    {
        return target != None && (boundary == None || nodes[target].key >= nodes[boundary].key);
    }
    NodeId later(NodeId a, NodeId b) const;
    /// The nearest HTML element at or below `node`.
    NodeId htmlAtOrBelow(NodeId node) const;
    /// Links `node` into the stack after `after` (None: at the bottom), and into its name's chain, searching
    /// upwards from between `sameBelow` and `sameAbove` (same-named nodes below its new place, adjacent).
    void linkAfter(NodeId node, NodeId after, NodeId sameBelow, NodeId sameAbove);
    void unlink(NodeId node);
    void unlinkChain(NodeId node);
    /// The svg/MathML elements from `from` up that counted `oldFloor` as their nearest HTML element take `newFloor`.
    void updateFloors(NodeId from, NodeId oldFloor, NodeId newFloor);
    void release(NodeId node);

    TkvHtmlTagNames names;
    std::vector<Node> nodes;
    std::vector<NodeId> freeNodes;
    std::vector<NodeId> htmlChains, foreignChains;           ///< per tag: the nearest open element of that name
    std::vector<NodeId> specials, boundaries, listItemStops; ///< in stack order
    NodeId top = None, bottom = None;
    size_t count = 0;
    uint64_t pushes = 0;
    uint32_t uids = 0;
};
