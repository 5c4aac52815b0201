// The text-file codec and the whole-file byte access.
#include "kvTextFile.h"
#include "fileSizeLimit.h"
#include "kvFileError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

TEST(KvTextFileTest, ByteOrderMarkSelectsTheEncoding)
{
    EXPECT_EQ(TkvTextFile::Decode(QByteArray("\xEF\xBB\xBF"
                                             "a\xC3\xA9")),
              QStringLiteral("a\u00E9"));
    EXPECT_EQ(TkvTextFile::Decode(QByteArray("\xFF\xFE"
                                             "a\0\xAC\x20",
                                             6)),
              QStringLiteral("a\u20AC"));
    EXPECT_EQ(TkvTextFile::Decode(QByteArray("\xFE\xFF\0a\x20\xAC", 6)), QStringLiteral("a\u20AC"));
    // A mark alone is the empty text; an odd trailing byte of UTF-16 does not crash.
    EXPECT_EQ(TkvTextFile::Decode(QByteArray("\xFF\xFE")), QString());
    EXPECT_EQ(TkvTextFile::Decode(QByteArray("\xFF\xFE"
                                             "a\0b",
                                             5))
                  .left(1),
              QStringLiteral("a"));
}

TEST(KvTextFileTest, WithoutMarkValidUtf8ElseWindows1252)
{
    EXPECT_EQ(TkvTextFile::Decode(QByteArray("caf\xC3\xA9")), QStringLiteral("caf\u00E9"));
    EXPECT_EQ(TkvTextFile::Decode(QByteArray("caf\xE9")), QStringLiteral("caf\u00E9"));
    // 0x80 is the euro sign and 0x93/0x94 curly quotes in Windows-1252, not Latin-1 controls.
    EXPECT_EQ(TkvTextFile::Decode(QByteArray("\x80 \x93x\x94")), QStringLiteral("\u20AC \u201Cx\u201D"));
    // A truncated UTF-8 sequence at the end is not valid UTF-8.
    EXPECT_EQ(TkvTextFile::Decode(QByteArray("a\xC3")), QStringLiteral("a\u00C3"));
    EXPECT_EQ(TkvTextFile::Decode(QByteArray()), QString());
}

TEST(KvTextFileTest, LinesSplitAtEveryBreakAndEncodeWithCrLf)
{
    EXPECT_EQ(TkvTextFile::SplitLines(QStringLiteral("a\r\nb\rc\nd")),
              QStringList({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")}));
    EXPECT_EQ(TkvTextFile::SplitLines(QStringLiteral("a\n\rb\r\n")),
              QStringList({QStringLiteral("a"), QString(), QStringLiteral("b")}));
    EXPECT_EQ(TkvTextFile::SplitLines(QStringLiteral("\r\n")), QStringList({QString()}));
    EXPECT_TRUE(TkvTextFile::SplitLines(QString()).isEmpty());
    EXPECT_EQ(TkvTextFile::Encode({QStringLiteral("\u00E9"), QString()}), QByteArray("\xC3\xA9\r\n\r\n"));
    EXPECT_EQ(TkvTextFile::Encode({}), QByteArray());
}

TEST(KvTextFileTest, WrittenLinesReadBackUnchanged)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sub/deeper/list.log"));
    const QStringList lines = {QStringLiteral("/home/u/\u4E2D.batch-web2arc"), QString(), QStringLiteral("x=\u00FF")};
    TkvTextFile::WriteLines(path, lines);
    EXPECT_FALSE(readAll(path).startsWith("\xEF\xBB\xBF"));
    EXPECT_EQ(TkvTextFile::ReadLines(path), lines);
    // Replacing a longer file leaves only the new lines, and no temporary file behind.
    TkvTextFile::WriteLines(path, {QStringLiteral("short")});
    EXPECT_EQ(readAll(path), QByteArray("short\r\n"));
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("sub/deeper"))).entryList(QDir::Files | QDir::Hidden),
              QStringList({"list.log"}));
}

TEST(KvTextFileTest, ReplacingKeepsModeAndFollowsLinks)
{
    QTemporaryDir dir;
    const QString real = dir.filePath(QStringLiteral("real.txt"));
    const QString link = dir.filePath(QStringLiteral("link.txt"));
    writeAll(real, "old\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(real).constData(), 0640), 0);
    ASSERT_TRUE(QFile::link(real, link));
    TkvTextFile::WriteLines(link, {QStringLiteral("new")});
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readAll(real), QByteArray("new\r\n"));
    struct stat info
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(real).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(KvTextFileTest, FailuresNameThePathAndTheCause)
{
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("plain"));
    writeAll(plain, "x");
    const QString under = plain + QStringLiteral("/x.txt");
    try {
        TkvTextFile::WriteLines(under, {QStringLiteral("a")});
        FAIL() << "no error";
    } catch (const TkvFileError &error) {
        EXPECT_EQ(QString::fromUtf8(error.what()),
                  QStringLiteral("Cannot create file \"%1\". Not a directory.").arg(under));
    }
    const QString missing = dir.filePath(QStringLiteral("missing.txt"));
    try {
        TkvTextFile::ReadBytes(missing);
        FAIL() << "no error";
    } catch (const TkvFileError &error) {
        EXPECT_EQ(QString::fromUtf8(error.what()),
                  QStringLiteral("Cannot open file \"%1\". No such file or directory.").arg(missing));
    }
    EXPECT_THROW(TkvTextFile::ReadBytes(dir.path()), TkvFileError);
    const QString tooLong = dir.filePath(QString(300, QLatin1Char('n')));
    EXPECT_THROW(TkvTextFile::WriteLines(tooLong, {QStringLiteral("a")}), TkvFileError);
    // The longest name the file system takes is written.
    const QString longest = dir.filePath(QString(255, QLatin1Char('m')));
    TkvTextFile::WriteLines(longest, {QStringLiteral("a")});
    EXPECT_EQ(readAll(longest), QByteArray("a\r\n"));
    EXPECT_THROW(TkvTextFile::WriteLines(QString(), {QStringLiteral("a")}), TkvFileError);
}

TEST(KvTextFileTest, FifoIsRefusedInsteadOfBlocking)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_THROW(TkvTextFile::ReadBytes(fifo), TkvFileError);
}

TEST(KvTextFileTest, FullDiskLeavesTheOldFileWhole)
{
    // A child process with a file-size limit stands for a disk that fills up.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("project.txt"));
    writeAll(path, "Source=/kept\r\n");
    const int code = RunWithFileSizeLimit(16, [&] {
        try {
            TkvTextFile::WriteLines(path, {QString(100, QLatin1Char('y'))});
        } catch (const TkvFileError &error) {
            const bool named =
                QString::fromUtf8(error.what()).startsWith(QStringLiteral("Cannot create file \"%1\"").arg(path));
            return named ? 3 : 4;
        }
        return 5;
    });
    EXPECT_EQ(code, 3);
    EXPECT_EQ(readAll(path), QByteArray("Source=/kept\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"project.txt"}));
}

TEST(KvTextFileTest, WriteBytesAppendsOrTruncatesInPlace)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("b.bin"));
    TkvTextFile::WriteBytes(path, "12345", false);
    TkvTextFile::WriteBytes(path, "67", true);
    EXPECT_EQ(readAll(path), QByteArray("1234567"));
    TkvTextFile::WriteBytes(path, "ab", false);
    EXPECT_EQ(readAll(path), QByteArray("ab"));
    TkvTextFile::WriteBytes(path, QByteArray(), false);
    EXPECT_EQ(readAll(path), QByteArray());
    EXPECT_THROW(TkvTextFile::WriteBytes(dir.filePath(QStringLiteral("no/such/file")), "x", false), TkvFileError);
}

} // namespace
