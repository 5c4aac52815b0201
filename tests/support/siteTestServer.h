#pragma once

// A web site for tests, held in memory and served on 127.0.0.1, and a documentation tree with every kind
// of link a site search meets.

#include "httpTestServer.h"

#include <QString>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct TServed
{
    int status = 200;
    std::string type = "text/html";
    std::string body;
    std::string location; ///< a redirect when set
};

/// A site held in memory and served on 127.0.0.1; it records every request it answers.
class TTestSite
{
public:
    TTestSite()
    {
        server.Server().Get(
            ".*", [this](const httplib::Request &request, httplib::Response &response) { serve(request, response); });
        server.Start();
    }

    void Page(const std::string &path, const std::string &body, const std::string &type = "text/html")
    {
        std::lock_guard guard(mutex);
        pages[path] = TServed{200, type, body, {}};
    }
    void Redirect(const std::string &path, const std::string &location)
    {
        std::lock_guard guard(mutex);
        pages[path] = TServed{302, {}, {}, location};
    }
    void Fail(const std::string &path, int status)
    {
        std::lock_guard guard(mutex);
        pages[path] = TServed{status, "text/plain", "failure", {}};
    }

    QString Url(const std::string &path) const { return server.Url(QString::fromStdString(path)); }
    std::string Origin() const { return "http://127.0.0.1:" + std::to_string(server.Port()); }

    /// Every request in arrival order, as "path?query".
    std::vector<std::string> Requests() const
    {
        std::lock_guard guard(mutex);
        return requests;
    }
    std::set<std::string> Hosts() const
    {
        std::lock_guard guard(mutex);
        return hosts;
    }
    std::vector<std::chrono::steady_clock::time_point> Arrivals() const
    {
        std::lock_guard guard(mutex);
        return arrivals;
    }

    /// Called before a request is answered, on the server's thread.
    std::function<void(const std::string &path)> beforeAnswer;
    /// Answers paths that are not in the table (for endless sites); nothing: 404.
    std::function<std::optional<TServed>(const std::string &path)> generate;

private:
    void serve(const httplib::Request &request, httplib::Response &response)
    {
        std::optional<TServed> page;
        {
            std::lock_guard guard(mutex);
            requests.push_back(request.target);
            hosts.insert(request.get_header_value("Host"));
            arrivals.push_back(std::chrono::steady_clock::now());
            const auto it = pages.find(request.path);
            if (it != pages.end())
                page = it->second;
        }
        if (beforeAnswer)
            beforeAnswer(request.path);
        if (!page && generate)
            page = generate(request.path);
        if (!page) {
            response.status = 404;
            response.set_content("not here", "text/plain");
        } else if (!page->location.empty()) {
            response.set_redirect(page->location, page->status);
        } else {
            response.status = page->status;
            response.set_content(page->body, page->type.c_str());
        }
    }

    TkvHttpTestServer server;
    mutable std::mutex mutex;
    std::map<std::string, TServed> pages;
    std::vector<std::string> requests;
    std::set<std::string> hosts;
    std::vector<std::chrono::steady_clock::time_point> arrivals;
};

inline std::string links(std::initializer_list<std::string> targets)
{
    std::string html = "<!doctype html><title>t</title>";
    for (const std::string &target : targets)
        html += "<a href=\"" + target + "\">x</a>\n";
    return html;
}

/// A documentation tree with every kind of link a site search meets.
inline void buildDocs(TTestSite &site)
{
    const std::string origin = site.Origin();
    site.Page("/robots.txt", "User-agent: *\nDisallow: /docs/private/\n", "text/plain");
    const std::string index =
        links({"a.html", "b.htm", "sub/", "private/p.html", "image.png", "notes.html", "q.html?x=1", "other.php",
               "../outside.html", "http://localhost" + origin.substr(origin.rfind(':')) + "/docs/foreign.html",
               "missing.html", "in.html", "out.html", "idx/"});
    site.Page("/docs/", index);
    site.Page("/docs/index.html", index); // the same page under its own name
    site.Page("/docs/a.html", links({"./", "index.html", "b.htm", "a.html", "../docs/sub/c.html#top", "q.html?y=2"}));
    site.Page("/docs/b.htm", "<frameset><frame src=fr.html></frameset><map><area href=area.html></map>"
                             "<link rel=next href=next.html><iframe src=if.html></iframe>");
    for (const char *leaf : {"/docs/fr.html", "/docs/area.html", "/docs/next.html", "/docs/if.html", "/docs/q.html",
                             "/docs/other.php", "/outside.html", "/docs/foreign.html", "/docs/private/p.html",
                             "/docs/sub/d.html", "/docs/sub/deeper/e.html", "/docs/idx/start.php", "/elsewhere/e.html"})
        site.Page(leaf, links({}));
    site.Page("/docs/image.png", "\x89PNG\r\n\x1A\n", "image/png");
    site.Page("/docs/notes.html", "plain text, whatever its name", "text/plain");
    site.Page("/docs/sub/", links({"c.html", "../a.html", "../../outside.html", "deeper/", "index.htm"}));
    site.Page("/docs/sub/index.htm", links({})); // another page than the folder's, whatever its name
    site.Page("/docs/sub/c.html", "<base href='/docs/sub/deeper/'><a href=e.html>e</a>");
    site.Page("/docs/sub/deeper/", links({"../../"}));
    site.Redirect("/docs/in.html", origin + "/docs/sub/d.html");
    site.Redirect("/docs/out.html", origin + "/elsewhere/e.html");
    site.Redirect("/docs/idx/", origin + "/docs/idx/start.php");
}
