#pragma once

// Test helpers for what a run touches outside its own folders: the per-user folder, the address
// opener, and a temporary folder of the test's own. Header-only, so the support library needs no
// link to the program's layers.

#include "kvOpener.h"

#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

/// The per-user folder (WEB2ARC_HOME) in a temporary folder of its own, and the address opener
/// replaced by a recorder (WEB2ARC_OPENER unset), for the lifetime of the object; both are put back
/// afterwards.
class TkvTestHome
{
public:
    TkvTestHome() : hadHome(qEnvironmentVariableIsSet("WEB2ARC_HOME")), oldHome(qgetenv("WEB2ARC_HOME"))
    {
        qputenv("WEB2ARC_HOME", QFile::encodeName(folder.path()));
        qunsetenv("WEB2ARC_OPENER");
        kvOpener::SetOpenHook([list = opened](const QString &address) { list->append(address); });
    }
    ~TkvTestHome()
    {
        kvOpener::SetOpenHook({});
        if (hadHome)
            qputenv("WEB2ARC_HOME", oldHome);
        else
            qunsetenv("WEB2ARC_HOME");
    }
    TkvTestHome(const TkvTestHome &) = delete;
    TkvTestHome &operator=(const TkvTestHome &) = delete;

    /// The per-user folder (it holds the files web2arc.*).
    QString path() const { return folder.path(); }
    /// The addresses opened so far, oldest first.
    const QStringList &Opened() const { return *opened; }

private:
    QTemporaryDir folder;
    bool hadHome;
    QByteArray oldHome;
    std::shared_ptr<QStringList> opened = std::make_shared<QStringList>();
};

/// A test with a temporary folder of its own: `root` is its path followed by '/'.
class TkvFolderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        root = dir.path() + u'/';
    }

    QTemporaryDir dir;
    QString root;
};
