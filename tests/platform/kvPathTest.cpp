// Path parts, folder creation and the per-user home path.
#include "kvPath.h"
#include "kvFileName.h"
#include "kvHomePath.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <dirent.h>
#include <set>
#include <unistd.h>

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
    // Trailing separators go, but the root stays the root.
    EXPECT_EQ(TkvPath::WithoutTrailingSlash(QStringLiteral("/out/a//")), QStringLiteral("/out/a"));
    EXPECT_EQ(TkvPath::WithoutTrailingSlash(QStringLiteral("//")), QStringLiteral("/"));
    EXPECT_EQ(TkvPath::WithoutTrailingSlash(QStringLiteral("out")), QStringLiteral("out"));
    EXPECT_EQ(TkvPath::WithoutTrailingSlash(QString()), QString());
}

/// The names in `folder` as the file system holds them (bytes, not text).
std::set<QByteArray> rawNames(const QString &folder)
{
    std::set<QByteArray> names;
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.insert(name);
    }
    ::closedir(dir);
    return names;
}

TEST(KvPathTest, MakePathCreatesParentsWithTheNamesOwnBytesAndReportsFailure)
{
    QTemporaryDir dir;
    EXPECT_TRUE(TkvFileName::MakePath(dir.filePath(QStringLiteral("a/b/c/"))));
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("a/b/c"))).isDir());
    EXPECT_TRUE(TkvFileName::MakePath(dir.path()));

    // A name that is not UTF-8 becomes that one folder, not a second one spelled with U+FFFD.
    const QString odd = TkvFileName::Decode(QFile::encodeName(dir.path()) + "/x\xff/in");
    EXPECT_TRUE(TkvFileName::MakePath(odd));
    EXPECT_EQ(rawNames(dir.path()), (std::set<QByteArray>{"a", "x\xff"}));
    ::rmdir(TkvFileName::Encode(odd).constData()); // QTemporaryDir cannot remove such names
    ::rmdir(TkvFileName::Encode(TkvPath::FolderPart(odd)).constData());

    QFile file(dir.filePath(QStringLiteral("f")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(TkvFileName::MakePath(dir.filePath(QStringLiteral("f/sub"))));
    EXPECT_FALSE(TkvFileName::MakePath(dir.filePath(QStringLiteral("f"))));
    EXPECT_FALSE(TkvFileName::MakePath(QString()));
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
