#pragma once

// Test helpers shared by the batch and convert suites: a private options store and file-tree helpers.
// Header-only so that the support library needs no link to the engine layers.

#include "kvProject.h"
#include "kvRunOptions.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

/// Sets WEB2ARC_HOME to a temporary folder and installs a fresh TkvProject as `Project` for the
/// lifetime of the object; restores both afterwards.
class BatchTestProject
{
public:
    BatchTestProject()
    {
        const char *old = std::getenv("WEB2ARC_HOME");
        hadHome = old != nullptr;
        if (old)
            oldHome = old;
        qputenv("WEB2ARC_HOME", QFile::encodeName(home.path() + QStringLiteral("/web2arc")));
        previous = Project;
        project = std::make_unique<TkvProject>();
        project->ShortName = QStringLiteral("web2arc");
        project->TargetExt = QStringLiteral(".mht");
        project->FileMask = QStringLiteral("*.htm?");
        Project = project.get();
    }
    ~BatchTestProject()
    {
        Project = previous;
        project.reset();
        if (hadHome)
            qputenv("WEB2ARC_HOME", oldHome);
        else
            qunsetenv("WEB2ARC_HOME");
    }
    TkvProject *operator->() const { return project.get(); }
    /// The options a run started now would take.
    TkvRunOptions Options() const { return TkvRunOptions::Take(*project); }

private:
    QTemporaryDir home;
    std::unique_ptr<TkvProject> project;
    TkvProject *previous = nullptr;
    QByteArray oldHome;
    bool hadHome = false;
};

/// Writes `content` to `path` (a UTF-8 path), creating missing folders.
inline void BatchWriteFile(const QString &path, const QByteArray &content = QByteArray("<html></html>"))
{
    QDir().mkpath(path.left(path.lastIndexOf(u'/')));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(content);
}

inline QByteArray BatchReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// Polls `done` until it holds or `limit` passes; true when it held. For waiting on other threads.
inline bool BatchWaitUntil(const std::function<bool()> &done, std::chrono::seconds limit = std::chrono::seconds(30))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1)); // a poll, not a fixed wait
    }
    return true;
}
