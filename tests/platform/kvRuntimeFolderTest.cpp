// The runtime folder provided when no login session names one.
#include "kvRuntimeFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

/// Runs each test with TMPDIR in a private folder and XDG_RUNTIME_DIR unset, and puts both back.
class KvRuntimeFolderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp.isValid());
        savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        hadRuntime = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
        savedTmp = qgetenv("TMPDIR");
        hadTmp = qEnvironmentVariableIsSet("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(temp.path()));
        qunsetenv("XDG_RUNTIME_DIR");
    }
    void TearDown() override
    {
        hadRuntime ? qputenv("XDG_RUNTIME_DIR", savedRuntime) : qunsetenv("XDG_RUNTIME_DIR");
        hadTmp ? qputenv("TMPDIR", savedTmp) : qunsetenv("TMPDIR");
    }

    static int Mode(const QString &path)
    {
        struct stat info = {};
        return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
    }

    QTemporaryDir temp;

private:
    QByteArray savedRuntime, savedTmp;
    bool hadRuntime = false, hadTmp = false;
};

TEST_F(KvRuntimeFolderTest, AFolderTheSessionNamesIsKeptAsItIs)
{
    qputenv("XDG_RUNTIME_DIR", "/run/user/4321");
    EXPECT_EQ(TkvRuntimeFolder::Provide(), QStringLiteral("/run/user/4321"));
    EXPECT_EQ(qgetenv("XDG_RUNTIME_DIR"), QByteArray("/run/user/4321"));
    EXPECT_TRUE(QDir(temp.path()).isEmpty()); // nothing made in the temporary folder
}

TEST_F(KvRuntimeFolderTest, WithoutSessionAPrivateFolderIsMadeAndNamedEvenUnderAStrictUmask)
{
    const mode_t oldMask = ::umask(0277); // would leave the owner without write and search rights
    const QString folder = TkvRuntimeFolder::Provide();
    ::umask(oldMask);
    ASSERT_FALSE(folder.isEmpty());
    EXPECT_EQ(QFileInfo(folder).absolutePath(), QDir(temp.path()).absolutePath());
    EXPECT_TRUE(QFileInfo(folder).fileName().startsWith(QStringLiteral("runtime-")));
    EXPECT_EQ(Mode(folder), 0700);
    EXPECT_EQ(qEnvironmentVariable("XDG_RUNTIME_DIR"), folder);

    // The next process without a session finds the same folder and takes it.
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(TkvRuntimeFolder::Provide(), folder);
}

TEST_F(KvRuntimeFolderTest, APathTakenByAnOpenFolderALinkOrAFileIsNotUsed)
{
    const QString folder = TkvRuntimeFolder::Provide();
    ASSERT_FALSE(folder.isEmpty());

    ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                                  QFileDevice::ReadOther | QFileDevice::ExeOther));
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_TRUE(TkvRuntimeFolder::Provide().isEmpty()) << "a folder others can read";
    EXPECT_FALSE(qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"));

    ASSERT_TRUE(QDir().rmdir(folder));
    const QString elsewhere = temp.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkdir(elsewhere));
    ASSERT_EQ(::chmod(QFile::encodeName(elsewhere).constData(), 0700), 0);
    ASSERT_TRUE(QFile::link(elsewhere, folder));
    EXPECT_TRUE(TkvRuntimeFolder::Provide().isEmpty()) << "a link to a private folder";

    ASSERT_TRUE(QFile::remove(folder));
    QFile file(folder);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_TRUE(TkvRuntimeFolder::Provide().isEmpty()) << "a file";
    EXPECT_FALSE(qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"));
}

} // namespace
