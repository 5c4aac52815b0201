#include "kvHtmlDoctype.h"

#include <string>

namespace {

// clang-format off
/// Public identifiers that put a document in quirks mode by their beginning (compared ignoring ASCII case).
constexpr std::string_view QuirkyPublicPrefixes[] = {
    "+//silmaril//dtd html pro v0r11 19970101//", "-//as//dtd html 3.0 aswedit + extensions//",
    "-//advasoft ltd//dtd html 3.0 aswedit + extensions//", "-//ietf//dtd html 2.0 level 1//",
    "-//ietf//dtd html 2.0 level 2//", "-//ietf//dtd html 2.0 strict level 1//",
    "-//ietf//dtd html 2.0 strict level 2//", "-//ietf//dtd html 2.0 strict//", "-//ietf//dtd html 2.0//",
    "-//ietf//dtd html 2.1e//", "-//ietf//dtd html 3.0//", "-//ietf//dtd html 3.2 final//", "-//ietf//dtd html 3.2//",
    "-//ietf//dtd html 3//", "-//ietf//dtd html level 0//", "-//ietf//dtd html level 1//",
    "-//ietf//dtd html level 2//", "-//ietf//dtd html level 3//", "-//ietf//dtd html strict level 0//",
    "-//ietf//dtd html strict level 1//", "-//ietf//dtd html strict level 2//", "-//ietf//dtd html strict level 3//",
    "-//ietf//dtd html strict//", "-//ietf//dtd html//", "-//metrius//dtd metrius presentational//",
    "-//microsoft//dtd internet explorer 2.0 html strict//", "-//microsoft//dtd internet explorer 2.0 html//",
    "-//microsoft//dtd internet explorer 2.0 tables//", "-//microsoft//dtd internet explorer 3.0 html strict//",
    "-//microsoft//dtd internet explorer 3.0 html//", "-//microsoft//dtd internet explorer 3.0 tables//",
    "-//netscape comm. corp.//dtd html//", "-//netscape comm. corp.//dtd strict html//",
    "-//o'reilly and associates//dtd html 2.0//", "-//o'reilly and associates//dtd html extended 1.0//",
    "-//o'reilly and associates//dtd html extended relaxed 1.0//",
    "-//sq//dtd html 2.0 hotmetal + extensions//",
    "-//softquad software//dtd hotmetal pro 6.0::19990601::extensions to html 4.0//",
    "-//softquad//dtd hotmetal pro 4.0::19971010::extensions to html 4.0//", "-//spyglass//dtd html 2.0 extended//",
    "-//sun microsystems corp.//dtd hotjava html//", "-//sun microsystems corp.//dtd hotjava strict html//",
    "-//w3c//dtd html 3 1995-03-24//", "-//w3c//dtd html 3.2 draft//", "-//w3c//dtd html 3.2 final//",
    "-//w3c//dtd html 3.2//", "-//w3c//dtd html 3.2s draft//", "-//w3c//dtd html 4.0 frameset//",
    "-//w3c//dtd html 4.0 transitional//", "-//w3c//dtd html experimental 19960712//",
    "-//w3c//dtd html experimental 970421//", "-//w3c//dtd w3 html//", "-//w3o//dtd w3 html 3.0//",
    "-//webtechs//dtd mozilla html 2.0//", "-//webtechs//dtd mozilla html//",
};
// clang-format on
constexpr std::string_view QuirkyPublicIds[] = {"-//w3o//dtd w3 html strict 3.0//en//",
                                                "-/w3c/dtd html 4.0 transitional/en", "html"};
constexpr std::string_view QuirkySystemId = "http://www.ibm.com/data/dtd/v11/ibmxhtml1-transitional.dtd";
/// Quirky without a system identifier only.
constexpr std::string_view QuirkyWithoutSystemId[] = {"-//w3c//dtd html 4.01 frameset//",
                                                      "-//w3c//dtd html 4.01 transitional//"};

bool isWhitespace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

std::string lowerAscii(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c | 0x20);
    return out;
}

struct Doctype
{
    std::string name;
    std::string publicId, systemId; ///< lower-cased
    bool hasPublic = false, hasSystem = false;
    bool forceQuirks = false;
};

/// The DOCTYPE states over the text after "<!DOCTYPE" (no '>' in it: the first one ended the token).
class DoctypeReader
{
public:
    DoctypeReader(std::string_view body, bool closed) : in(body), closed(closed) {}

    Doctype Read()
    {
        if (atEnd())
            return quirky(); // "<!DOCTYPE>": no name
        skipWhitespace();
        if (atEnd())
            return quirky();
        const size_t nameBegin = at;
        while (!atEnd() && !isWhitespace(in[at]))
            ++at;
        doctype.name = lowerAscii(in.substr(nameBegin, at - nameBegin));
        skipWhitespace();
        if (atEnd())
            return ended();
        const std::string keyword = lowerAscii(in.substr(at, 6));
        if (keyword != "public" && keyword != "system")
            return quirky(); // bogus
        at += 6;
        const bool isPublic = keyword == "public";
        if (!identifier(isPublic ? doctype.publicId : doctype.systemId))
            return quirky();
        (isPublic ? doctype.hasPublic : doctype.hasSystem) = true;
        if (!isPublic)
            return ended(); // whatever follows a system identifier only makes the DOCTYPE bogus
        // A system identifier may follow, with or without whitespace before it.
        skipWhitespace();
        if (atEnd())
            return ended();
        if (in[at] != '"' && in[at] != '\'')
            return quirky();
        if (!quoted(doctype.systemId))
            return quirky();
        doctype.hasSystem = true;
        return ended();
    }

private:
    bool atEnd() const { return at >= in.size(); }
    void skipWhitespace()
    {
        while (!atEnd() && isWhitespace(in[at]))
            ++at;
    }
    Doctype quirky()
    {
        doctype.forceQuirks = true;
        return doctype;
    }
    /// At the end of the input a DOCTYPE without its '>' forces quirks.
    Doctype ended()
    {
        doctype.forceQuirks = doctype.forceQuirks || !closed;
        return doctype;
    }
    /// After the keyword: optional whitespace, then a quoted identifier.
    bool identifier(std::string &out)
    {
        skipWhitespace();
        return !atEnd() && (in[at] == '"' || in[at] == '\'') && quoted(out);
    }
    /// A quoted identifier; false when it runs to the end of the token (abrupt or at the end of input).
    bool quoted(std::string &out)
    {
        const char quote = in[at++];
        const size_t close = in.find(quote, at);
        if (close == std::string_view::npos)
            return false;
        out = lowerAscii(in.substr(at, close - at));
        at = close + 1;
        return true;
    }

    std::string_view in;
    bool closed;
    size_t at = 0;
    Doctype doctype;
};

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

} // namespace

bool TkvHtmlDoctype::IsQuirks(std::string_view markup)
{
    constexpr size_t Keyword = 9; // "<!DOCTYPE"
    if (markup.size() < Keyword)
        return true;
    const bool closed = markup.back() == '>';
    const Doctype d = DoctypeReader(markup.substr(Keyword, markup.size() - Keyword - (closed ? 1 : 0)), closed).Read();
    if (d.forceQuirks || d.name != "html")
        return true;
    if (d.hasSystem && d.systemId == QuirkySystemId)
        return true;
    if (!d.hasPublic)
        return false;
    for (std::string_view id : QuirkyPublicIds)
        if (d.publicId == id)
            return true;
    for (std::string_view prefix : QuirkyPublicPrefixes)
        if (startsWith(d.publicId, prefix))
            return true;
    if (!d.hasSystem)
        for (std::string_view prefix : QuirkyWithoutSystemId)
            if (startsWith(d.publicId, prefix))
                return true;
    return false;
}
