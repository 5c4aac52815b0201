// The real page renderer (web2arc-render, Qt WebEngine) driven through the converter's client.
#include "httpTestServer.h"
#include "kvMhtMessage.h"
#include "kvRenderClient.h"
#include "kvUrl.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <future>
#include <mutex>
#include <set>
#include <string>

using namespace std::chrono_literals;

namespace {

class KvRenderHelperTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    static TkvRenderClient::TOptions options(QStringList arguments = {})
    {
        TkvRenderClient::TOptions result;
        result.program = QStringLiteral(WEB2ARC_RENDER_EXE);
        result.arguments = std::move(arguments);
        result.helperStandardError = qEnvironmentVariableIsSet("RENDER_DEBUG");
        return result;
    }

    /// Writes a page into the test folder and returns its file: address.
    QString writePage(const QString &name, const QByteArray &html) const
    {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(html);
        return TkvUrl::FromLocalPath(file.fileName());
    }

    static void serve(TkvHttpTestServer &server, const std::string &path, const std::string &html)
    {
        server.Server().Get(path, [html](const httplib::Request &, httplib::Response &response) {
            response.set_content(html, "text/html; charset=utf-8");
        });
    }

    static QString failureOf(TkvRenderClient &client, const QString &address, std::chrono::milliseconds limit = 3000ms)
    {
        try {
            client.Render(address, limit);
        } catch (const EMhtError &error) {
            return QString::fromUtf8(error.what());
        }
        return QString();
    }

    static QString html(const TkvRenderedPage &page, size_t index = 0)
    {
        return index < page.documents.size() ? QString::fromUtf8(page.documents[index].html) : QString();
    }

    QTemporaryDir dir;
};

TEST_F(KvRenderHelperTest, TheSnapshotIsTheDocumentAsItsScriptsLeftIt)
{
    const QString address = writePage(QStringLiteral("page.html"), R"(<!DOCTYPE html>
<html><head><meta charset="windows-1252"><title>t</title><style id="added"></style>
<noscript><p>shown without scripts</p></noscript></head>
<body onload="void 0">
<form><input id="text" value="original"><input id="box" type="checkbox"><input id="secret" type="password">
<select id="choice"><option>one</option><option>two</option></select><textarea id="notes">old</textarea></form>
<canvas id="drawing" class="chart" width="20" height="10">no canvas here</canvas>
<div id="out"></div>
<script>
document.getElementById('out').textContent = 'BUILT BY A SCRIPT';
document.getElementById('text').value = 'typed';
document.getElementById('box').checked = true;
document.getElementById('secret').value = 'hunter2';
document.getElementById('choice').selectedIndex = 1;
document.getElementById('notes').value = 'new notes';
document.getElementById('added').sheet.insertRule('#out { color: rgb(1, 2, 3); }');
const sheet = new CSSStyleSheet();
sheet.replaceSync('body { margin: 7px; }');
document.adoptedStyleSheets = [sheet];
const pen = document.getElementById('drawing').getContext('2d');
pen.fillStyle = 'blue';
pen.fillRect(0, 0, 20, 10);
</script></body></html>)");
    TkvRenderClient client(options());
    const TkvRenderedPage page = client.Render(address, 5000ms);
    ASSERT_EQ(page.documents.size(), 1u);
    EXPECT_EQ(page.documents[0].address, address);
    EXPECT_TRUE(page.settled);
    const QString snapshot = html(page);
    EXPECT_TRUE(snapshot.startsWith(QStringLiteral("<!DOCTYPE html>\n<html>"))) << snapshot.toStdString();
    EXPECT_TRUE(snapshot.contains(QStringLiteral("<div id=\"out\">BUILT BY A SCRIPT</div>")));
    EXPECT_TRUE(snapshot.contains(QStringLiteral("id=\"text\" value=\"typed\"")));
    EXPECT_TRUE(snapshot.contains(QStringLiteral("id=\"box\" type=\"checkbox\" checked=\"\"")));
    EXPECT_FALSE(snapshot.contains(QStringLiteral("hunter2")));
    EXPECT_TRUE(snapshot.contains(QStringLiteral("<option selected=\"\">two</option>")));
    EXPECT_TRUE(snapshot.contains(QStringLiteral(">new notes</textarea>")));
    EXPECT_TRUE(snapshot.contains(QStringLiteral("<style id=\"added\">#out { color: rgb(1, 2, 3); }</style>")));
    EXPECT_TRUE(snapshot.contains(QStringLiteral("<style>body { margin: 7px; }</style>")));
    EXPECT_TRUE(snapshot.contains(QStringLiteral("<img id=\"drawing\" class=\"chart\" width=\"20\" height=\"10\" "
                                                 "src=\"data:image/png;base64,")));
    EXPECT_FALSE(snapshot.contains(QStringLiteral("no canvas here")));
    EXPECT_FALSE(snapshot.contains(QStringLiteral("<script")));
    EXPECT_FALSE(snapshot.contains(QStringLiteral("noscript")));
    EXPECT_FALSE(snapshot.contains(QStringLiteral("onload")));
    // Whatever the page was written in, the snapshot is UTF-8 and says so once.
    EXPECT_EQ(snapshot.count(QStringLiteral("charset")), 1);
    EXPECT_TRUE(snapshot.contains(QStringLiteral("<meta charset=\"utf-8\">")));
}

TEST_F(KvRenderHelperTest, OneHelperRendersPageAfterPageFromSeveralThreads)
{
    std::vector<QString> pages;
    for (int i = 0; i < 9; ++i)
        pages.push_back(writePage(QStringLiteral("p%1.html").arg(i),
                                  QStringLiteral("<body><script>setTimeout(() => document.body.append('PAGE %1'), 50)"
                                                 "</script>")
                                      .arg(i)
                                      .toUtf8()));
    TkvRenderClient client(options());
    std::vector<std::future<void>> threads;
    for (int t = 0; t < 3; ++t) {
        threads.push_back(std::async(std::launch::async, [&, t] {
            for (int i = t; i < 9; i += 3) {
                const TkvRenderedPage page = client.Render(pages[i], 8000ms);
                EXPECT_TRUE(page.settled) << i; // a page that reuses a view still gets its load event
                EXPECT_TRUE(html(page).contains(QStringLiteral("PAGE %1").arg(i))) << html(page).toStdString();
            }
        }));
    }
    for (std::future<void> &thread : threads)
        thread.get();
    EXPECT_EQ(client.HelpersStarted(), 1);
}

TEST_F(KvRenderHelperTest, EachFrameIsTakenUnderTheAddressItsElementNames)
{
    TkvHttpTestServer other; // another origin: its frame answers through the renderer, not the page
    serve(other, "/far.html", "<p>far</p><script>document.body.append('FAR BUILT')</script>");
    other.Start();
    TkvHttpTestServer site;
    serve(site, "/page.html",
          "<body><iframe src=\"same.html\"></iframe><iframe id=\"far\"></iframe><iframe id=\"made\"></iframe>"
          "<script>document.getElementById('made').contentDocument.body.innerHTML = '<b>MADE IN PLACE</b>';"
          "document.getElementById('far').src = '" +
              other.Url(QStringLiteral("/far.html")).toStdString() + "';</script>");
    serve(site, "/same.html", "<p>static</p><script>document.body.append('FRAME BUILT')</script>");
    site.Start();

    TkvRenderClient client(options());
    const TkvRenderedPage page = client.Render(site.Url(QStringLiteral("/page.html")), 5000ms);
    std::map<QString, QString> documents;
    for (const TkvRenderDocument &document : page.documents)
        documents[document.address] = QString::fromUtf8(document.html);
    ASSERT_TRUE(documents.count(site.Url(QStringLiteral("/page.html"))));
    EXPECT_TRUE(documents[site.Url(QStringLiteral("/same.html"))].contains(QStringLiteral("FRAME BUILT")));
    EXPECT_TRUE(documents[other.Url(QStringLiteral("/far.html"))].contains(QStringLiteral("FAR BUILT")));
    const QString top = documents[site.Url(QStringLiteral("/page.html"))];
    EXPECT_TRUE(top.contains(QStringLiteral("srcdoc=\"<html><head><meta charset=&quot;utf-8&quot;></head><body>"
                                            "<b>MADE IN PLACE</b></body></html>\"")))
        << top.toStdString();
    EXPECT_EQ(page.documents.size(), 3u); // the page and two frames; the one made in place is inline
}

TEST_F(KvRenderHelperTest, WaitsForRequestsAndAddedScriptsBeforeTakingThePage)
{
    TkvHttpTestServer site;
    serve(site, "/page.html",
          "<body><div id=\"out\"></div><script>"
          "addEventListener('load', () => {"
          "  fetch('/slow.json').then(r => r.json()).then(d => { out.textContent = d.text; });"
          "  const s = document.createElement('script'); s.src = '/late.js'; document.body.append(s);"
          "});</script>");
    site.Server().Get("/slow.json", [](const httplib::Request &, httplib::Response &response) {
        std::this_thread::sleep_for(900ms); // longer than the quiet time the renderer waits for
        response.set_content(R"({"text": "FROM THE SERVER"})", "application/json");
    });
    site.Server().Get("/late.js", [](const httplib::Request &, httplib::Response &response) {
        std::this_thread::sleep_for(700ms);
        response.set_content("document.body.append('LATE SCRIPT RAN');", "text/javascript");
    });
    site.Start();
    TkvRenderClient client(options());
    const TkvRenderedPage page = client.Render(site.Url(QStringLiteral("/page.html")), 8000ms);
    EXPECT_TRUE(page.settled);
    EXPECT_TRUE(html(page).contains(QStringLiteral("FROM THE SERVER"))) << html(page).toStdString();
    EXPECT_TRUE(html(page).contains(QStringLiteral("LATE SCRIPT RAN")));
}

TEST_F(KvRenderHelperTest, APageThatNeverSettlesIsTakenAsItStandsAtTheLimit)
{
    const QString address = writePage(
        QStringLiteral("busy.html"),
        "<body><script>let n = 0; setInterval(() => document.body.append('tick' + (++n) + ' '), 20);</script>");
    TkvRenderClient client(options());
    const TkvRenderedPage page = client.Render(address, 3000ms);
    EXPECT_FALSE(page.settled);
    EXPECT_TRUE(html(page).contains(QStringLiteral("tick2 "))) << html(page).toStdString();
}

TEST_F(KvRenderHelperTest, DialogsPopUpsAndPermissionRequestsDoNotHoldThePage)
{
    TkvHttpTestServer site;
    std::atomic<int> popupRequests{0};
    serve(site, "/page.html",
          "<body><div id=\"out\"></div><script>"
          "alert('hello'); const sure = confirm('sure?'); const name = prompt('name?', 'x');"
          "const popup = window.open('/popup.html'); print();"
          "navigator.geolocation.getCurrentPosition(() => {}, () => out.append('GEO DENIED '));"
          "out.append('confirm=' + sure + ' prompt=' + name + ' popup=' + popup + ' ');"
          "</script>");
    site.Server().Get("/popup.html", [&](const httplib::Request &, httplib::Response &response) {
        ++popupRequests;
        response.set_content("<p>popup</p>", "text/html");
    });
    site.Start();
    TkvRenderClient client(options());
    const TkvRenderedPage page = client.Render(site.Url(QStringLiteral("/page.html")), 5000ms);
    EXPECT_TRUE(page.settled);
    EXPECT_TRUE(html(page).contains(QStringLiteral("confirm=false prompt=null popup=null"))) << html(page).toStdString();
    EXPECT_TRUE(html(page).contains(QStringLiteral("GEO DENIED")));
    EXPECT_EQ(popupRequests, 0);
}

TEST_F(KvRenderHelperTest, AWebPageReadsNoLocalFileAndALocalPageReachesNoNetwork)
{
    const QString secret = writePage(QStringLiteral("secret.txt"), "TOP-SECRET-MARKER");
    TkvHttpTestServer site;
    std::atomic<int> networkRequests{0};
    serve(site, "/page.html",
          "<body><div id=\"out\"></div><iframe src=\"" + secret.toStdString() + "\"></iframe>"
          "<img src=\"" + secret.toStdString() + "\"><script>"
          "fetch('" + secret.toStdString() + "').then(r => r.text()).then(t => out.append(t), e => out.append('BLOCKED'));"
          "</script>");
    site.Server().Get("/beacon", [&](const httplib::Request &, httplib::Response &response) {
        ++networkRequests;
        response.set_content("x", "text/plain");
    });
    site.Start();
    const QString local = writePage(QStringLiteral("local.html"),
                                    "<body><img src=\"" + site.Url(QStringLiteral("/beacon")).toUtf8() + "\"><script>"
                                    "fetch('" + site.Url(QStringLiteral("/beacon")).toUtf8() + "').catch(() => {});"
                                    "document.body.append('LOCAL DONE');</script>");

    TkvRenderClient client(options());
    const TkvRenderedPage web = client.Render(site.Url(QStringLiteral("/page.html")), 5000ms);
    for (const TkvRenderDocument &document : web.documents) {
        EXPECT_FALSE(document.html.contains("TOP-SECRET-MARKER")) << document.address.toStdString();
        EXPECT_FALSE(document.address.startsWith(QLatin1String("file:")));
    }
    EXPECT_TRUE(html(web).contains(QStringLiteral("BLOCKED")));

    const TkvRenderedPage page = client.Render(local, 5000ms);
    EXPECT_TRUE(html(page).contains(QStringLiteral("LOCAL DONE")));
    EXPECT_EQ(networkRequests, 0);
}

TEST_F(KvRenderHelperTest, APageThatCannotBeLoadedIsAClearError)
{
    TkvRenderClient client(options());
    const QString address = TkvSilentListener::UnusedPort() > 0
                                ? QStringLiteral("http://127.0.0.1:%1/gone.html").arg(TkvSilentListener::UnusedPort())
                                : QString();
    EXPECT_EQ(failureOf(client, address),
              QStringLiteral("Cannot load \"%1\": net::ERR_CONNECTION_REFUSED.").arg(address));
    EXPECT_TRUE(failureOf(client, QStringLiteral("about:blank")).contains(QStringLiteral("only file:, http: and https:")));
}

TEST_F(KvRenderHelperTest, AScriptThatNeverEndsCostsOnlyItsPage)
{
    const QString endless = writePage(QStringLiteral("endless.html"), "<body><script>while (true) {}</script>");
    const QString fine = writePage(QStringLiteral("fine.html"), "<body><script>document.body.append('FINE')</script>");
    TkvRenderClient client(options());
    const QString failure = failureOf(client, endless, 3000ms);
    // Usually the loop holds a document that is there; on a machine slow enough the document may not
    // even have shown by the limit. Either way the page fails and the renderer is free for the next.
    EXPECT_TRUE(failure.contains(QStringLiteral("its scripts kept the page renderer busy")) ||
                failure.contains(QStringLiteral("did not load within")))
        << failure.toStdString();
    EXPECT_TRUE(html(client.Render(fine, 5000ms)).contains(QStringLiteral("FINE")));
    EXPECT_EQ(client.HelpersStarted(), 1);
}

TEST_F(KvRenderHelperTest, APageThatExhaustsItsRendererCostsOnlyItsPage)
{
    const QString runaway = writePage(QStringLiteral("runaway.html"),
                                      "<body><script>const hoard = []; for (;;) hoard.push(new Array(1e6).fill(1));"
                                      "</script>");
    const QString fine = writePage(QStringLiteral("fine.html"), "<body><script>document.body.append('FINE')</script>");
    TkvRenderClient client(options({QStringLiteral("--script-heap-mb=64")}));
    const QString failure = failureOf(client, runaway, 10000ms);
    EXPECT_TRUE(failure.startsWith(QStringLiteral("The page renderer crashed"))) << failure.toStdString();
    EXPECT_TRUE(html(client.Render(fine, 5000ms)).contains(QStringLiteral("FINE")));
    EXPECT_EQ(client.HelpersStarted(), 1);
}

/// The renderer processes this test process started (children named web2arc-render).
std::set<pid_t> helperProcesses()
{
    std::set<pid_t> found;
    for (QDirIterator it(QStringLiteral("/proc")); it.hasNext();) {
        it.next();
        bool number = false;
        const pid_t pid = it.fileName().toInt(&number);
        if (!number)
            continue;
        QFile stat(it.filePath() + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const qsizetype close = text.lastIndexOf(')');
        const QList<QByteArray> fields = text.mid(close + 2).split(' ');
        if (text.contains("(web2arc-render)") && fields.size() > 1 && fields[1].toInt() == getpid())
            found.insert(pid);
    }
    return found;
}

TEST_F(KvRenderHelperTest, AHelperKilledUnderAPageIsReplacedAndThePageStillRenders)
{
    TkvHttpTestServer site;
    serve(site, "/slow.html",
          "<body><script>fetch('/slow.txt').then(r => r.text()).then(t => document.body.append(t));</script>");
    site.Server().Get("/slow.txt", [](const httplib::Request &, httplib::Response &response) {
        std::this_thread::sleep_for(1500ms);
        response.set_content("SLOW DONE", "text/plain");
    });
    site.Start();
    const QString slow = site.Url(QStringLiteral("/slow.html"));
    TkvRenderClient client(options());
    auto page = std::async(std::launch::async, [&] { return client.Render(slow, 8000ms); });
    std::set<pid_t> helpers;
    for (int i = 0; i < 100 && helpers.empty(); ++i) {
        std::this_thread::sleep_for(50ms);
        helpers = helperProcesses();
    }
    ASSERT_EQ(helpers.size(), 1u);
    std::this_thread::sleep_for(300ms); // let it get to the page
    ::kill(*helpers.begin(), SIGKILL);
    EXPECT_TRUE(html(page.get()).contains(QStringLiteral("SLOW DONE")));
    EXPECT_EQ(client.HelpersStarted(), 2);
}

TEST_F(KvRenderHelperTest, NothingOfAPageIsWrittenToDisk)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
        qputenv(name, home.path().toUtf8());
    const QString address = writePage(QStringLiteral("store.html"),
                                      "<body><script>localStorage.setItem('k', 'v'); document.cookie = 'c=1';"
                                      "indexedDB.open('db').onsuccess = () => document.body.append('STORED');"
                                      "</script>");
    {
        TkvRenderClient client(options());
        EXPECT_TRUE(html(client.Render(address, 5000ms)).contains(QStringLiteral("STORED")));
    }
    QStringList written;
    for (QDirIterator it(home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
        written << it.next();
    EXPECT_TRUE(written.isEmpty()) << written.join(QLatin1Char('\n')).toStdString();
}

} // namespace
