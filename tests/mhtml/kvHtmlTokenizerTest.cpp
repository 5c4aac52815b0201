#include "kvHtmlTokenizer.h"

#include "kvHtmlEntities.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

/// A compact, comparable rendering of a token stream: S:name[attr=value,...] E:name T:text C:data D:name
std::vector<std::string> tokens(std::string_view html)
{
    std::vector<std::string> out;
    TkvHtmlTokenizer tokenizer(html);
    TkvHtmlToken token;
    while (tokenizer.Next(token)) {
        switch (token.kind) {
        case TkvHtmlToken::StartTag: {
            std::string s = "S:" + token.name;
            for (const auto &a : token.attributes)
                s += " " + a.name + "=" + a.value;
            if (token.selfClosing)
                s += " /";
            out.push_back(s);
            break;
        }
        case TkvHtmlToken::EndTag:
            out.push_back("E:" + token.name);
            break;
        case TkvHtmlToken::Text:
            out.push_back("T:" + std::string(token.text));
            break;
        case TkvHtmlToken::Comment:
            out.push_back("C:" + std::string(token.text));
            break;
        case TkvHtmlToken::Doctype:
            out.push_back("D:" + token.name);
            break;
        case TkvHtmlToken::EndOfFile:
            out.push_back("EOF");
            break;
        }
    }
    EXPECT_EQ(token.kind, TkvHtmlToken::EndOfFile);
    return out;
}

using V = std::vector<std::string>;

TEST(KvHtmlTokenizerTest, TagsTextAndOffsets)
{
    const std::string html = "<P Class=\"a\">Hi<BR/></p>";
    TkvHtmlTokenizer tokenizer(html);
    TkvHtmlToken t;
    ASSERT_TRUE(tokenizer.Next(t));
    EXPECT_EQ(t.kind, TkvHtmlToken::StartTag);
    EXPECT_EQ(t.name, "p");
    ASSERT_EQ(t.attributes.size(), 1u);
    EXPECT_EQ(t.attributes[0].name, "class");
    EXPECT_EQ(html.substr(t.attributes[0].valueBegin, t.attributes[0].valueEnd - t.attributes[0].valueBegin), "a");
    EXPECT_EQ(t.begin, 0u);
    EXPECT_EQ(t.end, 13u);
    ASSERT_TRUE(tokenizer.Next(t));
    EXPECT_EQ(t.kind, TkvHtmlToken::Text);
    EXPECT_EQ(t.text, "Hi");
    EXPECT_EQ(t.begin, 13u);
    ASSERT_TRUE(tokenizer.Next(t));
    EXPECT_EQ(t.name, "br");
    EXPECT_TRUE(t.selfClosing);
    ASSERT_TRUE(tokenizer.Next(t));
    EXPECT_EQ(t.kind, TkvHtmlToken::EndTag);
    EXPECT_EQ(t.end, html.size());
    EXPECT_FALSE(tokenizer.Next(t));
    EXPECT_FALSE(tokenizer.Next(t)); // stays at the end
}

TEST(KvHtmlTokenizerTest, AttributeSyntax)
{
    EXPECT_EQ(tokens("<a href=x.html?a=1&b=2 title='it\"s' data-x = \"y\" checked>"),
              (V{"S:a href=x.html?a=1&b=2 title=it\"s data-x=y checked="}));
    // '/' separates attributes; "=" may begin a name; quotes and '<' inside unquoted values stay.
    EXPECT_EQ(tokens("<img/src=\"a.png\"/alt=x>"), (V{"S:img src=a.png alt=x"}));
    EXPECT_EQ(tokens("<a =b>"), (V{"S:a =b="}));
    EXPECT_EQ(tokens("<a b=c\"d'e<f`g>"), (V{"S:a b=c\"d'e<f`g"}));
    EXPECT_EQ(tokens("<a b=>"), (V{"S:a b="}));
    EXPECT_EQ(tokens("<a b=\"1\"c=2>"), (V{"S:a b=1 c=2"}));
    // Names lower-cased, NUL becomes U+FFFD in names and values, CR LF becomes LF in values.
    EXPECT_EQ(tokens(std::string("<DiV ID=\"a\0b\" X\0Y=1>", 20)), (V{"S:div id=a\xEF\xBF\xBD"
                                                                      "b x\xEF\xBF\xBDy=1"}));
    EXPECT_EQ(tokens("<a title=\"1\r\n2\r3\">"), (V{"S:a title=1\n2\n3"}));
}

TEST(KvHtmlTokenizerTest, DuplicateAttributesKeepTheFirst)
{
    EXPECT_EQ(tokens("<img src=a.png SRC=b.png alt=1 src=c.png alt=2>"), (V{"S:img src=a.png alt=1"}));
    // Beyond the size where the duplicate check switches to a hash set.
    std::string many = "<p";
    for (int i = 0; i < 100; ++i)
        many += " a" + std::to_string(i % 40) + "=" + std::to_string(i);
    many += ">";
    TkvHtmlTokenizer tokenizer(many);
    TkvHtmlToken t;
    ASSERT_TRUE(tokenizer.Next(t));
    ASSERT_EQ(t.attributes.size(), 40u);
    EXPECT_EQ(t.Find("a39")->value, "39");
    EXPECT_EQ(t.Find("a0")->value, "0");
    EXPECT_EQ(t.Find("a41"), nullptr);
}

TEST(KvHtmlTokenizerTest, CharacterReferencesInAttributes)
{
    auto value = [](std::string_view attribute) {
        const std::string html = "<a x=\"" + std::string(attribute) + "\">";
        TkvHtmlTokenizer tokenizer(html);
        TkvHtmlToken t;
        tokenizer.Next(t);
        return t.attributes.at(0).value;
    };
    EXPECT_EQ(value("&amp;&lt;&gt;&quot;&apos;"), "&<>\"'");
    EXPECT_EQ(value("&CounterClockwiseContourIntegral;"), "\xE2\x88\xB3");
    EXPECT_EQ(value("&NotEqualTilde;"), "\xE2\x89\x82\xCC\xB8"); // two code points
    EXPECT_EQ(value("&amp &copy x"), "& \xC2\xA9 x");            // legacy names without ';'
    // The attribute-value rule: no decoding of a legacy reference followed by '=' or an alphanumeric.
    EXPECT_EQ(value("?a=1&copy=2"), "?a=1&copy=2");
    EXPECT_EQ(value("?a=1&copyright"), "?a=1&copyright");
    EXPECT_EQ(value("&notit;"), "&notit;");
    EXPECT_EQ(value("&copy;=2"), "\xC2\xA9=2"); // with ';' it is always decoded
    EXPECT_EQ(value("&copy-2"), "\xC2\xA9-2");
    EXPECT_EQ(value("&unknown; & &; &#; &#x; &#xg"), "&unknown; & &; &#; &#x; &#xg");
    // Numeric references: windows-1252 for 0x80-0x9F, U+FFFD for 0, surrogates and beyond U+10FFFF.
    EXPECT_EQ(value("&#65;&#x42;&#X43"), "ABC");
    EXPECT_EQ(value("&#x80;&#150;&#x9F;"), "\xE2\x82\xAC\xE2\x80\x93\xC5\xB8");
    EXPECT_EQ(value("&#x81;"), "\xC2\x81"); // not in the table: kept
    EXPECT_EQ(value("&#0;&#xD800;&#x110000;&#99999999999999999999;"),
              "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(value("&#x1F600;"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(value("&#13;"), "\r"); // a reference to CR is not newline-normalised
}

TEST(KvHtmlTokenizerTest, DecodingTextOutsideAttributes)
{
    // In text the legacy names are decoded even before '=' or an alphanumeric (the title of a page).
    EXPECT_EQ(TkvHtmlEntities::Decode("a&copy=2 &notit; &ampx", false), "a\xC2\xA9=2 \xC2\xACit; &x");
    EXPECT_EQ(TkvHtmlEntities::Decode("a&copy=2", true), "a&copy=2");
    EXPECT_EQ(TkvHtmlEntities::Decode(std::string("1\r\n2\r3\0", 7), false), "1\n2\n3\xEF\xBF\xBD");
    EXPECT_EQ(TkvHtmlEntities::Find("amp;"), "&");
    EXPECT_EQ(TkvHtmlEntities::Find("amp"), "&");
    EXPECT_EQ(TkvHtmlEntities::Find("ampx"), "");
    EXPECT_EQ(TkvHtmlEntities::Find("fjlig;"), "fj");
}

TEST(KvHtmlTokenizerTest, TextIsRaw)
{
    EXPECT_EQ(tokens("a &amp; b<b>c</b>"), (V{"T:a &amp; b", "S:b", "T:c", "E:b"}));
    // '<' that does not start markup is text; "</>" is dropped and splits the run.
    EXPECT_EQ(tokens("1 < 2 <3 </ x"), (V{"T:1 < 2 <3 ", "C: x"}));
    EXPECT_EQ(tokens("a</>b"), (V{"T:a", "T:b"}));
    EXPECT_EQ(tokens("a<"), (V{"T:a<"}));
    EXPECT_EQ(tokens("a</"), (V{"T:a</"}));
}

TEST(KvHtmlTokenizerTest, TagsCutOffByTheEndAreDropped)
{
    EXPECT_EQ(tokens("x<img src=\"a.png"), (V{"T:x"}));
    EXPECT_EQ(tokens("x<img src=a.png"), (V{"T:x"}));
    EXPECT_EQ(tokens("x<img"), (V{"T:x"}));
    EXPECT_EQ(tokens("x</p"), (V{"T:x"}));
    EXPECT_EQ(tokens("<img src=a.png /"), (V{}));
}

TEST(KvHtmlTokenizerTest, Comments)
{
    EXPECT_EQ(tokens("<!-- a -- b -->x"), (V{"C: a -- b ", "T:x"}));
    EXPECT_EQ(tokens("<!-->x"), (V{"C:", "T:x"}));
    EXPECT_EQ(tokens("<!--->x"), (V{"C:", "T:x"}));
    EXPECT_EQ(tokens("<!---->x"), (V{"C:", "T:x"}));
    EXPECT_EQ(tokens("<!--a--!>x"), (V{"C:a", "T:x"}));
    EXPECT_EQ(tokens("<!--!>x-->y"), (V{"C:!>x", "T:y"}));
    EXPECT_EQ(tokens("<!--a--!-->x"), (V{"C:a--!", "T:x"}));
    EXPECT_EQ(tokens("<!-- <!-- nested -->x"), (V{"C: <!-- nested ", "T:x"}));
    EXPECT_EQ(tokens("<!--a---->x"), (V{"C:a--", "T:x"}));
    EXPECT_EQ(tokens("<!-- unterminated <img src=x>"), (V{"C: unterminated <img src=x>"}));
}

TEST(KvHtmlTokenizerTest, BogusCommentsAndDoctype)
{
    EXPECT_EQ(tokens("<?xml version=\"1.0\"?>x"), (V{"C:?xml version=\"1.0\"?", "T:x"}));
    EXPECT_EQ(tokens("<!ELEMENT br EMPTY>x"), (V{"C:ELEMENT br EMPTY", "T:x"}));
    EXPECT_EQ(tokens("</3>x"), (V{"C:3", "T:x"}));
    EXPECT_EQ(tokens("<!>x"), (V{"C:", "T:x"}));
    EXPECT_EQ(tokens("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\">x"), (V{"D:html", "T:x"}));
    EXPECT_EQ(tokens("<!doctype html>"), (V{"D:html"}));
    EXPECT_EQ(tokens("<!DOCTYPE"), (V{"D:"}));
}

TEST(KvHtmlTokenizerTest, RcdataAndRawtextElements)
{
    EXPECT_EQ(tokens("<title>a <b> &amp; </TITLE >x"), (V{"S:title", "T:a <b> &amp; ", "E:title", "T:x"}));
    EXPECT_EQ(tokens("<textarea></textareax></textarea>"), (V{"S:textarea", "T:</textareax>", "E:textarea"}));
    for (const char *name : {"style", "xmp", "iframe", "noembed", "noframes"}) {
        const std::string n = name;
        EXPECT_EQ(tokens("<" + n + "><img src=x></" + n + "/>y"), (V{"S:" + n, "T:<img src=x>", "E:" + n, "T:y"}))
            << name;
    }
    // Empty content gives no Text token; content without an end tag runs to the end.
    EXPECT_EQ(tokens("<style></style>"), (V{"S:style", "E:style"}));
    EXPECT_EQ(tokens("<style>a{}</styl"), (V{"S:style", "T:a{}</styl"}));
    // A self-closing flag does not make a raw-text element empty.
    EXPECT_EQ(tokens("<script/><b></script>"), (V{"S:script /", "T:<b>", "E:script"}));
    // <noscript> is markup (scripting off).
    EXPECT_EQ(tokens("<noscript><img src=a.png></noscript>"), (V{"S:noscript", "S:img src=a.png", "E:noscript"}));
}

TEST(KvHtmlTokenizerTest, PlaintextRunsToTheEnd)
{
    EXPECT_EQ(tokens("<plaintext></plaintext><b>"), (V{"S:plaintext", "T:</plaintext><b>"}));
}

TEST(KvHtmlTokenizerTest, ScriptDataEscapes)
{
    auto script = [](const std::string &content) { return tokens("<script>" + content + "</script><b>"); };
    EXPECT_EQ(script("a</b>c"), (V{"S:script", "T:a</b>c", "E:script", "S:b"}));
    // Escaped: "</script>" still ends the script.
    EXPECT_EQ(script("<!-- x"), (V{"S:script", "T:<!-- x", "E:script", "S:b"}));
    // Double-escaped: "<!--<script>" hides "</script>" until "-->" or the inner end.
    EXPECT_EQ(tokens("<script><!--<script>x</script>y</script>z"),
              (V{"S:script", "T:<!--<script>x</script>y", "E:script", "T:z"}));
    EXPECT_EQ(tokens("<script><!--<script></script>--></script>z"),
              (V{"S:script", "T:<!--<script></script>-->", "E:script", "T:z"}));
    EXPECT_EQ(tokens("<script><!--<script>--></script>z"), (V{"S:script", "T:<!--<script>-->", "E:script", "T:z"}));
    // "-->" leaves the escape, so a later "<script>" does not double-escape.
    EXPECT_EQ(tokens("<script><!-- --><script></script>z"), (V{"S:script", "T:<!-- --><script>", "E:script", "T:z"}));
    EXPECT_EQ(tokens("<script><!--><script></script>z"), (V{"S:script", "T:<!--><script>", "E:script", "T:z"}));
    // Not an escape: "<!-x", and "<scriptx>" does not double-escape.
    EXPECT_EQ(tokens("<script><!-x<script></script>z"), (V{"S:script", "T:<!-x<script>", "E:script", "T:z"}));
    EXPECT_EQ(tokens("<script><!--<scripty></script>z"), (V{"S:script", "T:<!--<scripty>", "E:script", "T:z"}));
    // An unterminated double escape swallows the rest of the input.
    EXPECT_EQ(tokens("<script><!--<script></script><img>"), (V{"S:script", "T:<!--<script></script><img>"}));
    // The end tag is case-insensitive and needs a delimiter after the name.
    EXPECT_EQ(tokens("<script>a</SCRIPTx></ScRiPt\t>b"), (V{"S:script", "T:a</SCRIPTx>", "E:script", "T:b"}));
}

TEST(KvHtmlTokenizerTest, CdataOnlyInForeignContent)
{
    EXPECT_EQ(tokens("<![CDATA[x]]>"), (V{"C:[CDATA[x]]"}));
    EXPECT_EQ(tokens("<svg><![CDATA[<img src=a>]]></svg><![CDATA[y]]>"),
              (V{"S:svg", "T:<img src=a>", "E:svg", "C:[CDATA[y]]"}));
    EXPECT_EQ(tokens("<math><![CDATA[]]><![CDATA[a"), (V{"S:math", "T:", "T:a"}));
    // foreignObject is svg itself, so CDATA is allowed directly in it, but not in its HTML children.
    EXPECT_EQ(tokens("<svg><foreignObject><![CDATA[a]]><p><![CDATA[b]]>"),
              (V{"S:svg", "S:foreignobject", "T:a", "S:p", "C:[CDATA[b]]"}));
}

TEST(KvHtmlTokenizerTest, ForeignContentDecidesRawText)
{
    // Inside svg, <style> and <title> are svg elements whose content is markup.
    EXPECT_EQ(tokens("<svg><style><image href=\"a.png\"/></style></svg><style><b></style>"),
              (V{"S:svg", "S:style", "S:image href=a.png /", "E:style", "E:svg", "S:style", "T:<b>", "E:style"}));
    // Integration points bring back the HTML rules.
    EXPECT_EQ(tokens("<svg><foreignObject><style><b></style></foreignObject></svg>"),
              (V{"S:svg", "S:foreignobject", "S:style", "T:<b>", "E:style", "E:foreignobject", "E:svg"}));
    EXPECT_EQ(tokens("<math><mi><title><b></title></mi></math>"),
              (V{"S:math", "S:mi", "S:title", "T:<b>", "E:title", "E:mi", "E:math"}));
    EXPECT_EQ(tokens("<math><annotation-xml encoding=\"Text/HTML\"><style><b></style>"),
              (V{"S:math", "S:annotation-xml encoding=Text/HTML", "S:style", "T:<b>", "E:style"}));
    EXPECT_EQ(tokens("<math><annotation-xml><style><b></style>"),
              (V{"S:math", "S:annotation-xml", "S:style", "S:b", "E:style"}));
    // Outside svg/math an "image" start tag is an img; inside it stays.
    EXPECT_EQ(tokens("<image src=a><svg><image href=b>"), (V{"S:img src=a", "S:svg", "S:image href=b"}));
}

TEST(KvHtmlTokenizerTest, ForeignContentEnds)
{
    auto inForeignAfter = [](std::string_view html) {
        TkvHtmlTokenizer tokenizer(html);
        TkvHtmlToken t;
        while (tokenizer.Next(t)) {
        }
        return tokenizer.InForeignContent();
    };
    EXPECT_TRUE(inForeignAfter("<svg><g>"));
    EXPECT_FALSE(inForeignAfter("<svg><g></svg>"));
    EXPECT_FALSE(inForeignAfter("<svg/>"));
    EXPECT_FALSE(inForeignAfter("<svg><g><p>"));           // breakout start tag
    EXPECT_FALSE(inForeignAfter("<svg><font color=red>")); // font with color, face or size
    EXPECT_TRUE(inForeignAfter("<svg><font>"));
    EXPECT_FALSE(inForeignAfter("<svg><g></p>"));        // breakout end tags br and p
    EXPECT_FALSE(inForeignAfter("<div><svg><g></div>")); // an HTML element around it closes
    EXPECT_TRUE(inForeignAfter("<svg><g></div>"));       // ... but not one that is not open
    EXPECT_TRUE(inForeignAfter("<div></div><svg></div>"));
    EXPECT_TRUE(inForeignAfter("<html><svg></html>")); // </html> and </body> do not pop
    EXPECT_TRUE(inForeignAfter("<a></a><a><svg></a>") == false);
    EXPECT_TRUE(inForeignAfter("<a><a></a><svg></a>")); // the second <a> closed the first
    // An end tag stops at a special element (p, div, li, ...) opened after its element and still open.
    EXPECT_TRUE(inForeignAfter("<span><p><svg></span>"));
    EXPECT_FALSE(inForeignAfter("<span><p><hr><svg></span>"));        // the hr closed the p
    EXPECT_FALSE(inForeignAfter("<span><div><p></div><svg></span>")); // so did </div>
    EXPECT_FALSE(inForeignAfter("<span><button><p></button><svg></span>"));
    EXPECT_FALSE(inForeignAfter("<b><p><svg></b>")); // a formatting element is taken out from under it
    // An end tag, or a second <a>, closes the elements opened after its element.
    EXPECT_TRUE(inForeignAfter("<label><output></label><svg></output>"));
    EXPECT_TRUE(inForeignAfter("<a><mi><a><svg></mi>"));
    EXPECT_FALSE(inForeignAfter("<span><b></span><svg></b>")); // ... but the b stays listed, re-opened by <svg>
    EXPECT_EQ(tokens("<math><mi><mi><p></mi></mi><style><b>").back(), "T:<b>");
    // An end tag inside an integration point is scoped by it.
    EXPECT_TRUE(inForeignAfter("<svg><foreignObject><div></svg></div></foreignObject><g>"));
    EXPECT_TRUE(inForeignAfter("<div><svg><foreignObject><b></div></b></foreignObject><g>"));
    EXPECT_EQ(tokens("<math><mi><i></mi><style><b></style>"),
              (V{"S:math", "S:mi", "S:i", "E:mi", "S:style", "T:<b>", "E:style"}));
    EXPECT_TRUE(inForeignAfter("<math><mi></mi><mo>"));
    EXPECT_FALSE(inForeignAfter("<svg><desc><svg></svg></desc></svg>"));
    // An svg title bounds the scope of HTML end tags even below foreign content opened inside it
    // (the browser agrees; gumbo 0.10 lets </mi> through).
    EXPECT_EQ(tokens("<mi><svg><title><svg></mi><style><b>").back(), "S:b");
    EXPECT_EQ(tokens("<mi><svg><title><math></mi><style><b>").back(), "S:b");
}

TEST(KvHtmlTokenizerTest, FormattingElementsReopenInsideMathmlText)
{
    // Closing the HTML <mi> around an <a> leaves the a listed: the text after it re-opens it, so the
    // next </mi> meets the a and then the math mi, and is ignored; the <style> is HTML.
    EXPECT_EQ(tokens("<math><mi><mi><a></mi>></mi><style><b></style>"),
              (V{"S:math", "S:mi", "S:mi", "S:a", "E:mi", "T:>", "E:mi", "S:style", "T:<b>", "E:style"}));
    EXPECT_EQ(tokens("<math><mi><mi><b><i></mi> </mi><style><b>").back(), "T:<b>"); // whitespace too
    // A start tag re-opens it as well: here </a> then closes the inner math with it.
    EXPECT_EQ(tokens("<math><mi><mi><a></mi><math></a><style><b>").back(), "T:<b>");
    // Nothing is re-opened after its own end tag, or after the end of an object opened after it.
    EXPECT_EQ(tokens("<math><mi><mi><a></mi></a>x</mi><style><b>").back(), "S:b");
    EXPECT_EQ(tokens("<math><mi><mi><object><b></object></mi>x</mi><style><b>").back(), "S:b");
    // Once the math is closed the listed a re-opens outside it, where </a> closes a later math.
    EXPECT_EQ(tokens("<math><mi><mi><a></mi></mi></math>x<math></a><style><b>").back(), "T:<b>");
    // Formatting elements put before a table stay listed when it closes, by its end tag or by a
    // table started directly in it; the end of a cell drops those of a table inside it.
    EXPECT_EQ(tokens("<table><a></table><math></a><style><b>").back(), "T:<b>");
    EXPECT_EQ(tokens("<table><a><table><math></a><style><b>").back(), "T:<b>");
    EXPECT_EQ(tokens("<table><td><table><a></table></td><math></a><style><b>").back(), "S:b");
    // Re-opening that <a> closes the open one and lists the tt after it, while the list is being
    // re-opened; the tt re-opens before <math>, so </tt> closes it.
    EXPECT_EQ(tokens("<a><tt><table><a></table>f<math></tt><style><b>").back(), "T:<b>");
    // Math put before a table re-opens the s in its mi the same way (the browser agrees; gumbo 0.10
    // makes the style MathML).
    EXPECT_EQ(tokens("<table><math><mi><mi><s></mi>x</mi><style><b>").back(), "T:<b>");
}

TEST(KvHtmlTokenizerTest, SelectIgnoresRawTextTags)
{
    EXPECT_EQ(tokens("<select><style><img></select>"), (V{"S:select", "S:style", "S:img", "E:select"}));
    EXPECT_EQ(tokens("<select><script>a</b></script></select>"),
              (V{"S:select", "S:script", "T:a</b>", "E:script", "E:select"}));
    EXPECT_EQ(tokens("<select><textarea><b></textarea>"), (V{"S:select", "S:textarea", "T:<b>", "E:textarea"}));
    EXPECT_EQ(tokens("<select><select><style><b>"), (V{"S:select", "S:select", "S:style", "T:<b>"}));
    // A second <select> closes only the HTML select, not a MathML one around the mi (the browser
    // agrees; gumbo 0.10 closes both).
    EXPECT_EQ(tokens("<math><select><mi><select><select><iframe><script>").back(), "T:<script>");
    // In a table, the end tag of a table part closes the select only when that part is open.
    EXPECT_EQ(tokens("<table><select></th><select><style><b>").back(), "T:<b>");
    EXPECT_EQ(tokens("<table><td><select></td><style><b>").back(), "T:<b>");
    EXPECT_EQ(tokens("<table><tr><td><select></tbody><style><b>").back(), "T:<b>");
    // A table inside MathML text makes it a select in a table, which <table> closes.
    EXPECT_EQ(tokens("<math><mi><table><select><table><style><b>").back(), "T:<b>");
    EXPECT_EQ(tokens("<math><mi><table><math><mi><select><table><style><b>").back(), "T:<b>"); // still in the table
}

TEST(KvHtmlTokenizerTest, DeepNestingIsLinear)
{
    // 200,000 unclosed foreign elements and as many unmatched end tags: a quadratic stack walk would
    // take minutes here; the test only checks that every token comes out.
    std::string html = "<div><svg>";
    for (int i = 0; i < 200000; ++i)
        html += "<g>";
    for (int i = 0; i < 200000; ++i)
        html += "</div2>";
    html += "</div>";
    TkvHtmlTokenizer tokenizer(html);
    TkvHtmlToken t;
    size_t count = 0;
    while (tokenizer.Next(t))
        ++count;
    EXPECT_EQ(count, 400003u);
    EXPECT_FALSE(tokenizer.InForeignContent());

    // Formatting elements closed and re-opened 100,000 times: the tree builder keeps three of a name
    // in its list, so each text re-opens at most three, however many were started.
    html = "<math><mi><mi>";
    for (int i = 0; i < 100000; ++i)
        html += "<b>";
    for (int i = 0; i < 100000; ++i)
        html += "</mi>x<mi>";
    TkvHtmlTokenizer reopening(html);
    count = 0;
    while (reopening.Next(t))
        ++count;
    EXPECT_EQ(count, 400003u);
}

} // namespace
