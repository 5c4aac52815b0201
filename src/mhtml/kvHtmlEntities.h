#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

/// HTML character references (WHATWG HTML 13.2.5.72 to 13.2.5.80): the named table and the decoding of
/// named and numeric references in text and attribute values. Stateless; safe on any thread.
class TkvHtmlEntities
{
public:
    /// The UTF-8 value of the named reference `name` exactly as written in the table ("amp;", "amp");
    /// empty when there is none.
    static std::string_view Find(std::string_view name);

    /// Decodes the character reference that starts at input[pos] == '&' and appends its characters to
    /// `out`. Returns the number of input bytes consumed (at least 1); when the bytes do not form a
    /// reference, appends them unchanged. `inAttribute` applies the attribute-value rule: a named
    /// reference written without ';' is not decoded when '=' or an ASCII alphanumeric follows it.
    static size_t DecodeOne(std::string_view input, size_t pos, bool inAttribute, std::string &out);

    /// The whole of `raw` with every character reference decoded, CR LF and lone CR turned into LF
    /// and NUL into U+FFFD, as the tree would hold it. Other bytes are copied unchanged.
    static std::string Decode(std::string_view raw, bool inAttribute);

    /// Same as Decode, appending to `out`.
    static void AppendDecoded(std::string_view raw, bool inAttribute, std::string &out);

    /// Appends code point `cp` as UTF-8; surrogates and values above U+10FFFF become U+FFFD.
    static void AppendUtf8(std::string &out, uint32_t cp);
};
