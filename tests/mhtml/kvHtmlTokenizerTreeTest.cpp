// What the tokenizer takes from the tree construction rules: whether a raw-text tag starts raw text
// (and whether it is an HTML element at all), on inputs where tables, cells, foreign content, the head,
// quirks mode and framesets interact. Every expectation here is what Chromium builds from the same bytes
// (checked with fuzz/chromium_parse.py).

#include "kvHtmlTokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

/// How the tokenizer reads a probe "<style><b>" (or another raw-text tag) at the end of `html`:
/// "raw" (an HTML element whose content is text), "foreign" (an svg/MathML element holding markup) or
/// "markup" (a tag the tree builder ignores: its content is read as markup).
std::string probe(const std::string &html, const std::string &tag = "style")
{
    const std::string input = html + "<" + tag + "><b>";
    TkvHtmlTokenizer tokenizer(input);
    TkvHtmlToken token;
    const size_t at = html.size();
    while (tokenizer.Next(token)) {
        if (token.begin != at)
            continue;
        if (tokenizer.InForeignContent())
            return "foreign";
        if (!tokenizer.Next(token))
            return "end";
        return token.kind == TkvHtmlToken::Text && token.text == "<b>" ? "raw" : "markup";
    }
    return "no tag";
}

std::vector<std::string> startTags(const std::string &html)
{
    std::vector<std::string> names;
    TkvHtmlTokenizer tokenizer(html);
    TkvHtmlToken token;
    while (tokenizer.Next(token))
        if (token.kind == TkvHtmlToken::StartTag)
            names.push_back(token.name);
    return names;
}

TEST(KvHtmlTokenizerTreeTest, CellsOfATableInsideMathmlText)
{
    // The cell keeps the <a> before it out (a marker), so </a> closes the math opened in the cell.
    EXPECT_EQ(probe("<math><mi><table><a><td><math></a>"), "foreign");
    // </td> ends the cell, not the table: the math after it is in the table (foster-parented), and the
    // style in it holds the <img>, which the page therefore shows.
    const std::string page = "<math><mi><table><td><a></td><math></a><style><img src=x.png>";
    EXPECT_EQ(startTags(page).back(), "img");
    EXPECT_EQ(probe("<math><mi><table><td><a></td><math></a>"), "foreign");
}

TEST(KvHtmlTokenizerTreeTest, EndTagsLookInTheirOwnScope)
{
    // </table> looks in table scope, which a MathML mi does not bound: the table closes with the math in it.
    EXPECT_EQ(probe("<table><math><mi><math></table>"), "raw");
    EXPECT_EQ(startTags("<table><math><mi><math></table><image src=x.png>").back(), "img");
    EXPECT_EQ(probe("<table><td><svg><foreignObject><svg></td>"), "raw");
    // An end tag that stops at special elements stops at the foreign ones too.
    EXPECT_EQ(probe("<mi><svg><title><svg></mi>"), "foreign");
    // ... and </b> from inside MathML text takes the b out from above the math.
    EXPECT_EQ(probe("<b><p><math><mi></b>"), "raw");
}

TEST(KvHtmlTokenizerTreeTest, NoscriptInTheHead)
{
    // With scripting off a <noscript> in the head holds head elements only: <svg> closes it (and the head),
    // so </noscript> is ignored and the script is an svg element.
    EXPECT_EQ(probe("<noscript><svg></noscript>", "script"), "foreign");
    EXPECT_EQ(startTags("<noscript><svg></noscript><script><img src=x.png>").back(), "img");
    EXPECT_EQ(probe("<head><noscript>"), "raw");
    EXPECT_EQ(probe("<head><noscript><p>"), "raw");
    EXPECT_EQ(probe("<head><noscript><style>p{}</style></noscript>"), "raw");
}

TEST(KvHtmlTokenizerTreeTest, TheHeadEndsAtTheFirstCharacterThatIsNotWhitespace)
{
    // A <noscript> still in the head is closed by <svg>, and </noscript> is then ignored; one in the body
    // closes the svg.
    const std::string rest = "<noscript><svg></noscript>";
    EXPECT_EQ(probe("<head> \n" + rest, "script"), "foreign");
    EXPECT_EQ(probe("<head>&#32;" + rest, "script"), "foreign"); // a reference to a space is a space
    EXPECT_EQ(probe("<head>x" + rest, "script"), "raw");
    EXPECT_EQ(probe("<head>&amp;" + rest, "script"), "raw");
}

TEST(KvHtmlTokenizerTreeTest, CdataHoldsCharactersNotReferences)
{
    // Any character but whitespace ends the chance of a frameset; in CDATA "&#32;" is five characters.
    EXPECT_EQ(probe("<svg><![CDATA[&#32;]]></svg><frameset>"), "raw");
    EXPECT_EQ(probe("<svg><![CDATA[ ]]></svg><frameset>"), "markup");
}

TEST(KvHtmlTokenizerTreeTest, QuirksModeKeepsAParagraphOpenAroundATable)
{
    // Outside quirks mode <table> closes the p, so </span> reaches the span and closes the math.
    const std::string body = "<span><p><table></table><math></span>";
    EXPECT_EQ(probe("<!DOCTYPE html>" + body), "raw");
    EXPECT_EQ(probe(body), "foreign"); // no DOCTYPE: quirks
    EXPECT_EQ(probe("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">" + body), "foreign");
    EXPECT_EQ(probe("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\" "
                    "\"http://www.w3.org/TR/html4/loose.dtd\">" +
                    body),
              "raw");
    EXPECT_EQ(probe("<p>" + std::string("<!DOCTYPE html>") + body), "foreign"); // a DOCTYPE counts only first
    // A byte order mark is no text: the DOCTYPE after it still counts (the browser's decoder drops it).
    EXPECT_EQ(probe("\xEF\xBB\xBF<!DOCTYPE html>" + body), "raw");
    EXPECT_EQ(probe(" \xEF\xBB\xBF<!DOCTYPE html>" + body), "foreign"); // only at the very start
}

TEST(KvHtmlTokenizerTreeTest, FramesetsIgnoreWhatTheyCannotHold)
{
    EXPECT_EQ(probe("<frameset>"), "markup");
    EXPECT_EQ(probe("<frameset>", "noframes"), "raw");
    EXPECT_EQ(probe("<frameset></frameset></html>", "noframes"), "raw");
    // Text in the body takes away the chance of a frameset: the <frameset> is then ignored.
    EXPECT_EQ(probe("<p>x<frameset>"), "raw");
    EXPECT_EQ(probe("<p> \n<frameset>"), "markup");
}

TEST(KvHtmlTokenizerTreeTest, AdoptionAgencyAndFormPointer)
{
    // </b> with a div inside the b: a new b goes after the div, and </div> closes both and the math.
    EXPECT_EQ(probe("<b><div></b><math></div>"), "raw");
    // </a> with a div inside: the new a goes after the div, below the math, and closes with it.
    EXPECT_EQ(probe("<a><div><math></a>"), "raw");
    // </form> takes the form out from under the svg, which stays open.
    EXPECT_EQ(probe("<form><svg></form>"), "foreign");
    EXPECT_EQ(probe("<form><svg></form></form></svg>"), "raw");
}

TEST(KvHtmlTokenizerTreeTest, SelectsTablesAndTemplates)
{
    EXPECT_EQ(probe("<select>"), "markup");
    EXPECT_EQ(probe("<select>", "textarea"), "raw"); // closes the select
    EXPECT_EQ(probe("<table><tr><td><select><td>"), "raw");
    EXPECT_EQ(probe("<template><td>"), "raw");
    EXPECT_EQ(probe("<table><template><tr>"), "raw");
    EXPECT_EQ(probe("<select><template>"), "raw");
    EXPECT_EQ(probe("<template><tr><td><math></template>"), "raw"); // the template's end closes the math in it
}

TEST(KvHtmlTokenizerTreeTest, StartTagsBeyondTheOpenElementLimitOpenNothing)
{
    // The model keeps a bounded number of elements open; a page nested deeper still tokenizes in full.
    std::string deep;
    for (size_t i = 0; i < TkvHtmlTreeState::MaxOpenElements; ++i)
        deep += "<div>";
    EXPECT_EQ(probe(deep), "markup");
    EXPECT_EQ(probe(deep + "</div>"), "raw");
}

TEST(KvHtmlTokenizerTreeTest, NestedTablesInForeignContentStayLinear)
{
    // The pattern of the memory bound, far beyond the open-element limit: every token comes out.
    std::string html;
    const std::string piece = "<div><span><table><tr><td><svg><math>";
    for (int i = 0; i < 60000; ++i)
        html += piece;
    TkvHtmlTokenizer tokenizer(html);
    TkvHtmlToken token;
    size_t count = 0;
    while (tokenizer.Next(token))
        ++count;
    EXPECT_EQ(count, 60000u * 7);
}

} // namespace
