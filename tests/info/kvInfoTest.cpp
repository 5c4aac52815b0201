#include "kvInfo.h"
#include "kvFolderBirth.h"
#include "kvInfoCodec.h"
#include "kvOpener.h"
#include "testHome.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

const TkvProductInfo product{QStringLiteral("Batch WEB2ARC Converter"), QStringLiteral("2024.16.511.3122"),
                             QStringLiteral("web2arc")};

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray Utf16Le(const QString &text)
{
    QByteArray b;
    for (QChar c : text) {
        b.append(char(c.unicode() & 0xFF));
        b.append(char(c.unicode() >> 8));
    }
    return b;
}

class KvInfoTest : public ::testing::Test
{
protected:
    TkvTestHome home;
    const QStringList &opened = home.Opened();
};

} // namespace

TEST(KvInfoCodecTest, RoundTripsOnlyUnderItsOwnKey)
{
    const QString text = QStringLiteral("R=3\r\nC=1\r\nnon-ASCII=\u00e9\u4e2d\r\n");
    const QString encoded = TkvInfoCodec::Encode(text, 1234567);
    EXPECT_FALSE(encoded.contains(QStringLiteral("R=3")));
    EXPECT_EQ(TkvInfoCodec::Decode(encoded, 1234567), text);
    EXPECT_EQ(TkvInfoCodec::Decode(TkvInfoCodec::Encode(text, -1), -1), text);
    EXPECT_EQ(TkvInfoCodec::Decode(encoded, 1234568), std::nullopt);
    EXPECT_EQ(TkvInfoCodec::Decode(encoded, -1), std::nullopt);

    // Any changed digit fails the checksum; truncated or foreign text is refused.
    QString altered = encoded;
    const qsizetype last = altered.size() - 1;
    altered[last] = altered[last] == QLatin1Char('0') ? QLatin1Char('1') : QLatin1Char('0');
    EXPECT_EQ(TkvInfoCodec::Decode(altered, 1234567), std::nullopt);
    EXPECT_EQ(TkvInfoCodec::Decode(encoded.left(encoded.size() - 2), 1234567), std::nullopt);
    EXPECT_EQ(TkvInfoCodec::Decode(QStringLiteral("R=3\r\n"), 1234567), std::nullopt);
    EXPECT_EQ(TkvInfoCodec::Decode(QString(), 1234567), std::nullopt);
}

TEST(KvFolderBirthTest, DosDateTimePacksFieldsAndRefusesOutOfRange)
{
    const QDateTime t(QDate(2024, 5, 11), QTime(13, 45, 23), Qt::UTC);
    const int32_t date = (44 << 9) | (5 << 5) | 11;
    const int32_t time = (13 << 11) | (45 << 5) | 11; // seconds halved
    EXPECT_EQ(kvFolderBirth::DosDateTime(t), date << 16 | time);
    // The year 2045 sets the top bit: the value is written as a negative number.
    EXPECT_LT(kvFolderBirth::DosDateTime(QDateTime(QDate(2045, 1, 1), QTime(0, 0), Qt::UTC)), 0);
    EXPECT_EQ(kvFolderBirth::DosDateTime(QDateTime(QDate(1979, 12, 31), QTime(23, 59), Qt::UTC)), -1);
    EXPECT_EQ(kvFolderBirth::DosDateTime(QDateTime(QDate(2108, 1, 1), QTime(0, 0), Qt::UTC)), -1);
    EXPECT_EQ(kvFolderBirth::DosDateTime(QDateTime()), -1);
}

TEST(KvFolderBirthTest, BirthTimeOfANewFolderIsNowAndMissingPathsHaveNone)
{
    QTemporaryDir dir;
    const QDateTime birth = kvFolderBirth::BirthTime(dir.path() + QLatin1Char('/'));
    if (!birth.isValid())
        GTEST_SKIP() << "this file system keeps no birth time";
    EXPECT_LT(qAbs(birth.secsTo(QDateTime::currentDateTimeUtc())), 120);
    EXPECT_FALSE(kvFolderBirth::BirthTime(dir.path() + QStringLiteral("/missing")).isValid());
    EXPECT_EQ(kvFolderBirth::BirthDosDateTime(dir.path() + QStringLiteral("/missing")), -1);
}

TEST_F(KvInfoTest, FirstStartWritesTheFileAndLaterStartsCountOn)
{
    const QString file = home.path() + QStringLiteral("/web2arc.ext");
    ASSERT_FALSE(QFile::exists(file));
    int install = 0;
    {
        TkvInfo info(product);
        install = info.InstallNumber;
        EXPECT_EQ(info.InfoFilePath(), file);
        EXPECT_EQ(info.Counters, QStringList{QStringLiteral("R=1")});
        EXPECT_TRUE(QFile::exists(file));
        EXPECT_TRUE(info.LastSaveError.isEmpty());
        info.AddCounter(QStringLiteral("C"), 1);
        info.AddCounter(QStringLiteral("A"), 40);
        info.AddCounter(QStringLiteral("F"), 0); // created with "0"
    }
    // The file is private: nothing of the counters is readable in it.
    EXPECT_FALSE(ReadAll(file).contains(Utf16Le(QStringLiteral("R=1"))));
    TkvInfo again(product);
    EXPECT_EQ(again.InstallNumber, install);
    EXPECT_EQ(again.Counters, (QStringList{QStringLiteral("R=2"), QStringLiteral("C=1"), QStringLiteral("A=40"),
                                           QStringLiteral("F=0")}));
}

TEST_F(KvInfoTest, FileFromAnotherInstallationOrWithoutRunCounterStartsAfresh)
{
    const QString file = home.path() + QStringLiteral("/web2arc.ext");
    int install = 0;
    {
        TkvInfo info(product);
        install = info.InstallNumber;
    }
    WriteAll(file, Utf16Le(TkvInfoCodec::Encode(QStringLiteral("R=50\r\nC=7\r\n"), install + 1)));
    {
        TkvInfo info(product);
        EXPECT_EQ(info.Counters, QStringList{QStringLiteral("R=1")});
    }
    WriteAll(file, Utf16Le(TkvInfoCodec::Encode(QStringLiteral("C=7\r\n"), install)));
    {
        TkvInfo info(product);
        EXPECT_EQ(info.Counters, QStringList{QStringLiteral("R=1")});
    }
    WriteAll(file, QByteArray("\x01", 1)); // odd length: not 2-byte text
    TkvInfo info(product);
    EXPECT_EQ(info.Counters, QStringList{QStringLiteral("R=1")});
}

TEST_F(KvInfoTest, CountersAreMatchedWithoutCaseAndBadValuesCountAsZero)
{
    TkvInfo info(product);
    info.Counters = QStringList{QStringLiteral("R=12"), QStringLiteral("c=x")};
    info.AddCounter(QStringLiteral("r"), 1);
    info.AddCounter(QStringLiteral("C"), 3);
    EXPECT_EQ(info.Counters, (QStringList{QStringLiteral("R=13"), QStringLiteral("c=3")}));
    EXPECT_EQ(info.Counter(QStringLiteral("R")), 13);
    EXPECT_EQ(info.Counter(QStringLiteral("Z")), 0);
}

TEST_F(KvInfoTest, UnwritableFileNeverStopsAStart)
{
    // A home path whose parent is a regular file cannot be created, even by root (ENOTDIR).
    const QString blocker = home.path() + QStringLiteral("/plain");
    WriteAll(blocker, "x");
    qputenv("WEB2ARC_HOME", (blocker + QStringLiteral("/sub")).toUtf8());
    TkvInfo info(product);
    EXPECT_EQ(info.InstallNumber, -1);
    EXPECT_FALSE(info.LastSaveError.isEmpty());
    EXPECT_TRUE(info.LastSaveError.contains(QStringLiteral("web2arc.ext")));
    info.AddCounter(QStringLiteral("C"), 2);
    EXPECT_EQ(info.Counter(QStringLiteral("C")), 2);
    info.OpenLink(QString(), QString(), QString());
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].endsWith(QStringLiteral("&i=-1")));
}

TEST_F(KvInfoTest, WebAddressesCarryActionProductCountersAndInstallNumber)
{
    TkvInfo info(product);
    info.InstallNumber = 1234;
    info.Counters = QStringList{QStringLiteral("R=12"), QStringLiteral("C=3"), QStringLiteral("x=9")};
    const QString tail = QStringLiteral("p=web2arc&v=2024.16.511.3122&c=r12c3&i=1234");

    info.OpenLink(QString(), QString(), QString());
    EXPECT_EQ(info.LastLink, QStringLiteral("http://web2arc.example.org?") + tail);
    info.OpenLink(QStringLiteral("download"), QString(), QString());
    EXPECT_EQ(info.LastLink, QStringLiteral("http://web2arc.example.org/en/web2arc/download.htm?") + tail);
    info.OpenLink(QString(), QStringLiteral("err&e=say \"no\""), QString());
    EXPECT_EQ(info.LastLink, QStringLiteral("http://web2arc.example.org/net/?a=err&e=say no&") + tail);
    info.OpenLink(QString(), QStringLiteral("ins"), QStringLiteral("k=v"));
    EXPECT_EQ(info.LastLink, QStringLiteral("http://web2arc.example.org/net/?a=ins&") + tail + QStringLiteral("&k=v"));
    EXPECT_EQ(opened.size(), 4);
    EXPECT_EQ(opened.back(), info.LastLink);
}

TEST_F(KvInfoTest, SupportMailAndHelpDocument)
{
    TkvInfo info(TkvProductInfo{QStringLiteral("Batch & WEB2ARC & Co"), QStringLiteral("1.2"), QStringLiteral("w")});
    info.InstallNumber = -7;
    info.OpenLink(QStringLiteral("supports"), QString(), QString());
    EXPECT_EQ(info.LastLink, QStringLiteral("mailto:support@web2arc.example.org?subject=Support required for "
                                            "Batch And WEB2ARC & Co 1.2 - -7"));

    info.ExePath = home.path() + QStringLiteral("/bin/web2arc");
    QDir().mkpath(home.path() + QStringLiteral("/bin"));
    info.OpenLink(QStringLiteral("h"), QString(), QString());
    EXPECT_EQ(info.LastLink, home.path() + QStringLiteral("/bin/web2arc.pdf")); // even though missing
    WriteAll(home.path() + QStringLiteral("/bin/web2arc.chm"), "chm");
    info.OpenLink(QStringLiteral("h"), QString(), QString());
    EXPECT_EQ(info.LastLink, home.path() + QStringLiteral("/bin/web2arc.chm"));
}

TEST_F(KvInfoTest, AppExceptionIsCountedAndReportedWithItsTextKeptInOnePart)
{
    TkvInfo info(product);
    info.HandleAppException(std::runtime_error("Cannot open \"/a#b&c?.htm\": 100% gone."));
    EXPECT_EQ(info.Counter(QStringLiteral("E")), 1);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].startsWith(QStringLiteral(
        "http://web2arc.example.org/net/?a=err&e=Cannot open /a%23b%26c%3F.htm: 100%25 gone.&p=web2arc&")))
        << opened[0].toStdString();
}

TEST_F(KvInfoTest, OpenerProgramReceivesTheAddressAsItsOnlyArgument)
{
    const QString log = home.path() + QStringLiteral("/opened.txt");
    const QString script = home.path() + QStringLiteral("/opener.sh");
    WriteAll(script, QStringLiteral("#!/bin/sh\nprintf '%s|%s\\n' \"$1\" \"$#\" >> '%1'\n").arg(log).toUtf8());
    QFile::setPermissions(script, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("WEB2ARC_OPENER", script.toUtf8());
    TkvInfo info(product);
    info.OpenLink(QString(), QStringLiteral("err&e=a b\u00e9"), QString());
    qunsetenv("WEB2ARC_OPENER");
    EXPECT_TRUE(opened.isEmpty()); // the program wins over the hook

    const QByteArray expected = (info.LastLink + QStringLiteral("|1\n")).toUtf8();
    QDeadlineTimer deadline(30000);
    while (ReadAll(log) != expected && !deadline.hasExpired())
        QThread::msleep(10);
    EXPECT_EQ(ReadAll(log), expected);
}
