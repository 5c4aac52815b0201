#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

/// One token of an HTML byte stream. Offsets are byte positions in the tokenizer's input.
struct TkvHtmlToken
{
    enum Kind
    {
        StartTag,
        EndTag,
        Text,
        Comment,
        Doctype,
        EndOfFile
    };

    struct Attribute
    {
        std::string name;      ///< lower-cased ASCII
        std::string value;     ///< character references decoded (to UTF-8); other bytes as in the input
        size_t valueBegin = 0; ///< raw value bytes in the input, quotes excluded
        size_t valueEnd = 0;   ///< == valueBegin when the attribute has no value
    };

    Kind kind = EndOfFile;
    std::string name; ///< tag name, lower-cased ASCII (StartTag, EndTag); DOCTYPE name
    bool selfClosing = false;
    std::vector<Attribute> attributes; ///< duplicates already dropped (the first one wins)
    size_t begin = 0;                  ///< the whole token's bytes in the input
    size_t end = 0;
    /// For Text: the raw bytes of the run (character references not decoded). Inside <style>,
    /// <script>, <textarea>, <title> and the other raw-text elements this is exactly their content.
    /// For Comment: the raw comment data (between "<!--" and "-->", or of a bogus comment).
    std::string_view text;

    const Attribute *Find(std::string_view attributeName) const;
};

/// WHATWG HTML tokenizer over an ASCII-compatible byte stream (UTF-8, windows-125x, ...), with scripting
/// off, so <noscript> content is tokenized as markup. No tree is built: the tokenizer tracks only what
/// tokenization itself needs (the raw-text element it is in, foreign svg/math content for CDATA).
/// Linear in the input, never recursive. One instance per thread; the input must outlive it.
///
/// Details a consumer may rely on:
/// - Text tokens are maximal runs of character data, except that a "</>" (which produces no token)
///   splits a run in two. The content of a raw-text element (style, script, title, ...) is one Text
///   token, absent when the element is empty. A CDATA section inside svg/math is a Text token holding
///   its content (empty for "<![CDATA[]]>"); outside foreign content "<![CDATA[" is a bogus comment.
/// - Names and decoded values have NUL replaced by U+FFFD, and values CR LF / CR turned into LF, as
///   the tree would hold them. Text and comment data are raw input bytes.
/// - A tag cut off by the end of the input is dropped, as the standard says; the input's remaining
///   bytes are then not covered by any token.
/// - Foreign content is followed approximately: svg and math open it, their end tags, the HTML
///   "breakout" start tags (and end tags br, p) and the end tag of an HTML element opened before it
///   (elements are counted by name, without the tree builder's implied end tags) end it; integration points
///   (foreignObject, desc, title, mi, mo, mn, ms, mtext, annotation-xml with an HTML encoding) bring back HTML rules.
///   Outside foreign content a start tag "image" is reported as "img", as the tree builder renames it. Inside <select>
///   (which the tree builder leaves by </select>, by <select>, <input>, <keygen>, <textarea>, and by table parts when
///   it is in a table) only <script> and <textarea> start raw text, since the tree
///   builder ignores the other raw-text tags there. Names are not case-adjusted
///   (svg's foreignObject is reported as "foreignobject").
class TkvHtmlTokenizer
{
public:
    explicit TkvHtmlTokenizer(std::string_view input);
    /// Fills `token` with the next token and returns true; returns false at the end of the input
    /// (token.kind is then EndOfFile). `token` is reused to avoid allocations.
    bool Next(TkvHtmlToken &token);

    /// True while the last start tag left the tokenizer inside svg or math content.
    bool InForeignContent() const { return !open.empty() && open.back().ns != Namespace::Html; }

private:
    enum class Mode
    {
        Data,
        RcData,
        RawText,
        ScriptData,
        PlainText
    };
    enum class Namespace : uint8_t
    {
        Html,
        Svg,
        Math
    };

    /// An element open inside foreign content (the stack is empty outside svg and math).
    struct OpenElement
    {
        std::string name;
        Namespace ns;
        bool htmlIntegration; ///< svg foreignObject/desc/title, annotation-xml with an HTML encoding
        bool mathText;        ///< mi, mo, mn, ms, mtext
    };

    bool emitText(TkvHtmlToken &token, size_t from, size_t to);
    /// Each returns false when the input ends inside a tag (the tag is dropped).
    bool parseTag(TkvHtmlToken &token, size_t at, bool endTag);
    void parseMarkupDeclaration(TkvHtmlToken &token, size_t at);
    void parseBogusComment(TkvHtmlToken &token, size_t at, size_t dataBegin);
    size_t findRawTextEnd(size_t from) const;
    size_t findScriptEnd(size_t from) const;
    bool isAppropriateEndTag(size_t lessThan) const;
    bool isDuplicate(const TkvHtmlToken &token, size_t count, const std::string &name);

    void afterStartTag(TkvHtmlToken &token);
    void afterEndTag(const TkvHtmlToken &token);
    void startHtmlElement(TkvHtmlToken &token);
    void push(std::string name, Namespace ns, bool htmlIntegration, bool mathText);
    void pop();
    void popThrough(size_t index);
    static size_t lastOf(const std::unordered_map<std::string, std::vector<size_t>> &positions,
                         const std::string &name);
    void popToIntegrationPoint();
    void countHtmlStartTag(const std::string &name);
    /// Counts an HTML end tag outside foreign content; true when it closes an open element.
    bool countHtmlEndTag(const std::string &name);
    void popScope();

    std::string_view in;
    size_t pos = 0;
    Mode mode = Mode::Data;
    std::string endTagName;        ///< the raw-text element the tokenizer is in
    std::vector<OpenElement> open; ///< foreign content and the HTML inside its integration points
    /// Where each name stands in `open` (indices, ascending), for HTML and for foreign elements, and
    /// where the HTML elements and the integration points stand: end tags find their element without
    /// walking the stack, so deep nesting stays linear.
    std::unordered_map<std::string, std::vector<size_t>> htmlPositions, foreignPositions;
    std::vector<size_t> htmlIndexes, integrationIndexes;
    /// Start tags minus end tags of each HTML element outside foreign content, within the innermost
    /// scope boundary (table, td, th, caption, object, ...): the end tag of an open one closes svg/math
    /// content opened inside it. Each boundary keeps the counts from around it, restored at its end.
    struct Scope
    {
        std::string boundary;
        std::unordered_map<std::string, int> saved;
    };
    std::unordered_map<std::string, int> htmlOpen;
    std::vector<Scope> scopes;
    int tablesOpen = 0;                        ///< scopes whose boundary is a table
    bool inSelect = false;                     ///< inside <select>, where only <script> changes the state
    bool selectInTable = false;                ///< that select is inside a table (or a cell or caption)
    std::unordered_set<std::string> seenNames; ///< duplicate check for tags with many attributes
    std::string scratch;
};
