#include "kvFileName.h"
#include "kvWildcard.h"

#include "batchTestProject.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>

TEST(KvFileNameTest, EveryByteSequenceSurvivesTheRoundTrip)
{
    const QByteArray samples[] = {
        QByteArray("/plain/ascii.htm"),
        QByteArray("/utf8/caf\xc3\xa9/\xf0\x9f\x98\x80.htm"),
        QByteArray("/latin1/caf\xe9.htm"),
        QByteArray("/overlong/\xc0\xaf.htm"),
        QByteArray("/surrogate/\xed\xa0\x80.htm"),
        QByteArray("/truncated/\xe2\x82"),
        QByteArray("/toolarge/\xf4\x90\x80\x80"),
        QByteArray("\xff\xfe\x80"),
    };
    for (const QByteArray &bytes : samples)
        EXPECT_EQ(TkvFileName::Encode(TkvFileName::Decode(bytes)), bytes) << bytes.toHex().constData();
    // Valid UTF-8 decodes to the same text as usual; a stray byte becomes one lone surrogate.
    EXPECT_EQ(TkvFileName::Decode(QByteArray("/caf\xc3\xa9")), QStringLiteral("/caf\u00e9"));
    const QString latin = TkvFileName::Decode(QByteArray("a\xe9"));
    ASSERT_EQ(latin.size(), 2);
    EXPECT_EQ(latin[1].unicode(), 0xDCE9);
    // A real character outside the BMP is not mistaken for an escaped byte.
    EXPECT_EQ(TkvFileName::Encode(QString::fromUtf8("\xf0\x9f\x98\x80")), QByteArray("\xf0\x9f\x98\x80"));
}

TEST(KvFileNameTest, RenameNoReplaceMovesOnlyToAFreeName)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString page = dir.filePath(QStringLiteral("b.htm"));
    const QString taken = dir.filePath(QStringLiteral("b.htm.done"));
    BatchWriteFile(page, "PAGE");
    BatchWriteFile(taken, "PREV");
    errno = 0;
    EXPECT_FALSE(TkvFileName::RenameNoReplace(page, taken));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(BatchReadFile(taken), QByteArray("PREV"));
    EXPECT_EQ(BatchReadFile(page), QByteArray("PAGE"));

    const QString free = TkvFileName::Decode(TkvFileName::Encode(page) + ".\xe9");
    EXPECT_TRUE(TkvFileName::RenameNoReplace(page, free));
    EXPECT_FALSE(TkvFileName::Exists(page));
    EXPECT_TRUE(TkvFileName::Exists(free));
    TkvFileName::Remove(free); // QTemporaryDir cannot remove a name that is not UTF-8
}

TEST(KvWildcardTest, WholeNameIgnoringCaseWithZeroOrOneForQuestionMark)
{
    const QString mask = QStringLiteral("*.htm?");
    EXPECT_TRUE(TkvWildcard::Matches(mask, QStringLiteral("a.htm")));
    EXPECT_TRUE(TkvWildcard::Matches(mask, QStringLiteral("A.HTML")));
    EXPECT_TRUE(TkvWildcard::Matches(mask, QStringLiteral(".htm")));
    EXPECT_FALSE(TkvWildcard::Matches(mask, QStringLiteral("a.htmlx")));
    EXPECT_FALSE(TkvWildcard::Matches(mask, QStringLiteral("a.htm.bak")));
    EXPECT_FALSE(TkvWildcard::Matches(mask, QStringLiteral("xa.ht")));
    EXPECT_TRUE(TkvWildcard::Matches(QStringLiteral("a*b*c"), QStringLiteral("aXXbYYbc")));
    EXPECT_FALSE(TkvWildcard::Matches(QStringLiteral("a*b*c"), QStringLiteral("aXXbYYcb")));
    EXPECT_TRUE(TkvWildcard::Matches(QStringLiteral("report[1]+.htm"), QStringLiteral("REPORT[1]+.HTM")));
    EXPECT_TRUE(TkvWildcard::Matches(QStringLiteral("\u00c4*"), QStringLiteral("\u00e4rger.htm")));
    EXPECT_FALSE(TkvWildcard::Matches(QString(), QStringLiteral("a.htm")));
    EXPECT_TRUE(TkvWildcard::Matches(QStringLiteral("*"), QString()));
}
