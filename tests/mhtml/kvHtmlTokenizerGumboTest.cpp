// Differential tests of the tokenizer against gumbo, and its behaviour on the fixture pages.

#include "kvHtmlTokenizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#if WEB2ARC_HAVE_GUMBO
#include "kvHtmlTokenizerGumboCompare.h"
#endif

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path &path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

/// The pages (.html, .htm) in `folder`, sorted.
std::vector<fs::path> filesIn(const fs::path &folder)
{
    std::vector<fs::path> files;
    for (const auto &entry : fs::directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().extension().string().rfind(".htm", 0) == 0)
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

const fs::path Pages = fs::path(WEB2ARC_FIXTURES) / "pages";

/// Every value of `attribute` on start tags named `tag`, in order.
std::vector<std::string> values(std::string_view html, std::string_view tag, std::string_view attribute)
{
    std::vector<std::string> out;
    TkvHtmlTokenizer tokenizer(html);
    TkvHtmlToken token;
    while (tokenizer.Next(token))
        if (token.kind == TkvHtmlToken::StartTag && token.name == tag)
            if (const auto *a = token.Find(attribute))
                out.push_back(a->value);
    return out;
}

TEST(KvHtmlTokenizerPagesTest, RawTextElementsHideMarkupAndNoscriptDoesNot)
{
    const std::string html = readFile(Pages / "raw-text-elements.html");
    EXPECT_EQ(values(html, "img", "src"),
              (std::vector<std::string>{"after-select.png", "after-abrupt-comment.png", "after-abrupt-comment-2.png",
                                        "after-bang-comment.png", "after-long-comment.png", "after-pi.png", "a.png",
                                        "spaced.png", "slash-separated.png"}));
    EXPECT_EQ(values(html, "script", "src"), (std::vector<std::string>{"after-escapes.js", "after-double-escape.js"}));
    EXPECT_EQ(values(html, "link", "href"), (std::vector<std::string>{"noscript.css"}));
    EXPECT_EQ(values(html, "a", "href"),
              (std::vector<std::string>{"unquoted.html?x=1&y=2", "entities?x=<>\"'&ampx&&<>",
                                        "\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xE2\x82\xAC\xC5\xB8\xEF\xBF\xBD\xEF\xBF\xBD"
                                        "A"}));
}

TEST(KvHtmlTokenizerPagesTest, LegacyMarkupAndForeignContent)
{
    const std::string legacy = readFile(Pages / "legacy-portal.htm");
    EXPECT_EQ(values(legacy, "body", "background"), (std::vector<std::string>{"images/marble.jpg"}));
    EXPECT_EQ(values(legacy, "td", "background"), (std::vector<std::string>{"images/left.gif", "images/bar.gif"}));
    const auto images = values(legacy, "img", "src");
    EXPECT_NE(std::find(images.begin(), images.end(), "images/old-style.gif"), images.end());    // <IMAGE>
    EXPECT_EQ(std::find(images.begin(), images.end(), "images/not-an-image.gif"), images.end()); // <XMP>
    EXPECT_EQ(std::find(images.begin(), images.end(), "images/no-iframes.gif"), images.end());   // <IFRAME>
    EXPECT_EQ(values(legacy, "a", "href")[3], "search.cgi?q=museums&lang=en&copy=yes");

    const std::string svg = readFile(Pages / "svg-and-math.html");
    EXPECT_EQ(values(svg, "image", "href"),
              (std::vector<std::string>{"img/dots.png", "img/triangle.png", "img/in-g.png"}));
    // After a breakout tag closed the svg, <image> is an HTML img again.
    EXPECT_EQ(values(svg, "img", "href"), (std::vector<std::string>{"img/still-html-img.png"}));
    EXPECT_EQ(values(svg, "img", "src"),
              (std::vector<std::string>{"img/inside-foreign.png", "img/renamed.png", "img/in-mtext.png",
                                        "img/annotation.png", "img/after-breakout.png", "img/breakout-img.png"}));
}

/// The tokenizer's basic promises on any input: it ends, tokens are ordered and inside the input.
void expectWellFormedTokens(std::string_view input)
{
    TkvHtmlTokenizer tokenizer(input);
    TkvHtmlToken token;
    size_t previousEnd = 0;
    while (tokenizer.Next(token)) {
        ASSERT_GE(token.begin, previousEnd);
        ASSERT_LE(token.end, input.size());
        ASSERT_LT(token.begin, token.end);
        previousEnd = token.end;
    }
}

TEST(KvHtmlTokenizerPagesTest, FuzzRegressionsTokenize)
{
    for (const char *folder : {"html", "gumbo", "gumbo-known"}) {
        for (const fs::path &file : filesIn(fs::path(WEB2ARC_FIXTURES) / "fuzz-regressions" / folder)) {
            SCOPED_TRACE(file.string());
            expectWellFormedTokens(readFile(file));
        }
    }
}

/// The string a JSON string literal stands for (the escapes chromium_parse.py prints for ASCII text).
std::string fromJson(std::string_view literal)
{
    std::string out;
    for (size_t i = 1; i + 1 < literal.size(); ++i) {
        if (literal[i] != '\\') {
            out += literal[i];
            continue;
        }
        const char c = literal[++i];
        if (c == 'u') {
            out += char(std::stoi(std::string(literal.substr(i + 1, 4)), nullptr, 16));
            i += 4;
        } else {
            out += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'f' ? '\f' : c == 'r' ? '\r' : c;
        }
    }
    return out;
}

/// How the tokenizer reads the start tag at `offset`, in chromium_parse.py's words: "no element" when it
/// reports none there, "foreign" for an svg/MathML element, html:NAME"TEXT" for an HTML element and the
/// text the tokenizer reads in it before the next tag.
std::string tokenizerView(std::string_view html, size_t offset)
{
    TkvHtmlTokenizer tokenizer(html);
    TkvHtmlToken token;
    while (tokenizer.Next(token)) {
        if (token.begin != offset || token.kind != TkvHtmlToken::StartTag)
            continue;
        if (tokenizer.InForeignContent())
            return "foreign";
        const std::string name = token.name;
        std::string text;
        while (tokenizer.Next(token) && token.kind == TkvHtmlToken::Text)
            text += token.text;
        return "html:" + name + "\"" + text + "\"";
    }
    return "no element";
}

TEST(KvHtmlTokenizerPagesTest, ReviewedDifferencesFromGumboAreReadAsTheBrowserReadsThem)
{
    // gumbo-known holds the inputs where gumbo, not the tokenizer, strays from the browser; beside each,
    // NAME.chromium is what fuzz/chromium_parse.py FILE:OFFSET printed for the tag gumbo reads otherwise.
    size_t reviewed = 0;
    for (const fs::path &file : filesIn(fs::path(WEB2ARC_FIXTURES) / "fuzz-regressions" / "gumbo-known")) {
        SCOPED_TRACE(file.string());
        fs::path viewFile = file;
        const std::string view = readFile(viewFile.replace_extension(".chromium"));
        const size_t at = view.rfind("\n   at ");
        ASSERT_NE(at, std::string::npos);
        const size_t colon = view.find(": ", at);
        const size_t offset = std::stoul(view.substr(at + 7, colon - at - 7));
        std::string expected = view.substr(colon + 2);
        expected.erase(expected.find_last_not_of('\n') + 1);
        const size_t quote = expected.find('"');
        if (expected.rfind("svg:", 0) == 0 || expected.rfind("math:", 0) == 0)
            expected = "foreign";
        else if (quote != std::string::npos)
            expected = expected.substr(0, quote) + "\"" + fromJson(expected.substr(quote)) + "\"";
        EXPECT_EQ(tokenizerView(readFile(file), offset), expected);
        ++reviewed;
    }
    EXPECT_GE(reviewed, 7u);
}

#if WEB2ARC_HAVE_GUMBO

TEST(KvHtmlTokenizerGumboTest, FixturePagesMatchGumbosTree)
{
    size_t pages = 0;
    for (const fs::path &file : filesIn(Pages)) {
        SCOPED_TRACE(file.string());
        const std::string html = readFile(file);
        ASSERT_TRUE(gumbocompare::comparable(html)) << "the page would not test anything";
        gumbocompare::Ranges noscript;
        EXPECT_GE(gumbocompare::fromTokens(html, noscript).size(), 4u);
        EXPECT_EQ(gumbocompare::compare(html, true), "");
        ++pages;
    }
    EXPECT_GE(pages, 6u);
}

TEST(KvHtmlTokenizerGumboTest, FuzzFindingsMatchGumbosTree)
{
    for (const fs::path &file : filesIn(fs::path(WEB2ARC_FIXTURES) / "fuzz-regressions" / "gumbo")) {
        SCOPED_TRACE(file.string());
        const std::string html = readFile(file);
        if (gumbocompare::comparable(html)) {
            EXPECT_EQ(gumbocompare::compare(html, false), "");
        }
    }
}

TEST(KvHtmlTokenizerGumboTest, ComparisonNoticesDifferences)
{
    // The comparison itself must be able to fail: gumbo drops a NUL from an attribute name where the
    // standard (and the tokenizer) turn it into U+FFFD, which is why comparable() rejects NUL.
    const std::string nul("<img \0src=a.png>", 16);
    EXPECT_FALSE(gumbocompare::comparable(nul));
    EXPECT_NE(gumbocompare::compare(nul, false), "");
    EXPECT_EQ(gumbocompare::compare("<img src=a.png>", true), "");
    gumbocompare::Ranges noscript;
    EXPECT_EQ(gumbocompare::fromTokens("<p><img src=a.png>", noscript).size(), 1u);
    EXPECT_EQ(gumbocompare::fromGumbo("<p><img src=b.png>").at(0).attributes.at("src"), "b.png");
    EXPECT_NE(gumbocompare::describe(gumbocompare::fromGumbo("<img src=b.png>").at(0)).find("b.png"),
              std::string::npos);
}

/// Documents put together from pieces that exercise the tokenizer's states; deterministic.
std::string generateDocument(std::mt19937 &random)
{
    static const char *const pieces[] = {
        "<img src=\"a.png\" srcset=\"b.png 2x\">",
        "<img src=a&amp;b.png alt=x>",
        "<img src='&copy=1&copy;'>",
        "<a href=\"?x=1&lang=en&not=2\">",
        "</a>",
        "<link rel=stylesheet href=s.css>",
        "<script>",
        "</script>",
        "<script src=\"j.js\">",
        "<!--",
        "-->",
        "--!>",
        "<!-->",
        "<style>",
        "</style>",
        "a{b:url(c.png)}",
        "<textarea>",
        "</textarea>",
        "<title>",
        "</title>",
        "<svg>",
        "</svg>",
        "<math>",
        "</math>",
        "<mi>",
        "</mi>",
        "<foreignObject>",
        "</foreignObject>",
        "<image href=i.svg>",
        "<![CDATA[",
        "]]>",
        "<p>",
        "</p>",
        "<div>",
        "</div>",
        "<table background=t.png>",
        "<td background=d.png>",
        "</td>",
        "</table>",
        "<iframe src=f.html>",
        "</iframe>",
        "<xmp>",
        "</xmp>",
        "<noembed>",
        "</noembed>",
        "<select>",
        "</select>",
        "<b>",
        "</b>",
        "<br>",
        "</br>",
        "text ",
        "< ",
        "&lt;",
        "<?pi?>",
        "<!DOCTYPE html>",
        "<video poster=p.jpg src=v.mp4>",
        "<source srcset=\"s1.webp 1x, s2.webp 2x\">",
        "<object data=o.pdf>",
        "<embed src=e.swf>",
        "<body background=bg.gif>",
        "<use xlink:href=u.svg#a>",
        "<input type=image src=btn.png>",
        "<base href=\"http://x.example/\">",
        "<font color=red>",
        "<desc>",
        "</desc>",
        "<annotation-xml encoding=text/html>",
        "<img src=\"unterminated",
        "\"",
        "'",
        ">",
        "=",
        "<",
        "/",
        "\n",
    };
    std::uniform_int_distribution<size_t> pick(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> length(5, 60);
    std::string html;
    for (int i = length(random); i > 0; --i)
        html += pieces[pick(random)];
    return html;
}

TEST(KvHtmlTokenizerGumboTest, GeneratedDocumentsMatchGumbosTree)
{
    std::mt19937 random(20240511);
    int compared = 0;
    for (int i = 0; i < 3000; ++i) {
        const std::string html = generateDocument(random);
        if (!gumbocompare::comparable(html))
            continue;
        ++compared;
        const std::string difference = gumbocompare::compare(html, false);
        ASSERT_EQ(difference, "") << html;
    }
    EXPECT_GT(compared, 1000);
}

#endif

} // namespace
