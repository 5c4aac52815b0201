#include "kvRobotsTxt.h"

#include <gtest/gtest.h>

namespace {

TkvRobotsTxt parse(const char *text)
{
    return TkvRobotsTxt::Parse(QByteArray(text));
}

} // namespace

TEST(KvRobotsTxtTest, OwnGroupWinsOverTheStarGroupAndOthersAreIgnored)
{
    const TkvRobotsTxt robots = parse("User-agent: *\n"
                                      "Disallow: /\n"
                                      "\n"
                                      "User-agent: OtherBot\n"
                                      "Disallow: /docs/\n"
                                      "\n"
                                      "User-agent: Web2Arc/2.0\n"
                                      "Disallow: /private/\n");
    EXPECT_TRUE(robots.Allows(QStringLiteral("/docs/a.html")));
    EXPECT_FALSE(robots.Allows(QStringLiteral("/private/a.html")));
    EXPECT_EQ(robots.RuleCount(), 1);

    // Without a group of its own the crawler follows '*'; with neither, everything is allowed.
    const TkvRobotsTxt star = parse("User-agent: OtherBot\nDisallow: /\n\nUser-agent: *\nDisallow: /tmp/\n");
    EXPECT_FALSE(star.Allows(QStringLiteral("/tmp/x")));
    EXPECT_TRUE(star.Allows(QStringLiteral("/docs/")));
    EXPECT_TRUE(parse("User-agent: OtherBot\nDisallow: /\n").Allows(QStringLiteral("/docs/")));
    // A longer name that only begins like ours is someone else.
    EXPECT_TRUE(parse("User-agent: web2arc-beta\nDisallow: /\n").Allows(QStringLiteral("/docs/")));
}

TEST(KvRobotsTxtTest, GroupsShareRulesAndMergeWhenNamedTwice)
{
    // Consecutive User-agent lines share the rules after them; a User-agent after a rule starts a new group.
    const TkvRobotsTxt robots = parse("User-agent: a\n"
                                      "User-agent: web2arc\n"
                                      "Disallow: /one/\n"
                                      "User-agent: b\n"
                                      "Disallow: /two/\n"
                                      "User-agent: web2arc\n"
                                      "Disallow: /three/\n");
    EXPECT_FALSE(robots.Allows(QStringLiteral("/one/x")));
    EXPECT_TRUE(robots.Allows(QStringLiteral("/two/x")));
    EXPECT_FALSE(robots.Allows(QStringLiteral("/three/x")));
}

TEST(KvRobotsTxtTest, LongestMatchWinsAndAllowWinsATie)
{
    const TkvRobotsTxt robots = parse("User-agent: *\n"
                                      "Disallow: /\n"
                                      "Allow: /docs/\n"
                                      "Disallow: /docs/drafts/\n"
                                      "Allow: /docs/drafts/ready.html\n"
                                      "Disallow: /same\n"
                                      "Allow: /same\n");
    EXPECT_FALSE(robots.Allows(QStringLiteral("/")));
    EXPECT_FALSE(robots.Allows(QStringLiteral("/other.html")));
    EXPECT_TRUE(robots.Allows(QStringLiteral("/docs/a.html")));
    EXPECT_FALSE(robots.Allows(QStringLiteral("/docs/drafts/b.html")));
    EXPECT_TRUE(robots.Allows(QStringLiteral("/docs/drafts/ready.html")));
    EXPECT_TRUE(robots.Allows(QStringLiteral("/same/x")));
    // The file itself is always readable.
    EXPECT_TRUE(robots.Allows(QStringLiteral("/robots.txt")));
}

TEST(KvRobotsTxtTest, WildcardsAndEndAnchors)
{
    const TkvRobotsTxt robots = parse("User-agent: *\n"
                                      "Disallow: /*.php$\n"
                                      "Disallow: /a*/tmp/\n"
                                      "Disallow: /exact$\n"
                                      "Disallow: /*?\n");
    EXPECT_FALSE(robots.Allows(QStringLiteral("/x/index.php")));
    EXPECT_TRUE(robots.Allows(QStringLiteral("/x/index.php5")));
    EXPECT_FALSE(robots.Allows(QStringLiteral("/abc/def/tmp/x.html")));
    EXPECT_TRUE(robots.Allows(QStringLiteral("/b/tmp/x.html")));
    EXPECT_FALSE(robots.Allows(QStringLiteral("/exact")));
    EXPECT_TRUE(robots.Allows(QStringLiteral("/exactly")));
    EXPECT_FALSE(robots.Allows(QStringLiteral("/page?id=1")));
    // A '*' or '$' in an address is a plain character, not pattern syntax.
    EXPECT_TRUE(parse("User-agent: *\nDisallow: /a$b\n").Allows(QStringLiteral("/a")));
    EXPECT_FALSE(parse("User-agent: *\nDisallow: /a$b\n").Allows(QStringLiteral("/a$b")));
}

TEST(KvRobotsTxtTest, PercentEscapesCompareNormalised)
{
    // Raw UTF-8 in the file, lower-case escapes, and escaped unreserved characters all meet the
    // address's canonical escapes.
    const TkvRobotsTxt robots = parse("User-agent: *\n"
                                      "Disallow: /caf\xC3\xA9/\n"
                                      "Disallow: /%7euser/\n"
                                      "Disallow: /a%2fb\n");
    EXPECT_FALSE(robots.Allows(QStringLiteral("/caf%C3%A9/menu.html")));
    EXPECT_FALSE(robots.Allows(QStringLiteral("/~user/index.html")));
    EXPECT_FALSE(robots.Allows(QStringLiteral("/%7Euser/index.html")));
    EXPECT_FALSE(robots.Allows(QStringLiteral("/a%2Fb")));
    // An escaped slash is not a slash.
    EXPECT_TRUE(robots.Allows(QStringLiteral("/a/b")));
}

TEST(KvRobotsTxtTest, ToleratesWhatRealFilesHold)
{
    const TkvRobotsTxt robots = parse("\xEF\xBB\xBF"
                                      "Disallow: /before-any-agent/\r\n"
                                      "# a comment line\r\n"
                                      "USER-AGENT : *   # trailing comment\r"
                                      "Sitemap: https://host/sitemap.xml\r\n"
                                      "no colon on this line\n"
                                      "Disallow:\n"
                                      "disallow: nested/  \n"
                                      "Crawl-delay: 2.5\n");
    EXPECT_TRUE(robots.Allows(QStringLiteral("/before-any-agent/x")));
    EXPECT_TRUE(robots.Allows(QStringLiteral("/anything")));
    // A path without its leading slash is read as rooted.
    EXPECT_FALSE(robots.Allows(QStringLiteral("/nested/x")));
    EXPECT_DOUBLE_EQ(robots.CrawlDelay(), 2.5);

    EXPECT_LT(parse("User-agent: *\nCrawl-delay: soon\n").CrawlDelay(), 0);
    EXPECT_LT(parse("User-agent: *\nCrawl-delay: -3\n").CrawlDelay(), 0);
    EXPECT_LT(TkvRobotsTxt().CrawlDelay(), 0);
    // The crawl delay of another agent's group does not apply.
    EXPECT_LT(parse("User-agent: other\nCrawl-delay: 9\nUser-agent: *\nDisallow: /x\n").CrawlDelay(), 0);

    // Binary garbage and an empty file: no rules, no crash.
    QByteArray garbage(4096, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 37) % 256);
    EXPECT_TRUE(TkvRobotsTxt::Parse(garbage).Allows(QStringLiteral("/x")));
    EXPECT_TRUE(parse("").Allows(QStringLiteral("/x")));
}

TEST(KvRobotsTxtTest, ReadsOnlyTheFirstHalfMegabyte)
{
    QByteArray text("User-agent: *\nDisallow: /early/\n");
    text.append(QByteArray(TkvRobotsTxt::MaxBytes, '#'));
    text.append("\nDisallow: /late/\n");
    const TkvRobotsTxt robots = TkvRobotsTxt::Parse(text);
    EXPECT_FALSE(robots.Allows(QStringLiteral("/early/x")));
    EXPECT_TRUE(robots.Allows(QStringLiteral("/late/x")));
}
