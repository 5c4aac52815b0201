// Path parts, folder creation and the per-user home path.
#include "kvPath.h"
#include "kvHomePath.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(KvPathTest, FolderPartEndsAtTheLastSlash)
{
    EXPECT_EQ(TkvPath::FolderPart(QStringLiteral("/pages/index.htm")), QStringLiteral("/pages/"));
    EXPECT_EQ(TkvPath::FolderPart(QStringLiteral("/in")), QStringLiteral("/"));
    EXPECT_EQ(TkvPath::FolderPart(QStringLiteral("/web/*.htm?")), QStringLiteral("/web/"));
    EXPECT_EQ(TkvPath::FolderPart(QStringLiteral("index.htm")), QString());
    EXPECT_EQ(TkvPath::FolderPart(QStringLiteral("a\\b")), QString()); // a backslash is part of a name
    EXPECT_EQ(TkvPath::NamePart(QStringLiteral("/pages/index.htm")), QStringLiteral("index.htm"));
    EXPECT_EQ(TkvPath::NamePart(QStringLiteral("/pages/")), QString());
    EXPECT_EQ(TkvPath::NamePart(QStringLiteral("index.htm")), QStringLiteral("index.htm"));
}

TEST(KvPathTest, ForceFoldersCreatesParentsAndReportsFailure)
{
    QTemporaryDir dir;
    EXPECT_TRUE(TkvPath::ForceFolders(dir.filePath(QStringLiteral("a/b/c"))));
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("a/b/c"))).isDir());
    EXPECT_TRUE(TkvPath::ForceFolders(dir.path()));
    QFile file(dir.filePath(QStringLiteral("f")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(TkvPath::ForceFolders(dir.filePath(QStringLiteral("f/sub"))));
    EXPECT_FALSE(TkvPath::ForceFolders(QString()));
}

TEST(KvPathTest, ExecutablePathIsThisProgram)
{
    const QString path = TkvPath::ExecutablePath();
    EXPECT_TRUE(QFileInfo(path).isExecutable()) << path.toStdString();
    EXPECT_EQ(TkvPath::NamePart(path), QStringLiteral("platform_tests"));
}

/// Sets or clears environment variables for one test and restores them after.
class KvHomePathTest : public testing::Test
{
protected:
    void TearDown() override
    {
        for (const auto &[name, value] : saved) {
            if (value.isNull()) {
                qunsetenv(name);
            } else {
                qputenv(name, value);
            }
        }
    }
    void Set(const char *name, const char *value)
    {
        if (!saved.count(name)) {
            saved[name] = qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray();
        }
        if (value) {
            qputenv(name, value);
        } else {
            qunsetenv(name);
        }
    }
    std::map<const char *, QByteArray> saved;
};

TEST_F(KvHomePathTest, OwnVariableThenXdgThenDotConfig)
{
    Set("WEB2ARC_HOME", "/tmp/w2a-home/");
    Set("XDG_CONFIG_HOME", "/xdg");
    Set("HOME", "/home/u");
    EXPECT_EQ(TkvHomePath::Path(), QStringLiteral("/tmp/w2a-home/web2arc"));
    EXPECT_EQ(TkvHomePath::Folder(), QStringLiteral("/tmp/w2a-home/"));
    Set("WEB2ARC_HOME", "");
    EXPECT_EQ(TkvHomePath::Path(), QStringLiteral("/xdg/web2arc/web2arc"));
    Set("XDG_CONFIG_HOME", "relative/ignored");
    EXPECT_EQ(TkvHomePath::Path(), QStringLiteral("/home/u/.config/web2arc/web2arc"));
    Set("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(TkvHomePath::Path(), QStringLiteral("/home/u/.config/web2arc/web2arc"));
    Set("HOME", "/");
    EXPECT_EQ(TkvHomePath::Path(), QStringLiteral("/.config/web2arc/web2arc"));
}

} // namespace
