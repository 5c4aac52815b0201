// Whole-file UTF-16LE text.
#include "kvFileUtils.h"
#include "fileSizeLimit.h"
#include "kvFileError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

TEST(KvFileUtilsTest, WritesLittleEndianUnitsWithoutMarkAndReadsThemBack)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("new/folder/info.ext"));
    const QString text = QStringLiteral("A\u00E9\u20AC\U0001F600");
    TkvFileUtils::WriteFileText(path, text);
    EXPECT_EQ(readAll(path), QByteArray("A\0\xE9\0\xAC\x20\x3D\xD8\x00\xDE", 10));
    EXPECT_EQ(TkvFileUtils::ReadFileText(path), text);
}

TEST(KvFileUtilsTest, AppendAddsAndReplaceLeavesExactlyTheNewText)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.ext"));
    TkvFileUtils::WriteFileText(path, QStringLiteral("long old text"));
    TkvFileUtils::WriteFileText(path, QStringLiteral("+"), 2, true);
    EXPECT_EQ(TkvFileUtils::ReadFileText(path), QStringLiteral("long old text+"));
    TkvFileUtils::WriteFileText(path, QStringLiteral("new"));
    EXPECT_EQ(TkvFileUtils::ReadFileText(path), QStringLiteral("new"));
    TkvFileUtils::WriteFileText(path, QString());
    EXPECT_EQ(readAll(path), QByteArray());
    EXPECT_EQ(TkvFileUtils::ReadFileText(path), QString());
}

TEST(KvFileUtilsTest, OddLastByteIsDropped)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("odd"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("a\0b", 3));
    file.close();
    EXPECT_EQ(TkvFileUtils::ReadFileText(path), QStringLiteral("a"));
}

TEST(KvFileUtilsTest, ErrorsNameTheFile)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("missing.ext"));
    try {
        TkvFileUtils::ReadFileText(missing);
        FAIL() << "no error";
    } catch (const std::runtime_error &error) {
        EXPECT_EQ(QString::fromUtf8(error.what()),
                  QStringLiteral("Cannot open file \"%1\". No such file or directory.").arg(missing));
    }
    const QString plain = dir.filePath(QStringLiteral("plain"));
    TkvFileUtils::WriteFileText(plain, QStringLiteral("x"));
    const QString under = plain + QStringLiteral("/sub/f.ext");
    try {
        TkvFileUtils::WriteFileText(under, QStringLiteral("x"));
        FAIL() << "no error";
    } catch (const std::runtime_error &error) {
        EXPECT_EQ(QString::fromUtf8(error.what()),
                  QStringLiteral("Cannot create file \"%1\". Not a directory.").arg(under));
    }
    EXPECT_THROW(TkvFileUtils::ReadFileText(plain, 1), std::invalid_argument);
    EXPECT_THROW(TkvFileUtils::WriteFileText(plain, QStringLiteral("y"), 4), std::invalid_argument);
    EXPECT_EQ(TkvFileUtils::ReadFileText(plain), QStringLiteral("x")); // untouched by the refused write
}

TEST(KvFileUtilsTest, ATextThatCannotBeWrittenWholeLeavesTheOldOne)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("web2arc.ext"));
    TkvFileUtils::WriteFileText(path, QStringLiteral("counters"));
    const int code = RunWithFileSizeLimit(4096, [&] {
        try {
            TkvFileUtils::WriteFileText(path, QString(3000, QLatin1Char('x')));
        } catch (const TkvFileError &) {
            return 0;
        }
        return 1;
    });
    EXPECT_EQ(code, 0) << "1: the write reported success";
    EXPECT_EQ(TkvFileUtils::ReadFileText(path), QStringLiteral("counters"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("web2arc.ext")});
}

} // namespace
