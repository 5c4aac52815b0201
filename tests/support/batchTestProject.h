#pragma once

// Test helpers shared by the batch and convert suites: a private options store and file-tree helpers.
// Header-only so that the support library needs no link to the engine layers.

#include "kvProject.h"
#include "kvRunOptions.h"
#include "testHome.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

/// A per-user folder of its own (TkvTestHome) and a fresh TkvProject installed as `Project` for the
/// lifetime of the object; both are put back afterwards.
class BatchTestProject
{
public:
    BatchTestProject()
    {
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
    }
    TkvProject *operator->() const { return project.get(); }
    const TkvTestHome &Home() const { return home; }
    /// The options a run started now would take.
    TkvRunOptions Options() const { return TkvRunOptions::Take(*project); }

private:
    TkvTestHome home;
    std::unique_ptr<TkvProject> project;
    TkvProject *previous = nullptr;
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
