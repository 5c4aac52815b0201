#include "kvSiteScope.h"

#include "qStringPrinter.h"

#include <gtest/gtest.h>

TEST(KvSiteScopeTest, ASiteIsAWebAddressWithAMaskInItsLastSegment)
{
    struct Case
    {
        const char *source;
        const char *folder;
        const char *mask;
    };
    const Case sites[] = {
        {"https://host/docs/*.htm?", "https://host/docs/", "*.htm?"},
        {"https://host/docs/*", "https://host/docs/", "*"},
        {"HTTP://Host:80/*.html#top", "http://host/", "*.html"},
        {"http://host:8080/a/b/ch*.htm", "http://host:8080/a/b/", "ch*.htm"},
        {"  http://host/a%20b/*.htm  ", "http://host/a%20b/", "*.htm"},
        {"http://host\\docs\\*.htm", "http://host/docs/", "*.htm"},
        {"http://host/docs/*?x", "http://host/docs/", "*?x"},
    };
    for (const Case &c : sites) {
        const std::optional<TkvSiteScope> scope = TkvSiteScope::FromSource(QString::fromUtf8(c.source), true);
        ASSERT_TRUE(scope.has_value()) << c.source;
        EXPECT_EQ(scope->Folder(), QString::fromUtf8(c.folder)) << c.source;
        EXPECT_EQ(scope->Mask(), QString::fromUtf8(c.mask)) << c.source;
        EXPECT_TRUE(scope->Subdirs());
    }

    const char *single[] = {
        "https://host/docs/index.html", // no mask: one page, as always
        "https://host/find?q=*",        // the '*' is in the query
        "https://host/docs/?*.htm",     // a '?' before any '*' starts a query
        "https://host/*/index.html",    // a '*' in a folder is not a mask
        "https://ho*st/",               // nor in the host
        "https://host*",
        "ftp://host/*.htm",
        "/home/user/docs/*.htm",
        "file:///home/user/*.htm",
        "",
    };
    for (const char *source : single)
        EXPECT_FALSE(TkvSiteScope::FromSource(QString::fromUtf8(source), true).has_value()) << source;
}

TEST(KvSiteScopeTest, ContainsPagesBelowTheFolderThatMatchTheMask)
{
    const TkvSiteScope deep = *TkvSiteScope::FromSource(QStringLiteral("http://host/docs/*.htm?"), true);
    const TkvSiteScope flat = *TkvSiteScope::FromSource(QStringLiteral("http://host/docs/*.htm?"), false);
    struct Case
    {
        const char *url;
        bool inDeep;
        bool inFlat;
    };
    const Case cases[] = {
        {"http://host/docs/", true, true}, // the start folder's index page
        {"http://host/docs/a.html", true, true},
        {"http://host/docs/A.HTM", true, true}, // names match ignoring case
        {"http://host/docs/a%20b.htm", true, true},
        {"http://host/docs/a.html#part", true, true}, // a fragment is not part of the address
        {"http://host/docs/a.php", false, false},     // not matching the mask
        {"http://host/docs/a.html.bak", false, false},
        {"http://host/docs/api/", true, false}, // a subfolder's index page
        {"http://host/docs/api/x.html", true, false},
        {"http://host/docs/a.html?x=1", false, false}, // a query is never followed
        {"http://host/docs/a.html?", false, false},
        {"http://host/docsx/a.html", false, false}, // beside the folder, not in it
        {"http://host/docs", false, false},
        {"http://host/a.html", false, false},         // above it
        {"http://host/docs/../a.html", false, false}, // dot segments are resolved first
        {"http://host/docs/x/../a.html", true, true},
        {"https://host/docs/a.html", false, false},     // another scheme
        {"http://host:8080/docs/a.html", false, false}, // another port
        {"http://HOST:80/docs/a.html", true, true},     // the same host and port, written otherwise
        {"http://other/docs/a.html", false, false},     // another host
        {"http://user@host/docs/a.html", false, false}, // another user
        {"mailto:someone@host", false, false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(deep.Contains(QString::fromUtf8(c.url)), c.inDeep) << c.url;
        EXPECT_EQ(flat.Contains(QString::fromUtf8(c.url)), c.inFlat) << c.url;
    }
}

TEST(KvSiteScopeTest, MatchesTheDecodedNameAndGivesTheEncodedRelativePath)
{
    const TkvSiteScope scope = *TkvSiteScope::FromSource(QStringLiteral("http://host/d/caf\u00e9 *.html"), true);
    EXPECT_EQ(scope.Folder(), QStringLiteral("http://host/d/"));
    const TkvUrl page = TkvUrl::Parse(QStringLiteral("http://host/d/sub/caf%C3%A9%20menu.html"));
    EXPECT_TRUE(scope.Contains(page));
    EXPECT_EQ(scope.RelativePath(page), QStringLiteral("sub/caf%C3%A9%20menu.html"));
    EXPECT_EQ(scope.RelativePath(TkvUrl::Parse(QStringLiteral("http://host/d/"))), QString());
    EXPECT_FALSE(scope.Contains(QStringLiteral("http://host/d/cafe menu.html")));
}
