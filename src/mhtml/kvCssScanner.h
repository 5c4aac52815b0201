#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

/// One reference to another resource found in a style sheet or a style attribute.
struct TkvCssReference
{
    enum Kind
    {
        Url,      ///< url(x) or url("x") outside @import
        Import,   ///< @import "x", @import url(x), @import url("x")
        ImageSet, ///< a string directly inside image-set() or -webkit-image-set()
    };

    Kind kind = Url;
    std::string url;  ///< the reference with CSS escapes decoded (hex escapes as UTF-8); other bytes as in the input
    size_t begin = 0; ///< the raw value in the input: a string's content without its quotes, or the text
    size_t end = 0;   ///< of an unquoted url() without the surrounding white space
    char quote = 0;   ///< '"' or '\'' for a string; 0 for an unquoted url()
};

/// Finds every reference of a style sheet or a declaration list (a style attribute), in input order,
/// tokenizing by CSS Syntax Level 3: comments, strings, escapes, url tokens and the recovery from bad
/// strings and bad urls (neither of which yields a reference). Nesting (@media, @supports, @layer,
/// @font-face, nested rules) is followed with an explicit stack: linear in the input, never recursive.
/// The input is bytes of an ASCII-compatible encoding; a reference whose value is empty is still reported.
/// @namespace URLs are not resource references and are skipped. Stateless; safe on any thread.
std::vector<TkvCssReference> ScanCss(std::string_view css);

/// The tokenizer and the little context that ScanCss needs; use ScanCss.
class TkvCssScanner
{
public:
    explicit TkvCssScanner(std::string_view css) : in(css) {}
    std::vector<TkvCssReference> Scan();

private:
    enum class Block : unsigned char
    {
        Paren,
        Bracket,
        Brace,
        UrlFunction,
        ImageSet
    };

    bool isValidEscape(size_t at) const;
    bool startsIdentifier(size_t at) const;
    bool startsNumber(size_t at) const;
    /// Consumes the escape after a backslash at in[at - 1]; returns the position after it.
    size_t consumeEscape(size_t at, std::string &out) const;
    size_t consumeName(size_t at, std::string &out) const;
    size_t consumeNumber(size_t at) const;
    size_t consumeString(size_t at, TkvCssReference &string, bool &bad) const;
    size_t consumeUrl(size_t at, TkvCssReference &url, bool &bad) const;
    size_t skipBadUrl(size_t at) const;

    void onString(TkvCssReference &&string);
    void onUrl(TkvCssReference &&url);
    void onPreludeEnd();

    std::string_view in;
    std::vector<TkvCssReference> found;
    std::vector<Block> blocks;
    /// Inside the prelude of @import (until ';', '{' or '}' at its level) and whether its URL is read.
    bool inImport = false;
    bool inNamespace = false;
    bool importRead = false;
    size_t preludeDepth = 0;
    bool urlFunctionArgRead = false; ///< for the innermost url( function: its string came already
};
