#pragma once

#include "kvHtmlOpenElements.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TkvHtmlToken;

/// The tree builder's list of active formatting elements (a, b, font, ...), with its markers, and the
/// algorithms that work on it and the stack together: re-opening ("reconstruct the active formatting
/// elements") and the adoption agency, with its fixed limits (eight outer rounds, three kept per inner
/// walk). Entries refer to elements by handle, so an entry whose element was popped is recognised.
///
/// Beyond the tree builder's own rule (at most three entries alike, by name and attributes, after the
/// last marker) the list keeps at most MaxAfterMarker entries after the last marker, dropping the
/// earliest as that rule does: a page can list any number of different ones, and every character run
/// re-opens all that are closed, so without a bound a small page could make the work quadratic.
/// One instance per tree state; not thread-safe.
class TkvHtmlFormattingList
{
public:
    using NodeId = TkvHtmlOpenElements::NodeId;
    using Handle = TkvHtmlOpenElements::Handle;
    static constexpr size_t MaxAfterMarker = 64;

    /// Puts a marker (for applet, marquee, object, template, td, th, caption).
    void PushMarker() { entries.push_back(Entry{Handle{}, Marker, 0, 0}); }
    /// Lists the formatting element just opened as `node` for `token`.
    void Push(TkvHtmlOpenElements &open, NodeId node, const TkvHtmlToken &token);
    /// Removes the entries up to and including the last marker.
    void ClearToLastMarker(TkvHtmlOpenElements &open);
    /// The element of the last entry named `tag` after the last marker (it may be closed); an empty
    /// handle when there is none.
    Handle LastAfterMarker(uint32_t tag) const;
    /// Removes the entry of that element, if there is one.
    void Forget(TkvHtmlOpenElements &open, Handle element);

    /// Re-opens the listed elements that were closed after the last open one or marker, while the stack
    /// holds fewer than `maxOpen` elements.
    void Reconstruct(TkvHtmlOpenElements &open, size_t maxOpen);
    /// The adoption agency for an end tag named `subject` (or the start tags a and nobr). Returns false
    /// when no entry of that name follows the last marker: the end tag is then any other end tag.
    bool Adopt(TkvHtmlOpenElements &open, uint32_t subject);

private:
    static constexpr uint32_t Marker = TkvHtmlTagNames::None;
    struct Entry
    {
        Handle element;
        uint32_t name;
        /// The element's attributes, sorted and joined (see canonicalAttributes), in `attributeText`.
        uint32_t attributesBegin, attributesSize;
    };

    /// Index of the entry of that element; npos when it has none.
    size_t find(Handle element) const;
    void erase(TkvHtmlOpenElements &open, size_t index);
    /// One round of the adoption agency; false when the algorithm ends.
    bool adoptOnce(TkvHtmlOpenElements &open, NodeId formatting, size_t &entry);
    void canonicalAttributes(const TkvHtmlToken &token);

    std::vector<Entry> entries;
    std::string attributeText; ///< grows with the formatting tags that have attributes, never beyond the input
    std::string scratch;
};
