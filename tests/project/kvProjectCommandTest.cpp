// The command line, project files, the commands that ask for a file, and the recent-projects list.
#include "kvProjectFixture.h"

#include "kvInfo.h"

#include <QDir>
#include <QFileInfo>

#include <stdexcept>

namespace {

/// Answers the choosers from prepared values and records what it was asked.
class TkvFakeChooser : public TkvChooser
{
public:
    bool OpenFileDialog(const QString &filter, QString &path, bool multiple) override
    {
        ++opens;
        lastFilter = filter;
        lastPath = path;
        lastMultiple = multiple;
        if (answer.isEmpty()) {
            return false;
        }
        path = answer;
        return true;
    }
    bool SaveFileDialog(const QString &filter, const QString &defaultExt, QString &path) override
    {
        ++saves;
        lastFilter = filter;
        lastExt = defaultExt;
        lastPath = path;
        if (answer.isEmpty()) {
            return false;
        }
        path = answer;
        return true;
    }

    QString answer; ///< empty: the user cancels
    int opens = 0;
    int saves = 0;
    QString lastFilter, lastPath, lastExt;
    bool lastMultiple = true;
};

class KvProjectCommandTest : public KvProjectFixture
{
protected:
    QString DefaultProject() const { return HomeFile(QStringLiteral("web2arc.batch-web2arc")); }
    QString RecentList() const { return HomeFile(QStringLiteral("web2arc.log")); }

    /// Ends the store (which writes the recent list) and starts a new one that reads it.
    void RestartStore()
    {
        store.reset();
        store = MakeStore();
    }

    TkvFakeChooser chooser;
};

TEST_F(KvProjectCommandTest, InlineOptionsSplitAtCommasAndSemicolonsAndTargetFollowsSource)
{
    EXPECT_TRUE(store->ParseCommandLine(QStringLiteral("-P:Source=/in,Subdir=1;ThreadsCount=2")));
    EXPECT_EQ(store->InlineOptions, QStringLiteral("Source=/in\r\nSubdir=1\r\nThreadsCount=2"));
    EXPECT_EQ(store->OptionLines(), QStringList({QStringLiteral("Source=/in"), QStringLiteral("Subdir=1"),
                                                 QStringLiteral("ThreadsCount=2"), QStringLiteral("Target=/")}));
    EXPECT_EQ(store->ProjectFile, QString());
    EXPECT_TRUE(store->GetSubdir());
    EXPECT_EQ(store->GetThreadsCount(), 2);

    // A given Target stays; without TargetFollowsSource none is added.
    auto second = MakeStore();
    second->ParseCommandLine(QStringLiteral("/p:Source=/in/x.htm;Target=/out"));
    EXPECT_EQ(second->GetTarget(), QStringLiteral("/out"));
    auto third = MakeStore();
    third->TargetFollowsSource = false;
    third->ParseCommandLine(QStringLiteral("-pSource=/in/x.htm"));
    EXPECT_EQ(third->OptionLines(), QStringList({QStringLiteral("Source=/in/x.htm")}));
}

TEST_F(KvProjectCommandTest, EmptyInlineOptionsAndIgnoredParametersLoadTheDefaultProject)
{
    WriteAll(DefaultProject(), "Source=/default\r\n");
    for (const char *param : {"", "a", "-", "-P", "-P:", "-x", "-Xsomething", "/q"}) {
        auto project = MakeStore();
        EXPECT_TRUE(project->ParseCommandLine(QString::fromLatin1(param))) << param;
        EXPECT_EQ(project->ProjectFile, DefaultProject()) << param;
        EXPECT_EQ(project->GetSource(), QStringLiteral("/default")) << param;
        EXPECT_EQ(project->InlineOptions, QString()) << param;
    }
}

TEST_F(KvProjectCommandTest, NoParameterAndNoDefaultProjectThenSaveWritesTheDefaultPath)
{
    EXPECT_TRUE(store->ParseCommandLine(QString()));
    EXPECT_TRUE(store->OptionLines().isEmpty());
    EXPECT_EQ(store->ProjectFile, DefaultProject());
    EXPECT_FALSE(QFileInfo::exists(DefaultProject()));

    store->Chooser = &chooser;
    store->SetOption(QStringLiteral("Source"), QStringLiteral("/päge/*.htm?"));
    store->SetOption(QStringLiteral("Subdir"), QStringLiteral("False"));
    store->SaveProject();
    EXPECT_EQ(chooser.saves, 0);
    EXPECT_EQ(ReadAll(DefaultProject()), QByteArray("Source=/p\xC3\xA4ge/*.htm?\r\nSubdir=False\r\n"));
    EXPECT_EQ(store->RecentFiles, QStringList({DefaultProject()}));
}

TEST_F(KvProjectCommandTest, SwitchesIAndUOpenTheirLinkAndEndTheProcess)
{
    // Addresses go to a program that does nothing instead of a browser.
    const QByteArray savedOpener = qgetenv("WEB2ARC_OPENER");
    qputenv("WEB2ARC_OPENER", "/bin/true");
    TkvInfo info(TkvProductInfo{store->Title, store->Version, store->ShortName});
    Info = &info;
    WriteAll(DefaultProject(), "Source=/default\r\n");

    EXPECT_TRUE(store->ParseCommandLine(QStringLiteral("-x"))); // another letter opens nothing
    EXPECT_EQ(info.LastLink, QString());
    store->NewProject();

    EXPECT_FALSE(store->ParseCommandLine(QStringLiteral("/u")));
    const QString uninstall = info.LastLink;
    EXPECT_FALSE(uninstall.isEmpty());
    EXPECT_FALSE(uninstall.contains(QLatin1String("qzx")));

    EXPECT_FALSE(store->ParseCommandLine(QStringLiteral("-Iqzx")));
    EXPECT_NE(info.LastLink, uninstall);
    EXPECT_TRUE(info.LastLink.contains(QLatin1String("qzx"))) << info.LastLink.toStdString();

    // Nothing was loaded.
    EXPECT_TRUE(store->OptionLines().isEmpty());
    EXPECT_EQ(store->ProjectFile, QString());
    Info = nullptr;

    // Without an information object the switches still end the process.
    EXPECT_FALSE(store->ParseCommandLine(QStringLiteral("-U")));
    EXPECT_TRUE(store->OptionLines().isEmpty());
    if (savedOpener.isEmpty()) {
        qunsetenv("WEB2ARC_OPENER");
    } else {
        qputenv("WEB2ARC_OPENER", savedOpener);
    }
}

TEST_F(KvProjectCommandTest, ProjectPathLoadsOnlyWithTheExactExtension)
{
    const QString project = HomeFile(QStringLiteral("a.batch-web2arc"));
    WriteAll(project, "Source=/site/*.htm?\r\nThreadsCount=4\r\n");
    EXPECT_TRUE(store->ParseCommandLine(project));
    EXPECT_EQ(store->ProjectFile, project);
    EXPECT_EQ(store->OptionLines(),
              QStringList({QStringLiteral("Source=/site/*.htm?"), QStringLiteral("ThreadsCount=4")}));
    EXPECT_EQ(store->RecentFiles, QStringList({project}));

    const QString upper = HomeFile(QStringLiteral("a.BATCH-WEB2ARC"));
    WriteAll(upper, "Source=/never\r\n");
    auto second = MakeStore();
    second->ParseCommandLine(upper);
    EXPECT_EQ(second->ProjectFile, QString());
    EXPECT_EQ(second->GetSource(), upper);
    EXPECT_EQ(second->GetTarget(), home.path() + QLatin1Char('/'));

    EXPECT_FALSE(store->IsProjectFile(QString()));
    EXPECT_FALSE(store->IsProjectFile(QStringLiteral(".batch-web2arc/x.batch-web2arc")));
    EXPECT_FALSE(store->IsProjectFile(QStringLiteral("a.batch-web2arc.batch-web2arc")));
    EXPECT_FALSE(store->IsProjectFile(QStringLiteral("a.batch-web2arc.bak")));
    EXPECT_TRUE(store->IsProjectFile(QStringLiteral(".batch-web2arc")));
}

TEST_F(KvProjectCommandTest, PagePathBecomesSourceAndItsFolderTheTarget)
{
    WriteAll(DefaultProject(), "Target=/kept\r\n");
    EXPECT_TRUE(store->ParseCommandLine(QStringLiteral("/pages/index.htm")));
    EXPECT_EQ(store->ProjectFile, QString());
    EXPECT_EQ(store->GetSource(), QStringLiteral("/pages/index.htm"));
    EXPECT_EQ(store->GetTarget(), QStringLiteral("/pages/"));

    // The window loads the start project again: the path given still wins over the default project.
    store->LoadStartProject();
    EXPECT_EQ(store->ProjectFile, QString());
    EXPECT_EQ(store->OptionLines(),
              QStringList({QStringLiteral("Source=/pages/index.htm"), QStringLiteral("Target=/pages/")}));

    // A bare name has no folder part, so no Target line appears.
    auto second = MakeStore();
    second->ParseCommandLine(QStringLiteral("index.htm"));
    EXPECT_EQ(second->OptionLines(), QStringList({QStringLiteral("Source=index.htm")}));

    // A web address is kept as written, and its "folder" is no place to write to: no Target, as
    // neither from inline options. A file: URL is a local place and gives its folder.
    auto third = MakeStore();
    third->ParseCommandLine(QStringLiteral("http://srv/dir/page.htm"));
    EXPECT_EQ(third->OptionLines(), QStringList({QStringLiteral("Source=http://srv/dir/page.htm")}));
    auto fourth = MakeStore();
    fourth->ParseCommandLine(QStringLiteral("-P:Source=HTTPS://srv/a.htm,PureConsole=1"));
    EXPECT_EQ(fourth->GetTarget(), QString());
    auto fifth = MakeStore();
    fifth->ParseCommandLine(QStringLiteral("-P:Source=file:///srv/a.htm"));
    EXPECT_EQ(fifth->GetTarget(), QStringLiteral("file:///srv/"));
}

TEST_F(KvProjectCommandTest, AbsolutePathsAreNotTakenForSlashSwitches)
{
    for (const char *path : {"/usr/share/x.htm", "/Install/a.htm", "/Pages", "/p/a.htm"}) {
        auto project = MakeStore();
        EXPECT_TRUE(project->ParseCommandLine(QString::fromLatin1(path))) << path;
        EXPECT_EQ(project->GetSource(), QString::fromLatin1(path)) << path;
        EXPECT_EQ(project->InlineOptions, QString()) << path;
    }
}

TEST_F(KvProjectCommandTest, MissingOrUnreadableProjectChangesNothing)
{
    store->SetOptionsText(QStringLiteral("Source=/before"));
    store->RecentFiles = QStringList({QStringLiteral("/old.batch-web2arc")});
    QDir(home.path()).mkdir(QStringLiteral("dir.batch-web2arc"));
    for (const QString &path :
         {HomeFile(QStringLiteral("missing.batch-web2arc")), HomeFile(QStringLiteral("dir.batch-web2arc")),
          HomeFile(QStringLiteral("missing/notdir.batch-web2arc"))}) {
        store->ProjectFile = path;
        store->OpenProject(true);
        EXPECT_EQ(store->ProjectFile, path);
        EXPECT_EQ(store->OptionLines(), QStringList({QStringLiteral("Source=/before")}));
        EXPECT_EQ(store->RecentFiles, QStringList({QStringLiteral("/old.batch-web2arc")}));
    }
}

TEST_F(KvProjectCommandTest, ProjectFilesReadInEveryEncoding)
{
    const QString path = HomeFile(QStringLiteral("enc.batch-web2arc"));
    const struct
    {
        QByteArray bytes;
        QString source;
    } cases[] = {
        {QByteArray("\xEF\xBB\xBFSource=/\xC3\xA9\r\n"), QStringLiteral("/\u00E9")},
        {QByteArray("\xFF\xFES\0=\0/\0\xE9\0\r\0\n\0", 14), QStringLiteral("/\u00E9")},
        {QByteArray("\xFE\xFF\0S\0=\0/\0\xE9", 10), QStringLiteral("/\u00E9")},
        {QByteArray("Source=/caf\xE9\r"), QStringLiteral("/caf\u00E9")},      // Windows-1252
        {QByteArray("Source=/\xE2\x82\xAC\rX=1"), QStringLiteral("/\u20AC")}, // UTF-8, CR only
    };
    for (const auto &c : cases) {
        WriteAll(path, c.bytes);
        store->ProjectFile = path;
        store->OpenProject(true);
        EXPECT_EQ(store->GetOption(store->OptionLines().value(0).section(QLatin1Char('='), 0, 0)), c.source)
            << c.bytes.toHex().constData();
    }
}

TEST_F(KvProjectCommandTest, ProjectRoundTripKeepsEveryLine)
{
    const QString path = HomeFile(QStringLiteral("round.batch-web2arc"));
    const QStringList lines = {QStringLiteral("Source=/in/\u4E2D\u6587/*.htm?"), QStringLiteral("plain"), QString(),
                               QStringLiteral("RegExt=^a=b$"), QStringLiteral("Target=/out")};
    store->SetOptionLines(lines);
    store->ProjectFile = path;
    store->StoreOptions(true);
    store->NewProject();
    EXPECT_TRUE(store->OptionLines().isEmpty());
    EXPECT_EQ(store->ProjectFile, QString());
    store->ProjectFile = path;
    store->OpenProject(true);
    EXPECT_EQ(store->OptionLines(), lines);
}

TEST_F(KvProjectCommandTest, WriteFailureNamesThePathAndKeepsTheRecentList)
{
    WriteAll(HomeFile(QStringLiteral("plain")), "x");
    const QString path = HomeFile(QStringLiteral("plain/p.batch-web2arc"));
    store->ProjectFile = path;
    store->SetOption(QStringLiteral("Source"), QStringLiteral("/a"));
    try {
        store->StoreOptions(true);
        FAIL() << "no error";
    } catch (const std::runtime_error &error) {
        EXPECT_EQ(QString::fromUtf8(error.what()),
                  QStringLiteral("Cannot create file \"%1\". Not a directory.").arg(path));
    }
    EXPECT_EQ(store->ProjectFile, path);
    EXPECT_TRUE(store->RecentFiles.isEmpty());
}

TEST_F(KvProjectCommandTest, OpenCommandAsksOnlyThroughTheChooser)
{
    const QString project = HomeFile(QStringLiteral("b.batch-web2arc"));
    WriteAll(project, "Source=/b\r\n");
    store->ProjectFile = QStringLiteral("/start.batch-web2arc");
    store->OpenProject(false); // no chooser: nothing happens
    EXPECT_EQ(store->ProjectFile, QStringLiteral("/start.batch-web2arc"));

    store->Chooser = &chooser;
    store->OpenProject(false); // cancelled
    EXPECT_EQ(chooser.opens, 1);
    EXPECT_EQ(chooser.lastFilter, store->ProjectFilter + QLatin1Char('|') + store->OpenFilter);
    EXPECT_EQ(chooser.lastPath, QStringLiteral("/start.batch-web2arc"));
    EXPECT_FALSE(chooser.lastMultiple);
    EXPECT_EQ(store->ProjectFile, QStringLiteral("/start.batch-web2arc"));
    EXPECT_TRUE(store->OptionLines().isEmpty());

    chooser.answer = project;
    store->OpenProject(false);
    EXPECT_EQ(store->ProjectFile, project);
    EXPECT_EQ(store->GetSource(), QStringLiteral("/b"));
}

TEST_F(KvProjectCommandTest, SaveAsAsksAndANameWithoutTheExtensionIsLaterTakenAsSource)
{
    store->Chooser = &chooser;
    store->SetOption(QStringLiteral("Source"), QStringLiteral("/s"));
    store->SaveProject(); // no project file yet: asks, the user cancels
    EXPECT_EQ(chooser.saves, 1);
    EXPECT_EQ(chooser.lastFilter, store->ProjectFilter);
    EXPECT_EQ(chooser.lastExt, store->ProjectExt);
    EXPECT_EQ(store->ProjectFile, QString());

    const QString odd = HomeFile(QStringLiteral("saved.txt"));
    chooser.answer = odd;
    store->SaveProjectAs();
    EXPECT_EQ(store->ProjectFile, odd);
    EXPECT_EQ(ReadAll(odd), QByteArray("Source=/s\r\n"));
    EXPECT_EQ(store->RecentFiles, QStringList({odd}));

    auto later = MakeStore();
    later->ProjectFile = odd;
    later->OpenProject(true);
    EXPECT_EQ(later->ProjectFile, QString());
    EXPECT_EQ(later->GetSource(), odd);
}

TEST_F(KvProjectCommandTest, NewProjectKeepsInlineOptionsAndRecentFiles)
{
    store->ParseCommandLine(QStringLiteral("-P:Source=/in"));
    store->RecentFiles = QStringList({QStringLiteral("/r.batch-web2arc")});
    store->NewProject();
    EXPECT_TRUE(store->OptionLines().isEmpty());
    EXPECT_EQ(store->ProjectFile, QString());
    EXPECT_EQ(store->InlineOptions, QStringLiteral("Source=/in"));
    EXPECT_EQ(store->RecentFiles, QStringList({QStringLiteral("/r.batch-web2arc")}));
}

TEST_F(KvProjectCommandTest, RecentListSurvivesTheStoreAndKeepsItsOrder)
{
    const QString a = HomeFile(QStringLiteral("a.batch-web2arc"));
    const QString b = HomeFile(QStringLiteral("b.batch-web2arc"));
    WriteAll(a, "Source=/a\r\n");
    WriteAll(b, "Source=/b\r\n");
    for (const QString &path : {a, b, a}) {
        store->ProjectFile = path;
        store->OpenProject(true);
    }
    EXPECT_EQ(store->RecentFiles, QStringList({b, a}));
    store->ProjectFile = b.toUpper(); // the same path in other letters is not added again
    store->AddRecent();
    EXPECT_EQ(store->RecentFiles, QStringList({b, a}));

    RestartStore();
    EXPECT_EQ(ReadAll(RecentList()), (b + QLatin1String("\r\n") + a + QLatin1String("\r\n")).toUtf8());
    EXPECT_EQ(store->RecentFiles, QStringList({b, a}));
    EXPECT_EQ(store->RecentListPath(), RecentList());

    // An emptied list is written too.
    store->RecentFiles.clear();
    RestartStore();
    EXPECT_EQ(ReadAll(RecentList()), QByteArray());
    EXPECT_TRUE(store->RecentFiles.isEmpty());
}

TEST_F(KvProjectCommandTest, UnreadableRecentListStartsEmptyAndIsNotReported)
{
    store.reset();
    QFile::remove(RecentList());
    ASSERT_TRUE(QDir(home.path()).mkdir(QStringLiteral("web2arc.log")));
    store = MakeStore();
    EXPECT_TRUE(store->RecentFiles.isEmpty());
    store->RecentFiles = QStringList({QStringLiteral("/x")});
    store.reset(); // the write fails quietly
    EXPECT_TRUE(QFileInfo(RecentList()).isDir());

    // The home folder itself is created when missing.
    qputenv("WEB2ARC_HOME", QFile::encodeName(HomeFile(QStringLiteral("new/home"))));
    store = MakeStore();
    store->RecentFiles = QStringList({QStringLiteral("/y")});
    store.reset();
    EXPECT_EQ(ReadAll(HomeFile(QStringLiteral("new/home/web2arc.log"))), QByteArray("/y\r\n"));
}

TEST_F(KvProjectCommandTest, OddCommandLinesDoNotBreakAnything)
{
    const QString longParam = QString(100000, QLatin1Char('x'));
    EXPECT_TRUE(store->ParseCommandLine(longParam));
    EXPECT_EQ(store->GetSource(), longParam);
    auto second = MakeStore();
    const QString undecodable = QFile::decodeName(QByteArray("/tmp/\xFF\xFE.htm"));
    EXPECT_TRUE(second->ParseCommandLine(undecodable));
    // Bytes that are not UTF-8 cannot survive in a QString; the parameter is still taken as a path.
    EXPECT_TRUE(second->GetSource().startsWith(QLatin1String("/tmp/")));
    EXPECT_TRUE(second->GetSource().endsWith(QLatin1String(".htm")));
    auto third = MakeStore();
    EXPECT_TRUE(third->ParseCommandLine(QStringLiteral("-P:;;,=,;")));
    EXPECT_EQ(third->OptionLines(), QStringList({QString(), QString(), QString(), QStringLiteral("="), QString()}));
}

} // namespace
