#pragma once

#include <string_view>

/// Reads a DOCTYPE token the way the tokenizer's DOCTYPE states do, to tell whether it puts the document
/// in quirks mode (a missing DOCTYPE does too). The tree builder needs that for one rule: outside quirks
/// mode a <table> start tag closes an open <p>. Limited-quirks mode counts as no quirks. Stateless.
class TkvHtmlDoctype
{
public:
    /// `markup` is the whole token, from "<!DOCTYPE" (any letter case) up to and including its '>', or to
    /// the end of the input when it has none.
    static bool IsQuirks(std::string_view markup);
};
