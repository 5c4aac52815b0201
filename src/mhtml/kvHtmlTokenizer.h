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
/// off, so <noscript> content is tokenized as markup. No tree is built: what tokenization needs from the
/// tree builder (the state a start tag switches to, whether svg/math content allows CDATA) comes from
/// TkvHtmlTreeState, which follows the tree construction rules without nodes.
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
///   bytes are then not covered by any token. Nor is a UTF-8 byte order mark at the start, which a
///   browser's decoder drops.
/// - Which tags start raw text, and where svg/math content begins and ends, is decided as the tree builder
///   decides it (see TkvHtmlTreeState): a <style> that the tree builder puts in MathML content holds markup, one
///   it ignores (inside <select>, after a <frameset>) starts no raw text. The <select> rules are those before
///   the standard opened select to most content in 2025. Beyond TkvHtmlTreeState::MaxOpenElements open elements
///   further start tags open nothing.
///   Wherever HTML rules read a start tag "image" it is reported as "img", as the tree builder renames it (also
///   where it then ignores the tag). Names are not case-adjusted (svg's foreignObject is reported as
///   "foreignobject").
class TkvHtmlTokenizer
{
public:
    explicit TkvHtmlTokenizer(std::string_view input);
    /// Fills `token` with the next token and returns true; returns false at the end of the input
    /// (token.kind is then EndOfFile). `token` is reused to avoid allocations.
    bool Next(TkvHtmlToken &token);

    /// True while the current node of the tree builder is an svg or MathML element (where CDATA is allowed).
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
