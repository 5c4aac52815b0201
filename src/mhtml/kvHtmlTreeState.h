#pragma once

#include "kvHtmlFormattingList.h"
#include "kvHtmlOpenElements.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

struct TkvHtmlToken;

/// What the HTML tree builder would tell the tokenizer, without building a tree: the state a start tag
/// switches the tokenizer to, and whether the current node is an svg or MathML element (where CDATA
/// sections are allowed and <style>, <title>, <script> hold markup). To know that on every input it
/// follows the tree construction rules themselves, with scripting off: the insertion modes (with the
/// template modes, "in table text" and "reset the insertion mode appropriately"), the stack of open
/// elements with their namespaces (TkvHtmlOpenElements), the list of active formatting elements and the
/// adoption agency (TkvHtmlFormattingList), the form and head pointers, the frameset-ok flag, quirks mode
/// (from the DOCTYPE), and the rules for svg/MathML content and its integration points. Foster
/// parenting moves nodes in the tree only, so it needs no state here. Nodes are not built.
///
/// Two bounds keep time and memory linear on any input: at most MaxOpenElements elements are kept open
/// (a start tag that would open one more is ignored, as the tree builder ignores a misplaced one), and
/// TkvHtmlFormattingList bounds its entries after the last marker. Real pages stay far below both.
/// One instance per tokenizer; the token passed in must be the one just read.
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
    /// Browsers flatten the document tree below 512 levels; the tree builder's state needs no such limit,
    /// but this one bounds memory (a few dozen bytes per open element).
    static constexpr size_t MaxOpenElements = size_t(1) << 18;

    /// Records a start tag and returns the state for its content; renames "image" to "img" wherever HTML
    /// rules read it, as the tree builder does.
    Content AfterStartTag(TkvHtmlToken &token);
    void AfterEndTag(const TkvHtmlToken &token);
    /// Character data outside raw-text elements (and CDATA sections): raw bytes, references undecoded.
    void AfterText(std::string_view text);
    /// The content of a CDATA section (allowed in svg/MathML content only): characters, not references.
    void AfterCdata(std::string_view text);
    /// `markup` is the whole DOCTYPE token ("<!DOCTYPE ...>"), which decides quirks mode.
    void AfterDoctype(std::string_view markup);
    void AfterComment() { skipNewline = false; }
    bool InForeignContent() const { return !open.Empty() && !open.IsHtml(open.Current()); }

private:
    enum class Mode : uint8_t
    {
        Initial,
        BeforeHtml,
        BeforeHead,
        InHead,
        InHeadNoscript,
        AfterHead,
        InBody,
        Text,
        InTable,
        InCaption,
        InColumnGroup,
        InTableBody,
        InRow,
        InCell,
        InSelect,
        InSelectInTable,
        InTemplate,
        AfterBody,
        InFrameset,
        AfterFrameset,
        AfterAfterBody,
        AfterAfterFrameset
    };
    using Namespace = TkvHtmlOpenElements::Namespace;
    using NodeId = TkvHtmlOpenElements::NodeId;
    /// A tag token: its name's number (TkvHtmlTagNames::None for an end tag no element carries) and,
    /// for a start tag, the token.
    struct TagToken
    {
        uint32_t id;
        TkvHtmlToken *token;
    };

    // Dispatch (kvHtmlTreeState.cpp).
    bool htmlRulesForStartTag(uint32_t tag) const;
    void startTag(Mode in, TagToken &tag);
    void endTag(Mode in, TagToken &tag);
    void foreignStartTag(TagToken &tag);
    void foreignEndTag(TagToken &tag);
    void text(std::string_view text);
    void bodyText(std::string_view text);
    void popToHtmlOrIntegrationPoint();
    void resetInsertionMode();

    // The modes before the body, after it, framesets and templates (kvHtmlTreeStateModes.cpp).
    void startBeforeBody(Mode in, TagToken &tag);
    void endBeforeBody(Mode in, TagToken &tag);
    void startInHead(TagToken &tag);
    void endInHead(TagToken &tag);
    void startAfterBody(Mode in, TagToken &tag);
    void endAfterBody(Mode in, TagToken &tag);
    void startInTemplate(TagToken &tag);

    // "in body" (kvHtmlTreeStateBody.cpp).
    void startInBody(TagToken &tag);
    void endInBody(TagToken &tag);
    void startBlock(TagToken &tag);
    void startListItem(TagToken &tag);
    void startFormatting(TagToken &tag);
    void anyOtherEndTag(uint32_t tag);
    void closeParagraphInButtonScope();
    /// An <input type=hidden> stays in a table and leaves the frameset chance.
    static bool isHiddenInput(const TkvHtmlToken &token);
    void insertForeign(TagToken &tag, Namespace ns);

    // The table and select modes (kvHtmlTreeStateTable.cpp).
    void startInTable(TagToken &tag);
    void endInTable(TagToken &tag);
    void startInCaption(TagToken &tag);
    void endInCaption(TagToken &tag);
    void startInColumnGroup(TagToken &tag);
    void endInColumnGroup(TagToken &tag);
    void startInTableBody(TagToken &tag);
    void endInTableBody(TagToken &tag);
    void startInRow(TagToken &tag);
    void endInRow(TagToken &tag);
    void startInCell(TagToken &tag);
    void endInCell(TagToken &tag);
    void startInSelect(Mode in, TagToken &tag);
    void endInSelect(Mode in, TagToken &tag);
    void tableText(std::string_view text);
    void clearStackBackTo(std::initializer_list<uint32_t> tags);
    void closeCell();
    void closeCaption();
    bool closeRow();
    void closeSelect();

    // Inserting elements.
    NodeId insertHtml(uint32_t tag) { return open.Push(tag, Namespace::Html); }
    /// Inserts a raw-text, RCDATA or script element: its content goes to the tokenizer state `state`.
    void insertText(TagToken &tag, Content state);
    void reconstructFormatting() { formatting.Reconstruct(open, MaxOpenElements); }

    TkvHtmlOpenElements open;
    TkvHtmlFormattingList formatting;
    Mode mode = Mode::Initial;
    Mode originalMode = Mode::Initial; ///< the mode to return to after a raw-text element
    std::vector<Mode> templateModes;
    TkvHtmlOpenElements::Handle form; ///< the form element pointer (its element may be closed)
    bool formSet = false;
    bool headSet = false; ///< the head element pointer is set
    bool framesetOk = true;
    bool quirks = false;
    bool skipNewline = false;        ///< a line feed right after <pre>, <listing> or <textarea> is dropped
    bool inCdata = false;            ///< the characters at hand come from a CDATA section
    Content content = Content::Data; ///< the answer for the start tag being processed
};
