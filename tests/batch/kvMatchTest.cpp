#include "kvMatch.h"

#include <gtest/gtest.h>

TEST(KvMatchTest, MaskToRegexEscapesInOrder)
{
    EXPECT_EQ(MaskToRegex(QStringLiteral("*.htm?")), QStringLiteral(".*\\.htm.?$"));
    EXPECT_EQ(MaskToRegex(QStringLiteral("*.*")), QStringLiteral(".*\\..*$"));
    EXPECT_EQ(MaskToRegex(QStringLiteral("a+b(1).htm")), QStringLiteral("a\\+b\\(1\\)\\.htm$"));
    EXPECT_EQ(MaskToRegex(QString()), QStringLiteral("$"));
    EXPECT_EQ(MaskToRegex(QStringLiteral("^$[]{}")), QStringLiteral("\\^\\$\\[\\]\\{\\}$"));
    // Not in the table: passes unchanged.
    EXPECT_EQ(MaskToRegex(QStringLiteral("a\\b;c,d|e f")), QStringLiteral("a\\b;c,d|e f$"));
}

TEST(KvMatchTest, HtmlMaskAcceptsPagesOnlyIgnoringCase)
{
    const TkvMatch matcher;
    const QString mask = MaskToRegex(QStringLiteral("*.htm?"));
    EXPECT_TRUE(matcher.Match(QStringLiteral("/web/a.htm"), mask));
    EXPECT_TRUE(matcher.Match(QStringLiteral("/web/a.html"), mask));
    EXPECT_TRUE(matcher.Match(QStringLiteral("/WEB/A.HTML"), mask));
    EXPECT_FALSE(matcher.Match(QStringLiteral("/web/a.htmlx"), mask));
    EXPECT_FALSE(matcher.Match(QStringLiteral("/web/a.htm.bak"), mask));
    // The dot is literal: "ahtm" is not "a.htm".
    EXPECT_FALSE(matcher.Match(QStringLiteral("/web/ahtm"), mask));
}

TEST(KvMatchTest, MaskSpecialCharactersAreLiteral)
{
    const TkvMatch matcher;
    const QString mask = MaskToRegex(QStringLiteral("report[1]+.htm"));
    EXPECT_TRUE(matcher.Match(QStringLiteral("/in/report[1]+.htm"), mask));
    EXPECT_FALSE(matcher.Match(QStringLiteral("/in/report1.htm"), mask));
    EXPECT_FALSE(matcher.Match(QStringLiteral("/in/report11.htm"), mask));
}

TEST(KvMatchTest, EmptyMaskAndInvalidExpressionsAcceptEverything)
{
    const TkvMatch matcher;
    EXPECT_TRUE(matcher.Match(QStringLiteral("http://srv/dir/page.htm"), MaskToRegex(QString())));
    EXPECT_TRUE(matcher.Match(QStringLiteral("/in/a.txt"), QStringLiteral("(")));
    EXPECT_TRUE(matcher.Match(QStringLiteral("/in/a.txt"), QStringLiteral("[z-a]")));
    const TkvMatchBase base;
    EXPECT_TRUE(base.Match(QStringLiteral("anything"), QStringLiteral("^nothing$")));
}
