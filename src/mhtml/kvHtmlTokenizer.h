#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

/// One token of an HTML byte stream. Offsets are byte positions in the tokenizer's input.
struct TkvHtmlToken
{
    enum Kind { StartTag, EndTag, Text, Comment, Doctype, EndOfFile };

    struct Attribute
    {
        std::string name;        ///< lower-cased ASCII
        std::string value;       ///< character references decoded (to UTF-8); other bytes as in the input
        size_t valueBegin = 0;   ///< raw value bytes in the input, quotes excluded
        size_t valueEnd = 0;     ///< == valueBegin when the attribute has no value
    };

    Kind kind = EndOfFile;
    std::string name;            ///< tag name, lower-cased ASCII (StartTag, EndTag)
    bool selfClosing = false;
    std::vector<Attribute> attributes; ///< duplicates already dropped (the first one wins)
    size_t begin = 0;            ///< the whole token's bytes in the input
    size_t end = 0;
    /// For Text: the raw bytes of the run (character references not decoded). Inside <style>,
    /// <script>, <textarea>, <title> and the other raw-text elements this is exactly their content.
    std::string_view text;

    const Attribute *Find(std::string_view attributeName) const;
};

/// WHATWG HTML tokenizer over an ASCII-compatible byte stream (UTF-8, windows-125x, ...), with scripting
/// off, so <noscript> content is tokenized as markup. No tree is built: the tokenizer tracks only what
/// tokenization itself needs (the raw-text element it is in, foreign svg/math content for CDATA).
/// Linear in the input, never recursive. One instance per thread; the input must outlive it.
class TkvHtmlTokenizer
{
public:
    explicit TkvHtmlTokenizer(std::string_view input);
    /// Fills `token` with the next token and returns true; returns false at the end of the input
    /// (token.kind is then EndOfFile). `token` is reused to avoid allocations.
    bool Next(TkvHtmlToken &token);
    // (implementation members private)
};
