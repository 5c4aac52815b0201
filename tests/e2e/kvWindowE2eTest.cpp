// The window runs of the real executable: what the desktop shows of it, and a web address converted
// by the hidden window of a console project.

#include "e2eHarness.h"
#include "httpTestServer.h"
#include "mimeReader.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

// Last: Xlib defines macros (None, Success, Bool, Status) that other headers use as names.
#include <X11/Xlib.h>

namespace {

/// A private X server (Xvfb) on the first free display, ended with the object.
class TkvXvfb
{
public:
    /// Starts the server; the display name is empty when it did not come up within 20 s.
    TkvXvfb()
    {
        server.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                              QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                                              QStringLiteral("-screen"), QStringLiteral("0"),
                                              QStringLiteral("1024x768x24")});
        // The server writes its display number once it accepts clients.
        QDeadlineTimer deadline(20000);
        QByteArray number;
        while (!number.endsWith('\n') && !deadline.hasExpired() && server.state() != QProcess::NotRunning) {
            server.waitForReadyRead(200);
            number += server.readAllStandardOutput();
        }
        if (number.endsWith('\n'))
            display = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
    }
    ~TkvXvfb()
    {
        server.terminate();
        if (!server.waitForFinished(10000))
            server.kill();
    }

    QString display;

private:
    QProcess server;
};

/// The UTF-8 title (_NET_WM_NAME) of `window`; empty when it has none.
QString titleOf(Display *x, Window window)
{
    const Atom name = XInternAtom(x, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(x, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    QString title;
    if (XGetWindowProperty(x, window, name, 0, 4096, False, utf8, &type, &format, &count, &after, &data) == Success &&
        data && type == utf8 && format == 8)
        title = QString::fromUtf8(reinterpret_cast<const char *>(data), int(count));
    if (data)
        XFree(data);
    return title;
}

/// Waits up to 30 s for a top-level window whose title contains `part` and returns that title.
QString waitForTitle(const QString &display, const QString &part)
{
    Display *x = XOpenDisplay(display.toLatin1().constData());
    if (!x)
        return QStringLiteral("<cannot open display %1>").arg(display);
    QString found;
    QDeadlineTimer deadline(30000);
    while (found.isEmpty() && !deadline.hasExpired()) {
        Window root = 0, parent = 0;
        Window *children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(x, DefaultRootWindow(x), &root, &parent, &children, &count)) {
            for (unsigned int i = 0; i < count && found.isEmpty(); ++i) {
                const QString title = titleOf(x, children[i]);
                if (title.contains(part))
                    found = title;
            }
            if (children)
                XFree(children);
        }
        if (found.isEmpty())
            QThread::msleep(100);
    }
    XCloseDisplay(x);
    return found;
}

TEST(KvWindowE2eTest, TheDesktopShowsTheCaptionExactlyOnce)
{
    TkvE2eEnv env;
    TkvXvfb xvfb;
    ASSERT_FALSE(xvfb.display.isEmpty()) << "Xvfb (package xvfb) did not start";
    const QString project = env.Path(QStringLiteral("proj.batch-web2arc"));
    env.WriteFile(QStringLiteral("proj.batch-web2arc"),
                  (QStringLiteral("Source=") + env.Path(QStringLiteral("site/*.htm?")) + QStringLiteral("\r\n")).toUtf8());

    QProcess window;
    QProcessEnvironment environment = env.Environment();
    environment.insert(QStringLiteral("DISPLAY"), xvfb.display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    window.setProcessEnvironment(environment);
    window.setWorkingDirectory(env.Root());
    window.start(TkvE2eEnv::Executable(), {project});
    ASSERT_TRUE(window.waitForStarted(30000));
    const QString title = waitForTitle(xvfb.display, project);
    window.kill();
    window.waitForFinished(10000);
    EXPECT_EQ(title.toStdString(), (QStringLiteral("Batch WEB2ARC Converter - ") + project).toStdString())
        << window.readAllStandardError().toStdString();
}

TEST(KvWindowE2eTest, AWebAddressWithoutTargetIsArchivedInTheCurrentFolder)
{
    TkvHttpTestServer server;
    server.Server().Get("/a.htm", [](const httplib::Request &, httplib::Response &response) {
        response.set_content("<!DOCTYPE html><title>Web</title><p>from the web</p>", "text/html");
    });
    server.Start();
    TkvE2eEnv env;
    const QString address = server.Url(QStringLiteral("/a.htm"));
    const QString log = env.Path(QStringLiteral("l.txt"));
    const TkvE2eResult r =
        env.Run({QStringLiteral("-P:Source=%1,PureConsole=1,LogFile=%2").arg(address, log)});
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();

    const QString archive = env.Path(QStringLiteral("__127.0.0.1_%1_a.mht").arg(server.Port()));
    const TMimeReadMessage m = ReadMimeFile(archive);
    ASSERT_TRUE(m.ok) << archive.toStdString() << ": " << m.error;
    EXPECT_TRUE(m.parts.at(0).data.contains("from the web"));
    // Nothing else appeared in the current folder: no folder named after the address's scheme.
    EXPECT_EQ(QDir(env.Root()).entryList({QStringLiteral("http*")}, QDir::AllEntries), QStringList());
    EXPECT_EQ(TkvE2eEnv::ReadAll(log), QStringLiteral("[Success] => %1 => %2\r\n").arg(address, archive).toUtf8());
}

} // namespace
