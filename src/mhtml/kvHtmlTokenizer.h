#pragma once

#include <cstddef>
#include <string>
#include <string_view>
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

#include "kvHtmlTreeState.h"

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
///   "breakout" start tags (and end tags br, p) and the end tag of an HTML element opened before it end it;
///   integration points (foreignObject, desc, title, mi, mo, mn, ms, mtext, annotation-xml with an HTML encoding)
///   bring back HTML rules. An end tag closes the elements opened after its element, but stops at a special
///   element (p, div, li, ...) opened after it and still open. Formatting elements (a, b, font, ...) closed that
///   way, or by a second <a>, or standing directly in a table that closed, are re-opened by the next text or start
///   tag, as the tree builder does, at most three of a name (it also compares attributes). What stays approximate:
///   of the implied end tags only those of <p>, <button>, <a> and <nobr> and of table cells are followed, and the
///   adoption agency's moves when a special element stands inside the formatting element are not (the formatting
///   element is only closed).
///   Outside foreign content a start tag "image" is reported as "img", as the tree builder renames it. Inside <select>
///   (which the tree builder leaves by </select>, by <select>, <input>, <keygen>, <textarea>, and in a table by the
///   table's start tags and the end tags of its open parts) only <script> and <textarea> start raw text, since the
///   tree builder ignores the other raw-text tags there. Names are not case-adjusted
///   (svg's foreignObject is reported as "foreignobject").
class TkvHtmlTokenizer
{
public:
    explicit TkvHtmlTokenizer(std::string_view input);
    /// Fills `token` with the next token and returns true; returns false at the end of the input
    /// (token.kind is then EndOfFile). `token` is reused to avoid allocations.
    bool Next(TkvHtmlToken &token);

    /// True while the last start tag left the tokenizer inside svg or math content.
    bool InForeignContent() const { return tree.InForeignContent(); }

private:
    using Mode = TkvHtmlTreeState::Content;

    bool emitText(TkvHtmlToken &token, size_t from, size_t to);
    /// emitText for text the tree builder inserts as characters (not raw-text element content).
    bool emitCharacterData(TkvHtmlToken &token, size_t from, size_t to);
    /// Each returns false when the input ends inside a tag (the tag is dropped).
    bool parseTag(TkvHtmlToken &token, size_t at, bool endTag);
    void parseMarkupDeclaration(TkvHtmlToken &token, size_t at);
    void parseBogusComment(TkvHtmlToken &token, size_t at, size_t dataBegin);
    size_t findRawTextEnd(size_t from) const;
    size_t findScriptEnd(size_t from) const;
    bool isAppropriateEndTag(size_t lessThan) const;
    bool isDuplicate(const TkvHtmlToken &token, size_t count, const std::string &name);

    std::string_view in;
    size_t pos = 0;
    Mode mode = Mode::Data;
    std::string endTagName; ///< the raw-text element the tokenizer is in
    TkvHtmlTreeState tree;
    std::unordered_set<std::string> seenNames; ///< duplicate check for tags with many attributes
    std::string scratch;
};
