#include "kvConvertor.h"

#include "RecordingConvertor.h"
#include "batchTestProject.h"
#include "kvFileName.h"
#include "testHome.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class KvConvertorTargetTest : public TkvFolderTest
{
protected:
    void SetUp() override
    {
        TkvFolderTest::SetUp();
        batch.SourceDir = root + QStringLiteral("in/");
        batch.TargetDir = root + QStringLiteral("out/");
    }

    /// A converter of a run started now: with the project's options as they are at this moment.
    std::shared_ptr<TkvConvertor> convertor()
    {
        return TkvConvertor::CreateChain(&batch, batch.TargetDir, {}, RunContextOf(project));
    }

    /// The target path of `fileName` as the next entry of the fixture's job.
    QString target(const QString &fileName) { return targetIn(batch, fileName); }

    /// The target path of `fileName` as the first entry of a run of its own, into the same folders.
    QString targetInNewRun(const QString &fileName)
    {
        TkvBatch job;
        job.SourceDir = batch.SourceDir;
        job.TargetDir = batch.TargetDir;
        return targetIn(job, fileName);
    }

    QString targetIn(TkvBatch &job, const QString &fileName)
    {
        TkvNode node;
        node.FileName = fileName;
        const QString path =
            TkvConvertor::CreateChain(&job, job.TargetDir, {}, RunContextOf(project))->ComputeTargetPath(job, node);
        lastStatus = node.Status;
        lastMessage = node.Message;
        return path;
    }

    BatchTestProject project;
    TkvBatch batch;
    int lastStatus = 0;
    QString lastMessage;
};

} // namespace

TEST_F(KvConvertorTargetTest, KeepsSubfoldersAndReplacesTheExtension)
{
    EXPECT_EQ(target(root + QStringLiteral("in/a/b/page.htm")), root + QStringLiteral("out/a/b/page.mht"));
    EXPECT_TRUE(QFileInfo(root + QStringLiteral("out/a/b")).isDir()) << "missing folders are created";
    EXPECT_EQ(target(root + QStringLiteral("in/v1.2/read.me.html")), root + QStringLiteral("out/v1.2/read.me.mht"));
    EXPECT_EQ(target(root + QStringLiteral("in/noext")), root + QStringLiteral("out/noext.mht"));
    EXPECT_EQ(target(root + QStringLiteral("in/a:b.htm")), root + QStringLiteral("out/a:b.mht"));
    // A target folder written without its separator, and a file outside the source folder.
    batch.TargetDir = root + QStringLiteral("flat");
    EXPECT_EQ(target(QStringLiteral("/elsewhere/x/dropped.htm")), root + QStringLiteral("flat/dropped.mht"));
    project->SetOption(QStringLiteral("KeepTargetSubdirs"), QStringLiteral("False"));
    batch.TargetDir = root + QStringLiteral("out/");
    EXPECT_EQ(target(root + QStringLiteral("in/a/b/page.htm")), root + QStringLiteral("out/page.mht"));
}

TEST_F(KvConvertorTargetTest, WebAddressesBecomeFlatNames)
{
    batch.SourceDir.clear();
    const auto name = [this](const char *address) {
        return targetInNewRun(QString::fromUtf8(address)).mid((root + QStringLiteral("out/")).size());
    };
    EXPECT_EQ(name("http://srv/dir/page.htm"), QStringLiteral("__srv_dir_page.mht"));
    EXPECT_EQ(name("https://srv:8080/a\\b"), QStringLiteral("__srv_8080_a_b.mht"));
    // The extension is only ever in the last segment of the path: a dot in the host, in a folder or in
    // the query is part of the name, and addresses that differ get different names.
    EXPECT_EQ(name("http://127.0.0.1:18080/frameself"), QStringLiteral("__127.0.0.1_18080_frameself.mht"));
    EXPECT_EQ(name("http://127.0.0.1:18080/deep?d=0"), QStringLiteral("__127.0.0.1_18080_deep?d=0.mht"));
    EXPECT_EQ(name("http://127.0.0.1:18080/deep?d=0.5"), QStringLiteral("__127.0.0.1_18080_deep?d=0.5.mht"));
    EXPECT_EQ(name("http://srv/page.htm?v=1.2/x"), QStringLiteral("__srv_page?v=1.2_x.mht"));
    EXPECT_EQ(name("http://www.example.org"), QStringLiteral("__www.example.org.mht"));
    EXPECT_EQ(name("http://www.example.org/"), QStringLiteral("__www.example.org_.mht"));
    EXPECT_EQ(name("http://srv/v1.2/"), QStringLiteral("__srv_v1.2_.mht"));
    EXPECT_EQ(name("http://srv/v1.2/readme"), QStringLiteral("__srv_v1.2_readme.mht"));
    EXPECT_EQ(name("http://srv/a.b.html#part.2"), QStringLiteral("__srv_a.b.mht")) << "the fragment is left out";
}

TEST_F(KvConvertorTargetTest, ExistingTargetIsOverwrittenSkippedOrKeptBeside)
{
    const QString existing = root + QStringLiteral("out/page.mht");
    BatchWriteFile(existing, "old");
    const QString source = root + QStringLiteral("in/page.htm");
    EXPECT_EQ(targetInNewRun(source), existing) << "overwrite is the default";
    project->SetOption(QStringLiteral("IsOverwrite"), QStringLiteral("1"));
    EXPECT_EQ(targetInNewRun(source), existing);
    for (const char *skip : {"skip", "SKIP"}) {
        project->SetOption(QStringLiteral("IsOverwrite"), QString::fromLatin1(skip));
        EXPECT_EQ(targetInNewRun(source), QString());
        EXPECT_EQ(lastStatus, TkvNode::Success);
        EXPECT_TRUE(lastMessage.isEmpty());
    }
    // Keep both never replaces anything: each later run finds the next free tagged name.
    project->SetOption(QStringLiteral("IsOverwrite"), QStringLiteral("False"));
    EXPECT_EQ(targetInNewRun(source), root + QStringLiteral("out/-web2arc-page.mht"));
    BatchWriteFile(root + QStringLiteral("out/-web2arc-page.mht"), "older");
    EXPECT_EQ(targetInNewRun(source), root + QStringLiteral("out/-web2arc-page-2.mht"));
    BatchWriteFile(root + QStringLiteral("out/-web2arc-page-2.mht"), "second");
    EXPECT_EQ(targetInNewRun(source), root + QStringLiteral("out/-web2arc-page-3.mht"));
    EXPECT_EQ(BatchReadFile(existing), "old");
}

TEST_F(KvConvertorTargetTest, PagesOfOneRunNeverShareAnArchive)
{
    for (const bool keepBoth : {false, true}) {
        project->SetOption(QStringLiteral("IsOverwrite"), keepBoth ? QStringLiteral("0") : QStringLiteral("1"));
        TkvBatch job;
        job.SourceDir = batch.SourceDir;
        job.TargetDir = root + (keepBoth ? QStringLiteral("both/") : QStringLiteral("out/"));
        QStringList targets;
        for (const char *name : {"a.htm", "a.html", "a.HTM", "a-2.htm", "sub/a.htm"})
            targets << targetIn(job, root + QStringLiteral("in/") + QString::fromLatin1(name));
        EXPECT_EQ(targets,
                  QStringList({job.TargetDir + QStringLiteral("a.mht"), job.TargetDir + QStringLiteral("a-2.mht"),
                               job.TargetDir + QStringLiteral("a-3.mht"), job.TargetDir + QStringLiteral("a-2-2.mht"),
                               job.TargetDir + QStringLiteral("sub/a.mht")}));
    }
    // An archive of an earlier run under a numbered name is handled by IsOverwrite like any other.
    BatchWriteFile(root + QStringLiteral("out/b-2.mht"), "earlier");
    project->SetOption(QStringLiteral("IsOverwrite"), QStringLiteral("0"));
    EXPECT_EQ(target(root + QStringLiteral("in/b.htm")), root + QStringLiteral("out/b.mht"));
    EXPECT_EQ(target(root + QStringLiteral("in/b.html")), root + QStringLiteral("out/-web2arc-b-2.mht"));
    EXPECT_EQ(BatchReadFile(root + QStringLiteral("out/b-2.mht")), "earlier");
}

TEST_F(KvConvertorTargetTest, APageThatIsItsOwnTargetFailsAndIsLeftAlone)
{
    batch.SourceDir = root + QStringLiteral("notes/");
    batch.TargetDir = batch.SourceDir;
    const QString page = root + QStringLiteral("notes/notes.mht");
    BatchWriteFile(page, "PAGE");
    for (const char *mode : {"1", "0", "skip"}) {
        project->SetOption(QStringLiteral("IsOverwrite"), QString::fromLatin1(mode));
        EXPECT_EQ(targetInNewRun(page), QString()) << mode;
        EXPECT_EQ(lastStatus, TkvNode::Failure) << mode;
        EXPECT_EQ(lastMessage,
                  QStringLiteral("Cannot convert \"%1\" onto itself: its archive would replace the page.").arg(page));
    }
    // The same file under another name (a hard link) is the same page.
    project->SetOption(QStringLiteral("IsOverwrite"), QStringLiteral("1"));
    const QString other = root + QStringLiteral("notes/other.htm");
    ASSERT_EQ(::link(TkvFileName::Encode(page).constData(),
                     TkvFileName::Encode(root + QStringLiteral("notes/other.mht")).constData()),
              0);
    ASSERT_EQ(::link(TkvFileName::Encode(page).constData(), TkvFileName::Encode(other).constData()), 0);
    EXPECT_EQ(targetInNewRun(other), QString());
    EXPECT_EQ(lastStatus, TkvNode::Failure);
    EXPECT_EQ(BatchReadFile(page), "PAGE");
}

TEST_F(KvConvertorTargetTest, UncreatableFolderFailsTheEntryOnce)
{
    BatchWriteFile(root + QStringLiteral("out/blocker"), "a file where a folder should be");
    EXPECT_EQ(target(root + QStringLiteral("in/blocker/page.htm")), QString());
    EXPECT_EQ(lastStatus, TkvNode::Failure);
    EXPECT_EQ(lastMessage, QStringLiteral("CreateDir Failed: ") + root + QStringLiteral("out/blocker/"));
    EXPECT_EQ(batch.Failures, 1);
    EXPECT_EQ(batch.Errors, QStringList{lastMessage});
}

TEST_F(KvConvertorTargetTest, AdjustTargetNameHasTheLastWord)
{
    class Renaming : public TkvConvertor
    {
    public:
        using TkvConvertor::TkvConvertor;

    protected:
        QString AdjustTargetName(const QString &path) override { return path + QStringLiteral(".x"); }
    };
    const TkvConvertorClassOf<Renaming> renamingClass;
    project->ConverterClass = &renamingClass;
    TkvNode node;
    node.FileName = root + QStringLiteral("in/sub/a.htm");
    EXPECT_EQ(convertor()->ComputeTargetPath(batch, node), root + QStringLiteral("out/sub/a.mht.x"));
}

TEST_F(KvConvertorTargetTest, PostProcessingFollowsOnlyASuccess)
{
    RecordingLog log;
    RecordingConvertor::Log = &log;
    project->ConverterClass = &RecordingConvertor::Class();
    project->SetOption(QStringLiteral("RenameSource"), QStringLiteral(".old"));
    project->SetOption(QStringLiteral("KeepFileTime"), QStringLiteral("True"));
    BatchWriteFile(root + QStringLiteral("in/good.htm"));
    BatchWriteFile(root + QStringLiteral("in/fail.htm"));
    // A source time with nanoseconds, which the target must carry exactly.
    const struct timespec times[2] = {{1600000000, 123456789}, {1500000000, 987654321}};
    ASSERT_EQ(::utimensat(AT_FDCWD, TkvFileName::Encode(root + QStringLiteral("in/good.htm")).constData(), times, 0),
              0);

    TkvBatch job;
    job.StartSearch(root + QStringLiteral("in/*.htm"), root + QStringLiteral("out"), false);
    auto context = RunContextOf(project);
    auto head = TkvConvertor::CreateChain(&job, root + QStringLiteral("out"), {}, context);
    head->Start();
    ASSERT_TRUE(context->WaitUntilNoneRunning(std::chrono::seconds(30)));
    RecordingConvertor::Log = nullptr;

    EXPECT_TRUE(QFileInfo::exists(root + QStringLiteral("in/good.htm.old")));
    EXPECT_FALSE(QFileInfo::exists(root + QStringLiteral("in/good.htm")));
    EXPECT_TRUE(QFileInfo::exists(root + QStringLiteral("in/fail.htm"))) << "a failed source is untouched";
    EXPECT_FALSE(QFileInfo::exists(root + QStringLiteral("in/fail.htm.old")));
    struct stat st;
    ASSERT_EQ(::stat(TkvFileName::Encode(root + QStringLiteral("out/good.mht")).constData(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1500000000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 987654321);
    EXPECT_EQ(st.st_atim.tv_sec, 1600000000);
    EXPECT_EQ(st.st_atim.tv_nsec, 123456789);
}

TEST_F(KvConvertorTargetTest, DeleteSourceRemovesItAndTheRenameThenHasNothingToMove)
{
    project->SetOption(QStringLiteral("DeleteSource"), QStringLiteral("True"));
    project->SetOption(QStringLiteral("RenameSource"), QStringLiteral(".done"));
    const QString source = root + QStringLiteral("in/page.htm");
    BatchWriteFile(source);
    BatchWriteFile(root + QStringLiteral("out/page.mht"), "archive");
    TkvNode node;
    node.FileName = source;
    auto run = convertor();
    run->PostProcess(batch, node, root + QStringLiteral("out/page.mht"));
    EXPECT_FALSE(QFileInfo::exists(source));
    EXPECT_FALSE(QFileInfo::exists(source + QStringLiteral(".done")));
    // A web address as the source: every step fails silently.
    node.FileName = QStringLiteral("http://srv/page.htm");
    run->PostProcess(batch, node, root + QStringLiteral("out/page.mht"));
    EXPECT_EQ(BatchReadFile(root + QStringLiteral("out/page.mht")), "archive");
}

TEST_F(KvConvertorTargetTest, RenameSourceNeverReplacesAFileOfTheNewName)
{
    project->SetOption(QStringLiteral("RenameSource"), QStringLiteral(".done"));
    const QString source = root + QStringLiteral("in/b.htm");
    BatchWriteFile(source, "PAGE");
    BatchWriteFile(source + QStringLiteral(".done"), "PREV");
    TkvNode node;
    node.FileName = source;
    convertor()->PostProcess(batch, node, root + QStringLiteral("out/b.mht"));
    EXPECT_EQ(BatchReadFile(source + QStringLiteral(".done")), QByteArray("PREV"));
    EXPECT_EQ(BatchReadFile(source), QByteArray("PAGE")); // the source stays where it was
}
