#include "kvAtomicFile.h"
#include "fileSizeLimit.h"
#include "kvFileError.h"
#include "kvFileName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

std::string errorOf(const std::function<void()> &run)
{
    try {
        run();
    } catch (const TkvFileError &e) {
        return e.what();
    }
    return {};
}

} // namespace

TEST(KvAtomicFileTest, CreatesAndReplacesLeavingNoTemporaryFile)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("out.mht"));
    TkvAtomicFile::WriteAll(target, {"first ", "file"}, true);
    EXPECT_EQ(readAll(target), QByteArray("first file"));
    EXPECT_EQ(QFile::permissions(target) & QFileDevice::ReadOther, QFileDevice::ReadOther);

    TkvAtomicFile::WriteAll(target, {"second"}, true);
    EXPECT_EQ(readAll(target), QByteArray("second"));
    EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("out.mht")});

    // Without replace an existing file is an error and stays as it was.
    const std::string error = errorOf([&] { TkvAtomicFile::WriteAll(target, {"third"}, false); });
    EXPECT_NE(error.find("already exists"), std::string::npos) << error;
    EXPECT_EQ(readAll(target), QByteArray("second"));
}

TEST(KvAtomicFileTest, AbandonedWriteKeepsTheOldTarget)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("out.mht"));
    writeFile(target, "old");
    {
        TkvAtomicFile file(target, true);
        file.Write("partial");
    } // destroyed before Commit, as when a conversion fails half way
    EXPECT_EQ(readAll(target), QByteArray("old"));
    EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("out.mht")});
}

TEST(KvAtomicFileTest, UnwritableTargetsFailWithTheReason)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("plain")), "x");

    // A path through a regular file (ENOTDIR), a missing folder, a folder as the target, a name longer
    // than NAME_MAX: each fails with a sentence naming the target, and nothing is created.
    const QString throughFile = dir.filePath(QStringLiteral("plain/out.mht"));
    std::string error = errorOf([&] { TkvAtomicFile::WriteAll(throughFile, {"x"}, true); });
    EXPECT_NE(error.find(throughFile.toStdString()), std::string::npos) << error;
    EXPECT_NE(error.find("is not a folder"), std::string::npos) << error;

    error = errorOf([&] { TkvAtomicFile::WriteAll(dir.filePath(QStringLiteral("none/out.mht")), {"x"}, true); });
    EXPECT_NE(error.find("does not exist"), std::string::npos) << error;

    error = errorOf([&] { TkvAtomicFile::WriteAll(dir.path(), {"x"}, true); });
    EXPECT_NE(error.find("is a folder"), std::string::npos) << error;

    const QString tooLong = dir.filePath(QString(300, QLatin1Char('n')) + QStringLiteral(".mht"));
    error = errorOf([&] { TkvAtomicFile::WriteAll(tooLong, {"x"}, true); });
    EXPECT_FALSE(error.empty());

    EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("plain")});
}

TEST(KvAtomicFileTest, FullDiskLeavesExistingTargetAndNoPartialFile)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("out.mht"));
    writeFile(target, "old archive");

    const int code = RunWithFileSizeLimit(4096, [&] {
        try {
            TkvAtomicFile::WriteAll(target, {QByteArray(3000, 'a'), QByteArray(3000, 'b')}, true);
        } catch (const TkvFileError &e) {
            return std::string(e.what()).find("Cannot write") == 0 && e.Error() == EFBIG ? 0 : 2;
        }
        return 1;
    });
    EXPECT_EQ(code, 0) << "1: the write reported success, 2: unexpected message or error number";
    EXPECT_EQ(readAll(target), QByteArray("old archive"));
    EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("out.mht")});
}

TEST(KvAtomicFileTest, WritesUnderANameThatIsNotUtf8)
{
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path()) + "/d\xE9p";
    ASSERT_TRUE(TkvFileName::MakePath(TkvFileName::Decode(folder)));
    const QString target = TkvFileName::Decode(folder + "/caf\xE9.mht");
    TkvAtomicFile::WriteAll(target, {QByteArray("one"), QByteArray(" two")}, true);
    TkvAtomicFile::WriteAll(target, {QByteArray("three")}, true); // replaces the file of that name
    QFile file;
    const int fd = ::open((folder + "/caf\xE9.mht").constData(), O_RDONLY);
    ASSERT_GE(fd, 0) << "the archive has the name's own bytes";
    ASSERT_TRUE(file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
    EXPECT_EQ(file.readAll(), QByteArray("three"));
    int names = 0;
    DIR *listing = ::opendir(folder.constData());
    ASSERT_NE(listing, nullptr);
    while (const dirent *e = ::readdir(listing))
        names += e->d_name[0] != '.';
    ::closedir(listing);
    EXPECT_EQ(names, 1) << "no temporary left";
    // QTemporaryDir removes by decoded names and cannot reach these: remove them by their bytes.
    ::unlink((folder + "/caf\xE9.mht").constData());
    ::rmdir(folder.constData());
}

TEST(KvAtomicFileTest, LeftoversOfEndedProcessesAreRemovedAndNothingElse)
{
    QTemporaryDir dir;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(0);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    const QString ended = QString::number(child);
    const QString own = QString::number(getpid());
    const QStringList removed{QStringLiteral(".a.mht.") + ended + QStringLiteral("-Ab3xYz.tmp"),
                              QStringLiteral(".line\nbreak.mht.") + ended + QStringLiteral("-000000.tmp")};
    const QStringList kept{QStringLiteral(".a.mht.") + own + QStringLiteral("-Ab3xYz.tmp"),    // still running
                           QStringLiteral(".a.mht.") + ended + QStringLiteral("-Ab3x.tmp"),    // not our pattern
                           QStringLiteral("a.mht.") + ended + QStringLiteral("-Ab3xYz.tmp"),   // not hidden
                           QStringLiteral(".a.mht.") + ended + QStringLiteral("-Ab3xYz.tmpx"), // not our pattern
                           QStringLiteral("notes.tmp")};
    for (const QString &name : removed + kept)
        writeFile(dir.filePath(name), "x");
    ASSERT_TRUE(QDir().mkdir(dir.filePath(QStringLiteral(".f.") + ended + QStringLiteral("-Ab3xYz.tmp"))));

    // A write in progress in this process keeps its temporary file.
    TkvAtomicFile open(dir.filePath(QStringLiteral("page.mht")), true);
    open.Write("in progress");
    EXPECT_EQ(TkvAtomicFile::RemoveLeftovers(dir.path()), int(removed.size()));
    for (const QString &name : removed)
        EXPECT_FALSE(QFile::exists(dir.filePath(name))) << name.toStdString();
    for (const QString &name : kept)
        EXPECT_TRUE(QFile::exists(dir.filePath(name))) << name.toStdString();
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral(".f.") + ended + QStringLiteral("-Ab3xYz.tmp"))).isDir());
    open.Commit();
    EXPECT_EQ(readAll(dir.filePath(QStringLiteral("page.mht"))), QByteArray("in progress"));

    // An id that now belongs to another program (here the first process) no longer protects a file.
    QFile firstProgram(QStringLiteral("/proc/1/comm")), ownProgram(QStringLiteral("/proc/self/comm"));
    if (firstProgram.open(QIODevice::ReadOnly) && ownProgram.open(QIODevice::ReadOnly) &&
        firstProgram.readAll() != ownProgram.readAll()) {
        const QString reused = dir.filePath(QStringLiteral(".b.mht.1-Ab3xYz.tmp"));
        writeFile(reused, "x");
        EXPECT_EQ(TkvAtomicFile::RemoveLeftovers(dir.path()), 1);
        EXPECT_FALSE(QFile::exists(reused));
    }
    EXPECT_EQ(TkvAtomicFile::RemoveLeftovers(dir.filePath(QStringLiteral("missing"))), 0);
}
