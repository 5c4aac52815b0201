#pragma once

#include "kvHtmlOpenElements.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

struct TkvHtmlToken;

/// What the HTML tree builder would tell the tokenizer, without building a tree: the state a start
/// tag switches the tokenizer to, and whether it is inside svg or math content (where CDATA sections
/// are allowed and <style>, <title>, <script> hold markup). Inside svg/math it keeps the stack of
/// open elements; outside it the open HTML elements by name, with the order they started in; and the
/// list of active formatting elements to re-open. Approximate in the ways TkvHtmlTokenizer documents.
/// Each call costs amortised constant time, so deep nesting stays linear. One instance per tokenizer.
class TkvHtmlTreeState
{
public:
    /// The tokenizer state for an element's content.
    enum class Content
    {
        Data,
        RcData,
        RawText,
        ScriptData,
        PlainText
    };

    /// Records a start tag and returns the state for its content; renames "image" to "img" where
    /// the tree builder does.
    Content AfterStartTag(TkvHtmlToken &token);
    void AfterEndTag(const TkvHtmlToken &token);
    /// Records character data outside raw-text elements: the tree builder re-opens formatting
    /// elements before inserting it.
    void AfterText(std::string_view text);
    bool InForeignContent() const { return !open.Empty() && open.Top().ns != Namespace::Html; }

private:
    using Namespace = TkvHtmlOpenElements::Namespace;

    /// An entry of the tree builder's list of active formatting elements, for the formatting
    /// elements (a, b, font, ...) opened on `open`. Closing an element around one pops it but leaves
    /// it listed, and the next character data or start tag re-opens it there: that decides what a
    /// later end tag closes. Markers (applet, marquee, object, template) bound the list as in the
    /// tree builder. At most three entries of a name after the last marker (the tree builder also
    /// compares attributes), which bounds the work of re-opening.
    struct FormattingEntry
    {
        std::string name;
        size_t openIndex; ///< its element in `open`, npos once popped
        bool marker;
    };

    /// The HTML elements open outside foreign content, within the innermost scope boundary (table, td,
    /// th, caption, object, ...): the end tag of an open one closes svg/math content opened inside it.
    /// Each boundary keeps the elements from around it, restored at its end.
    using OpenNames = std::unordered_map<std::string, std::vector<size_t>>;
    using OpenName = OpenNames::value_type;
    /// An element counted open: its name's entry (entries are never erased, and stay in place when
    /// the map grows or moves) and when it started.
    using Started = std::pair<OpenName *, size_t>;
    struct Scope
    {
        std::string boundary;
        OpenNames saved;
        std::vector<Started> savedSpecials, savedLog;
    };

    Content startHtmlElement(TkvHtmlToken &token);
    void push(std::string name, Namespace ns, bool htmlIntegration, bool mathText);
    void pop();
    void popThrough(size_t index);
    void popToIntegrationPoint();
    void countHtmlStartTag(const std::string &name);
    /// Closes the last open element of that name and the elements opened after it.
    void closeCounted(const std::string &name);
    void closeThrough(std::vector<size_t> &opened);
    /// Closes the last of `opened` as its end tag does (`kind`: its name's NameKind bits); false when
    /// the end tag is ignored.
    bool closeCountedByEndTag(std::vector<size_t> &opened, unsigned kind);
    /// When the last special element still open started, 0 when none is.
    size_t lastOpenSpecial();
    static bool isStillOpen(const Started &started);
    static bool isOpen(const OpenNames &names, const std::string &name);
    /// Counts an HTML end tag outside foreign content; true when it closes an open element.
    bool countHtmlEndTag(const std::string &name);
    void popScope();
    /// True when the end tag `name` closes a select in a table: a table part that is in table scope.
    bool closesSelectInTable(const std::string &name) const;
    void listFormatting(size_t openIndex);
    int listedCount(const std::string &name) const; ///< entries of that name after the last marker
    bool hasFormattingToReopen() const;
    /// The last entry named `name` after the last marker, npos when there is none.
    size_t listedFormatting(const std::string &name) const;
    /// Removes an entry (the element, if open, stays open).
    void forgetFormatting(size_t entry);
    /// Re-opens the popped formatting elements after the last open one or marker.
    void reconstructFormatting();
    /// Closes the element at `index` by its own end tag: popped, and no longer listed.
    void closeByEndTag(size_t index);

    TkvHtmlOpenElements open; ///< foreign content and the HTML inside its integration points
    /// For each name, when the open ones started (numbers from `startTags`), and the special elements
    /// among them in that order: an end tag stops at a special element opened after its element.
    OpenNames htmlOpen;
    std::vector<Started> specialsOpen; ///< may hold closed ones (see lastOpenSpecial)
    /// Every element counted open, in order (closed ones are dropped lazily): an end tag closes the
    /// elements opened after its element, as the tree builder pops them.
    std::vector<Started> openLog;
    size_t startTags = 0;
    std::vector<Scope> scopes;
    std::vector<FormattingEntry> formatting;
    int tablesOpen = 0;                ///< scopes whose boundary is a table
    bool inSelect = false;             ///< inside <select>, where only <script> and <textarea> change the state
    bool selectInTable = false;        ///< that select is inside a table (or a cell or caption)
    bool selectTableInForeign = false; ///< ... in a table opened inside an integration point
};
