// The rules of the option lines and the typed getters.
#include "kvProjectFixture.h"

#include "kvFileName.h"

#include <QDir>
#include <QFileInfo>

#include <atomic>
#include <dirent.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using KvProjectTest = KvProjectFixture;

TEST_F(KvProjectTest, NamesMatchWithoutRegardToCaseOrTheBlanksAroundKeysAndValues)
{
    store->SetOptionsText(QStringLiteral("source=/a\r\n Target = /t \r\n=nameless\r\nplain line\r\n Subdir=1\r\n"));
    EXPECT_EQ(store->GetSource(), QStringLiteral("/a"));
    EXPECT_EQ(store->GetOption(QStringLiteral("SOURCE")), QStringLiteral("/a"));
    EXPECT_EQ(store->GetTarget(), QStringLiteral("/t"));
    EXPECT_TRUE(store->GetSubdir()); // as "-P:Source=x, Subdir=1" gives it
    EXPECT_EQ(store->GetOption(QStringLiteral("plain line")), QString());
    EXPECT_EQ(store->GetOption(QStringLiteral("Missing")), QString());
}

TEST_F(KvProjectTest, AFolderWithoutAMaskMeansItsPages)
{
    store->FileMask = QStringLiteral("*.htm?");
    const QString folder = home.path() + QStringLiteral("/src");
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_EQ(store->PagesSource(folder), folder + QStringLiteral("/*.htm?"));
    EXPECT_EQ(store->PagesSource(folder + QLatin1Char('/')), folder + QStringLiteral("/*.htm?"));
    EXPECT_EQ(store->PagesSource(QStringLiteral("file://") + folder), QStringLiteral("file://") + folder + QStringLiteral("/*.htm?"));
    for (const QString &kept : {folder + QStringLiteral("/*.html"), folder + QStringLiteral("/gone"), QString(),
                                QStringLiteral("http://127.0.0.1/")})
        EXPECT_EQ(store->PagesSource(kept), kept) << kept.toStdString();

    // From the command line, the target follows the folder itself, not its parent.
    store->ParseCommandLine(QStringLiteral("-P:Source=") + folder);
    EXPECT_EQ(store->GetTarget(), folder + QLatin1Char('/'));
}

TEST_F(KvProjectTest, ValueIsEverythingAfterTheFirstEqualsSign)
{
    store->SetOptionsText(QStringLiteral("RegExt=a=b==c"));
    EXPECT_EQ(store->GetOption(QStringLiteral("RegExt")), QStringLiteral("a=b==c"));
}

TEST_F(KvProjectTest, FirstOfDuplicateLinesIsReadAndReplacedInPlace)
{
    store->SetOptionsText(QStringLiteral("A=1\nSource=/first\nB=2\nSource=/second\n"));
    EXPECT_EQ(store->GetSource(), QStringLiteral("/first"));
    store->SetOption(QStringLiteral("SOURCE"), QStringLiteral("/new"));
    EXPECT_EQ(store->OptionLines(), QStringList({QStringLiteral("A=1"), QStringLiteral("SOURCE=/new"),
                                                 QStringLiteral("B=2"), QStringLiteral("Source=/second")}));
    store->SetOption(QStringLiteral("Source"), QString()); // deletes the first only
    EXPECT_EQ(store->GetSource(), QStringLiteral("/second"));
}

TEST_F(KvProjectTest, WritingAppendsNewKeysAndEmptyValueDeletesTheLine)
{
    store->SetOptionsText(QStringLiteral("no equals here\nTarget=/t"));
    store->SetOption(QStringLiteral("Subdir"), QStringLiteral("1"));
    store->SetOption(QStringLiteral("Target"), QString());
    store->SetOption(QStringLiteral("Absent"), QString());
    EXPECT_EQ(store->OptionLines(), QStringList({QStringLiteral("no equals here"), QStringLiteral("Subdir=1")}));
    EXPECT_EQ(store->GetTarget(), QString());
    EXPECT_EQ(store->OptionsText(), QStringLiteral("no equals here\r\nSubdir=1\r\n"));
}

TEST_F(KvProjectTest, TextSplitsAtEveryLineBreakKindWithoutTrailingEmptyLine)
{
    store->SetOptionsText(QStringLiteral("A=1\r\nB=2\rC=3\nD=4\r\n\r\nE=5\r\n"));
    EXPECT_EQ(store->OptionLines(), QStringList({QStringLiteral("A=1"), QStringLiteral("B=2"), QStringLiteral("C=3"),
                                                 QStringLiteral("D=4"), QString(), QStringLiteral("E=5")}));
    store->SetOptionsText(QString());
    EXPECT_TRUE(store->OptionLines().isEmpty());
    store->SetOptionsText(QStringLiteral("\n"));
    EXPECT_EQ(store->OptionLines(), QStringList({QString()}));
}

TEST_F(KvProjectTest, GettersUseTheirDefaults)
{
    EXPECT_EQ(store->GetSource(), QString());
    EXPECT_FALSE(store->GetSubdir());
    EXPECT_EQ(store->GetThreadsCount(), 1);
    EXPECT_EQ(store->GetIsOverwrite(), 1);
    EXPECT_FALSE(store->GetKeepFileTime());
    EXPECT_TRUE(store->GetKeepTargetSubdirs());
    EXPECT_FALSE(store->GetDeleteSource());
    EXPECT_EQ(store->GetRenameSource(), QString());
    EXPECT_FALSE(store->GetPureConsole());
    EXPECT_EQ(store->GetDaemon(), 0);
    EXPECT_FALSE(store->GetRunAndClose());

    store->SetOptionsText(QStringLiteral("ThreadsCount=abc\nKeepTargetSubdirs=0\nSubdir=-1\nRenameSource=.done\n"
                                         "KeepFileTime=TRUE\nDeleteSource=1\nThreadsCount=3"));
    EXPECT_EQ(store->GetThreadsCount(), 1); // the first line counts, and it does not parse
    EXPECT_FALSE(store->GetKeepTargetSubdirs());
    EXPECT_TRUE(store->GetSubdir());
    EXPECT_TRUE(store->GetKeepFileTime());
    EXPECT_TRUE(store->GetDeleteSource());
    EXPECT_EQ(store->GetRenameSource(), QStringLiteral(".done"));
}

TEST_F(KvProjectTest, IsOverwriteIsTriState)
{
    const struct
    {
        const char *value;
        int expected;
    } cases[] = {{"skip", 9}, {"SKIP", 9}, {"sKiP", 9}, {"0", 0}, {"false", 0}, {"1", 1}, {"yes", 1}, {"skip ", 9},
                 {"no", 0}, {"skipped", 1}};
    for (const auto &c : cases) {
        store->SetOption(QStringLiteral("IsOverwrite"), QString::fromLatin1(c.value));
        EXPECT_EQ(store->GetIsOverwrite(), c.expected) << c.value;
    }
    store->OverwriteDefault = false;
    store->SetOption(QStringLiteral("IsOverwrite"), QStringLiteral("maybe")); // unreadable: the default
    EXPECT_EQ(store->GetIsOverwrite(), 0);
    store->SetOption(QStringLiteral("IsOverwrite"), QString());
    EXPECT_EQ(store->GetIsOverwrite(), 0);
}

TEST_F(KvProjectTest, RunAndCloseFollowsPureConsoleAndDaemon)
{
    store->SetOptionsText(QStringLiteral("Daemon=5000"));
    EXPECT_TRUE(store->GetRunAndClose());
    store->SetOptionsText(QStringLiteral("Daemon=-5"));
    EXPECT_FALSE(store->GetRunAndClose());
    store->SetOptionsText(QStringLiteral("PureConsole=true"));
    EXPECT_TRUE(store->GetRunAndClose());
    store->SetOptionsText(QStringLiteral("RunAndClose=1\nPureConsole=0"));
    EXPECT_TRUE(store->GetRunAndClose());
}

TEST_F(KvProjectTest, TargetDirCreatesTheFolderAndEndsWithTheDelimiter)
{
    EXPECT_EQ(store->GetTargetDir(), QString());
    EXPECT_EQ(QDir(home.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());

    const QString target = HomeFile(QStringLiteral("out/deep/er"));
    store->SetOption(QStringLiteral("Target"), target);
    EXPECT_EQ(store->GetTargetDir(), target + QLatin1Char('/'));
    EXPECT_TRUE(QFileInfo(target).isDir());
    store->SetOption(QStringLiteral("Target"), target + QLatin1Char('/'));
    EXPECT_EQ(store->GetTargetDir(), target + QLatin1Char('/'));

    // A folder that cannot be made (its parent is a regular file) is still returned.
    WriteAll(HomeFile(QStringLiteral("file")), "x");
    store->SetOption(QStringLiteral("Target"), HomeFile(QStringLiteral("file/sub")));
    EXPECT_EQ(store->GetTargetDir(), HomeFile(QStringLiteral("file/sub/")));
}

TEST_F(KvProjectTest, TargetDirCreatesTheFolderTheRunWritesToAndNothingElse)
{
    // Run from another folder, a file: URL makes its local folder, not "./file:/..." here.
    const QString work = HomeFile(QStringLiteral("work"));
    ASSERT_TRUE(QDir().mkpath(work));
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(work));
    const QString url = QStringLiteral("file://") + HomeFile(QStringLiteral("out%202"));
    store->SetOption(QStringLiteral("Target"), url);
    const QString dir = store->GetTargetDir();
    QDir::setCurrent(previous);
    EXPECT_EQ(dir, url + QLatin1Char('/'));
    EXPECT_TRUE(QFileInfo(HomeFile(QStringLiteral("out 2"))).isDir());
    EXPECT_EQ(QDir(work).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden), QStringList());

    // A name that is not UTF-8 gives exactly one folder, with the name's own bytes (QDir cannot list
    // such a name, so the folder is read with the system's own calls).
    const QByteArray oddName = QFile::encodeName(work) + "/t\xe9";
    store->SetOption(QStringLiteral("Target"), TkvFileName::Decode(oddName));
    store->GetTargetDir();
    std::vector<QByteArray> names;
    if (DIR *dir = ::opendir(QFile::encodeName(work).constData())) {
        while (const dirent *entry = ::readdir(dir))
            if (entry->d_name[0] != '.')
                names.emplace_back(entry->d_name);
        ::closedir(dir);
    }
    EXPECT_EQ(names, std::vector<QByteArray>{QByteArray("t\xe9")});
    ::rmdir(oddName.constData()); // QTemporaryDir cannot remove it either
}

TEST_F(KvProjectTest, ReadersNeverSeeAHalfChangedProject)
{
    // Two whole projects alternate; a reader must always find Source and Target from the same one.
    const QString first = QStringLiteral("Source=/a\nTarget=/a/out");
    const QString second = QStringLiteral("Target=/b/out\nSource=/b");
    store->SetOptionsText(first);
    std::atomic<bool> done{false};
    std::atomic<int> mismatches{0};
    std::thread reader([&] {
        while (!done) {
            const QString joined = store->OptionLines().join(QLatin1Char('|'));
            const QString source = store->GetSource();
            if (joined.count(QLatin1Char('|')) != 1 ||
                (joined.contains(QLatin1String("/a")) && joined.contains(QLatin1String("/b"))) ||
                (source != QLatin1String("/a") && source != QLatin1String("/b"))) {
                ++mismatches;
            }
        }
    });
    for (int i = 0; i < 20000; ++i) {
        store->SetOptionsText(i % 2 ? first : second);
    }
    done = true;
    reader.join();
    EXPECT_EQ(mismatches.load(), 0);
}

} // namespace
