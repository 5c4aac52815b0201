#pragma once

// Fixture of the main-window tests: the window over scripted dialogs, the test converter, and a folder
// of pages to search.

#include "kvFormMain.h"
#include "kvResultModel.h"
#include "uiTestConvertor.h"
#include "uiTestSupport.h"

#include <QDir>
#include <QFile>

class WindowTest : public UiTest
{
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        Project->ConverterClass = &TestConvertorClass;
        TestGate = &gate;
        pages = path(QStringLiteral("pages/"));
        out = path(QStringLiteral("out/"));
        QDir().mkpath(pages + QStringLiteral("sub"));
    }

    void TearDown() override
    {
        gate.Open();
        if (window) {
            WaitUntil([this] { return !window->IsRunning(); });
            delete window;
            window = nullptr;
        }
        TestGate = nullptr;
        UiTest::TearDown();
    }

    /// Creates the window (after the test has prepared the options store and files).
    TkvFrmMain *open()
    {
        window = new TkvFrmMain(seam());
        return window;
    }

    void write(const QString &file, const QByteArray &content = "<html><title>t</title></html>")
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    /// a.htm, b.html, bad.htm and sub/c.htm (matching the mask) and notes.txt (not matching).
    void writePages()
    {
        for (const char *name : {"a.htm", "b.html", "bad.htm", "sub/c.htm", "notes.txt"})
            write(pages + QLatin1String(name));
    }

    /// Waits until the run has ended and every queued row update has reached the list.
    bool waitIdle()
    {
        const bool idle = WaitUntil([this] { return !window->IsRunning(); });
        window->Model()->Flush();
        return idle;
    }

    QString counter(const QString &name) const
    {
        for (const QString &line : Info->Counters)
            if (line.startsWith(name + QLatin1Char('=')))
                return line.mid(name.size() + 1);
        return QString();
    }

    QStringList rowsText() const
    {
        QStringList rows;
        for (int i = 0; i < window->Model()->rowCount(); ++i)
            rows << window->Model()->RowAt(i).FileName;
        return rows;
    }

    TkvTestGate gate;
    TkvFrmMain *window = nullptr;
    QString pages, out;
};
