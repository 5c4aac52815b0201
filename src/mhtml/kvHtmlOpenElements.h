#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

/// The stack of elements open inside svg/math content, and the HTML elements open inside its
/// integration points, as TkvHtmlTreeState keeps it (empty outside foreign content). Besides the
/// stack it keeps where each name, the HTML elements, the scope boundaries and the special elements
/// stand, so that an end tag finds its element without walking the stack: each call costs amortised
/// constant time. What an element is (boundary, special) is decided by the caller. One instance per
/// tree state; not thread-safe.
class TkvHtmlOpenElements
{
public:
    enum class Namespace : uint8_t
    {
        Html,
        Svg,
        Math
    };

    struct Element
    {
        std::string name;
        Namespace ns;
        bool htmlIntegration; ///< svg foreignObject/desc/title, annotation-xml with an HTML encoding
        bool mathText;        ///< mi, mo, mn, ms, mtext
        bool scopeBoundary;   ///< an integration point, or an HTML table, object, template, ...
        bool special;         ///< an HTML element of the tree builder's special category
        bool listed = false;  ///< the tree state has it on its list of active formatting elements
    };

    bool Empty() const { return elements.empty(); }
    size_t Size() const { return elements.size(); }
    /// REQUIRES: !Empty()
    const Element &Top() const { return elements.back(); }
    /// REQUIRES: index < Size(). Only `listed` may be changed through it.
    Element &operator[](size_t index) { return elements[index]; }

    void Push(Element element);
    /// REQUIRES: !Empty()
    void Pop();

    /// Where the last open element of that name stands (HTML elements and foreign ones are looked up
    /// apart); npos when none is open.
    size_t LastHtml(const std::string &name) const { return lastOf(htmlPositions, name); }
    size_t LastForeign(const std::string &name) const { return lastOf(foreignPositions, name); }
    /// Where the innermost HTML element, scope boundary or special element stands; npos when none.
    size_t InnermostHtml() const { return lastOrNone(htmlIndexes); }
    size_t InnermostBoundary() const { return lastOrNone(boundaryIndexes); }
    size_t InnermostSpecial() const { return lastOrNone(specialIndexes); }

private:
    using Positions = std::unordered_map<std::string, std::vector<size_t>>;

    static size_t lastOf(const Positions &positions, const std::string &name)
    {
        const auto it = positions.find(name);
        return it == positions.end() ? std::string::npos : it->second.back();
    }
    static size_t lastOrNone(const std::vector<size_t> &indexes)
    {
        return indexes.empty() ? std::string::npos : indexes.back();
    }

    std::vector<Element> elements;
    /// Where each name stands (indices, ascending); a name leaves the map with its last element.
    Positions htmlPositions, foreignPositions;
    std::vector<size_t> htmlIndexes, boundaryIndexes, specialIndexes;
};
