#include "kvCssScanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

/// "kind:url" per reference, where kind is U (url()), I (@import) or S (image-set string).
std::vector<std::string> refs(std::string_view css)
{
    std::vector<std::string> out;
    for (const TkvCssReference &r : ScanCss(css)) {
        const char kind = r.kind == TkvCssReference::Url ? 'U' : r.kind == TkvCssReference::Import ? 'I' : 'S';
        out.push_back(std::string(1, kind) + ":" + r.url);
    }
    return out;
}

using V = std::vector<std::string>;

TEST(KvCssScannerTest, UrlFormsAndRanges)
{
    const std::string css =
        "a{background:url(a.png)} b{background:url( \"b c.png\" )} c{x:URL(  'd.png'  ) url(  e.png  )}";
    const auto found = ScanCss(css);
    ASSERT_EQ(found.size(), 4u);
    const char *raw[] = {"a.png", "b c.png", "d.png", "e.png"};
    const char quotes[] = {0, '"', '\'', 0};
    for (size_t i = 0; i < found.size(); ++i) {
        EXPECT_EQ(found[i].kind, TkvCssReference::Url);
        EXPECT_EQ(css.substr(found[i].begin, found[i].end - found[i].begin), raw[i]);
        EXPECT_EQ(found[i].url, raw[i]);
        EXPECT_EQ(found[i].quote, quotes[i]);
    }
    EXPECT_EQ(refs("x{a:url()}"), (V{"U:"}));
    EXPECT_EQ(refs("x{a:url(\"\")}"), (V{"U:"}));
}

TEST(KvCssScannerTest, Imports)
{
    EXPECT_EQ(refs("@import \"a.css\";@import url(b.css) screen;@IMPORT url('c.css') layer(x);@import 'd.css' "
                   "supports(display: grid);"),
              (V{"I:a.css", "I:b.css", "I:c.css", "I:d.css"}));
    // Only the first URL of an @import is the style sheet; what follows is the media list.
    EXPECT_EQ(refs("@import url(a.css) url(b.png); x{y:url(c.png)}"), (V{"I:a.css", "U:b.png", "U:c.png"}));
    // An @import without a URL imports nothing.
    EXPECT_EQ(refs("@import foo \"a.css\"; x{y:url(c.png)}"), (V{"U:c.png"}));
    // @namespace URLs are names, not resources.
    EXPECT_EQ(refs("@namespace svg url(http://www.w3.org/2000/svg); @namespace \"x\"; a{b:url(c.png)}"),
              (V{"U:c.png"}));
}

TEST(KvCssScannerTest, ImageSetStrings)
{
    EXPECT_EQ(refs("a{b:image-set(\"a.png\" 1x, url(b.png) 2x, 'c.avif' type(\"image/avif\"))}"),
              (V{"S:a.png", "U:b.png", "S:c.avif"}));
    EXPECT_EQ(refs("a{b:-webkit-image-set('a.png' 1x); c:-WEBKIT-Image-Set(\"b.png\" 2x)}"), (V{"S:a.png", "S:b.png"}));
    // Strings elsewhere are not references.
    EXPECT_EQ(refs("a{content:\"x.png\"; font-family:\"y.ttf\"; b:format(\"woff2\"); c:attr(x, 'z.png')}"), (V{}));
    // Nested functions inside image-set: only its own strings count.
    EXPECT_EQ(refs("a{b:image-set(calc(1) \"a.png\" 1x, linear-gradient(red, \"no.png\") 2x)}"), (V{"S:a.png"}));
}

TEST(KvCssScannerTest, EveryNestingLevel)
{
    const std::string css = R"(
        @media screen and (min-width: 10px) {
          @supports (display: grid) {
            @layer base {
              .a { background: url(a.png); }
              .b { & .c { background: image-set("b.png" 1x); } }
            }
          }
        }
        @font-face { font-family: F; src: url(f.woff2) format("woff2"), local("F"), url(f.woff) format("woff"); }
        @layer x, y;
        .d { mask: url(#frag), url(m.svg#m); }
    )";
    EXPECT_EQ(refs(css), (V{"U:a.png", "S:b.png", "U:f.woff2", "U:f.woff", "U:#frag", "U:m.svg#m"}));
}

TEST(KvCssScannerTest, CommentsStringsAndLookalikes)
{
    EXPECT_EQ(refs("/* url(a.png) */ a{b:url(b.png)} /* unterminated url(c.png)"), (V{"U:b.png"}));
    EXPECT_EQ(refs("a{content:\"url(a.png)\"; b:'/*'; c:url(c.png) /* */}"), (V{"U:c.png"}));
    // Not url tokens: a dimension, a hash, part of a longer name, a function named otherwise.
    EXPECT_EQ(refs("a{b:1url(x) #url(y) myurl(z) url-x(w) urls(v)}"), (V{}));
    // An escaped name is still "url".
    EXPECT_EQ(refs("a{b:u\\72 l(a.png); c:\\75\\52\\4c(b.png)}"), (V{"U:a.png", "U:b.png"}));
    EXPECT_EQ(refs("<!-- a{b:url(a.png)} -->"), (V{"U:a.png"}));
}

TEST(KvCssScannerTest, EscapesAreDecoded)
{
    const auto found = ScanCss("a{b:url(a\\20 b\\).png) c:url(\"q\\\"\\26 x\\\n y\\E9\")}");
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].url, "a b).png");
    EXPECT_EQ(found[1].url, "q\"&x y\xC3\xA9");
    // Zero, surrogates and out-of-range code points become U+FFFD; six hex digits at most.
    EXPECT_EQ(ScanCss("a{b:url(\\0 \\D800 \\110000 \\0000411)}").at(0).url, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
                                                                            "A1");
    // CR LF after a hex escape is one white space.
    EXPECT_EQ(ScanCss("a{b:url(\\41\r\nB)}").at(0).url, "AB");
}

TEST(KvCssScannerTest, BadUrlsAndBadStringsRecover)
{
    // A quote, '(' or a space inside an unquoted url makes a bad url, which is skipped to its ')'.
    EXPECT_EQ(refs("a{b:url(a\"b.png) c:url(ok1.png)}"), (V{"U:ok1.png"}));
    EXPECT_EQ(refs("a{b:url(a b.png) c:url(ok2.png)}"), (V{"U:ok2.png"}));
    EXPECT_EQ(refs("a{b:url(a(b).png) c:url(ok3.png)}"), (V{"U:ok3.png"}));
    EXPECT_EQ(refs("a{b:url(a\\\nb) c:url(ok4.png)}"), (V{"U:ok4.png"}));
    // An escaped ')' does not end the bad url early.
    EXPECT_EQ(refs("a{b:url(a b\\) url(no.png)) c:url(ok5.png)}"), (V{"U:ok5.png"}));
    // A newline ends a string as a bad string; the next line is read normally.
    EXPECT_EQ(refs("a{b:image-set(\"a.png\n 1x); c:url(ok6.png)}"), (V{"U:ok6.png"}));
    EXPECT_EQ(refs("a{b:url(\"x\ny) c:url(ok7.png)}"), (V{"U:ok7.png"}));
    // What follows a bad string is read afresh: a quote there starts a new string.
    EXPECT_EQ(refs("a{b:image-set(\"a.png\n\" 1x, url(no.png))}"), (V{"S: 1x, url(no.png))}"}));
    // Unterminated constructs at the end still yield what they hold.
    EXPECT_EQ(refs("a{b:url(end.png"), (V{"U:end.png"}));
    EXPECT_EQ(refs("@import \"end.css"), (V{"I:end.css"}));
}

TEST(KvCssScannerTest, StyleAttributeDeclarations)
{
    EXPECT_EQ(refs("background: url(&quot;no-decoding-here&quot;); border-image: url(b.png) 30"),
              (V{"U:&quot;no-decoding-here&quot;", "U:b.png"}));
}

TEST(KvCssScannerTest, DeepNestingIsLinearAndUnbalancedInputIsSafe)
{
    std::string css(300000, '(');
    css += "url(deep.png)";
    css += std::string(300000, '{');
    css += std::string(400000, '}');
    css += "x{y:url(after.png)}";
    EXPECT_EQ(refs(css), (V{"U:deep.png", "U:after.png"}));
}

} // namespace
