// Search in the window on a web site served on 127.0.0.1 lists the pages as the search finds them.
#include "siteTestServer.h"
#include "windowTestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>

namespace {

using SiteRunTest = WindowTest;

TEST_F(SiteRunTest, SearchOnASiteListsEveryPageFoundInTheOrderFound)
{
    TTestSite site;
    site.Page("/docs/", links({"a.html", "sub/", "../up.html", "pic.png"}));
    site.Page("/docs/a.html", links({"./"}));
    site.Page("/docs/sub/", links({"b.html"}));
    site.Page("/docs/sub/b.html", links({}));
    site.Page("/up.html", links({}));

    TkvFrmMain *w = open();
    Child<QLineEdit>(w, "eSource")->setText(site.Url("/docs/*.html"));
    Child<QLineEdit>(w, "eTarget")->setText(out);
    Child<QCheckBox>(w, "cSubdir")->setChecked(true);
    Child<QAction>(w, "aSearch")->trigger();
    const QStringList expected{site.Url("/docs/"), site.Url("/docs/a.html"), site.Url("/docs/sub/"),
                               site.Url("/docs/sub/b.html")};
    EXPECT_TRUE(WaitUntil([&] {
        w->Model()->Flush();
        return rowsText().size() >= expected.size();
    }));
    EXPECT_EQ(rowsText(), expected);
    EXPECT_TRUE(QDir(out).entryList(QDir::Files).isEmpty()); // Search alone converts nothing
}

} // namespace
