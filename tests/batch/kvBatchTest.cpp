#include "kvBatch.h"

#include "batchTestProject.h"
#include "kvFileName.h"
#include "kvMatch.h"
#include "testHome.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace {

class KvBatchTest : public TkvFolderTest
{
protected:
    void SetUp() override
    {
        TkvFolderTest::SetUp();
        NameMatcher = &matcher;
    }
    void TearDown() override { NameMatcher = nullptr; }

    QStringList fileNames(TkvBatch &batch)
    {
        QStringList names;
        const auto &nodes = batch.LockNodes();
        for (const auto &node : nodes)
            names << node->FileName.mid(root.size());
        batch.UnlockNodes();
        return names;
    }

    // Runs a search to its end and returns the queued paths relative to the root.
    QStringList search(const QString &source, bool subdirs)
    {
        TkvBatch batch(project.Options());
        batch.StartSearch(source, root + QStringLiteral("out/"), subdirs);
        batch.WaitFor();
        EXPECT_TRUE(batch.IsSearchDone());
        return fileNames(batch);
    }

    // A tree with pages, a non-page, hidden files and folders, a FIFO, links and a link loop.
    void makeTree()
    {
        for (const char *name : {"b.htm", "a.html", "A.HTM", ".hidden.htm", "c.txt", "d.htmlx", "sub1/x.htm",
                                 "sub1/deep/y.html", "sub2/z.htm", ".git/g.htm", "sub1/.hid/h.htm"})
            BatchWriteFile(root + QString::fromLatin1(name));
        ASSERT_EQ(::mkfifo(TkvFileName::Encode(root + QStringLiteral("pipe.htm")).constData(), 0644), 0);
        ASSERT_EQ(::symlink("a.html", TkvFileName::Encode(root + QStringLiteral("link.htm")).constData()), 0);
        ASSERT_EQ(::symlink("missing", TkvFileName::Encode(root + QStringLiteral("dangling.htm")).constData()), 0);
        ASSERT_EQ(::symlink("..", TkvFileName::Encode(root + QStringLiteral("sub1/loop")).constData()), 0);
    }

    TkvMatch matcher;
    BatchTestProject project;
};

// Removes `levels` nested folders named `name` below `top` (too long for a path-based removal).
void removeLongChain(const QString &top, const std::string &name, int levels)
{
    std::vector<int> fds{::open(TkvFileName::Encode(top).constData(), O_RDONLY | O_DIRECTORY)};
    for (int level = 0; level < levels && fds.back() >= 0; ++level)
        fds.push_back(::openat(fds.back(), name.c_str(), O_RDONLY | O_DIRECTORY));
    if (fds.back() >= 0)
        ::unlinkat(fds.back(), "unreachable.htm", 0);
    for (size_t i = fds.size() - 1; i > 0; --i) {
        ::close(fds[i]);
        ::unlinkat(fds[i - 1], name.c_str(), AT_REMOVEDIR);
    }
    ::close(fds[0]);
}

} // namespace

TEST_F(KvBatchTest, UrlToPathTurnsFileUrlsIntoLocalPaths)
{
    EXPECT_EQ(TkvBatch::UrlToPath(QStringLiteral("file:///home/u/a%20b.htm")), QStringLiteral("/home/u/a b.htm"));
    EXPECT_EQ(TkvBatch::UrlToPath(QStringLiteral("file://server/share/x.htm")), QStringLiteral("/server/share/x.htm"));
    EXPECT_EQ(TkvBatch::UrlToPath(QStringLiteral("file:/a/%C3%A4.htm")), QStringLiteral("/a/\u00e4.htm"));
    EXPECT_EQ(TkvBatch::UrlToPath(QStringLiteral("file:///")), QString());
    EXPECT_EQ(TkvBatch::UrlToPath(QStringLiteral("file:")), QString());
    // A byte that is not UTF-8 keeps its value.
    EXPECT_EQ(TkvFileName::Encode(TkvBatch::UrlToPath(QStringLiteral("file:///a%FF.htm"))), QByteArray("/a\xff.htm"));
    for (const char *same : {"/web/*.htm?", "FILE:///a.htm", "http://srv/a%20b.htm", ""})
        EXPECT_EQ(TkvBatch::UrlToPath(QString::fromLatin1(same)), QString::fromLatin1(same));
}

TEST_F(KvBatchTest, ListsFilesInNameOrderThenSubfoldersDepthFirst)
{
    makeTree();
    EXPECT_EQ(search(root + QStringLiteral("*.htm?"), false),
              QStringList({".hidden.htm", "A.HTM", "a.html", "b.htm", "link.htm"}));
    EXPECT_EQ(search(root + QStringLiteral("*.htm?"), true),
              QStringList({".hidden.htm", "A.HTM", "a.html", "b.htm", "link.htm", "sub1/x.htm", "sub1/deep/y.html",
                           "sub2/z.htm"}));
    // Hidden files left out on request; hidden folders are never searched either way.
    project->SetOption(QStringLiteral("SkipHidden"), QStringLiteral("True"));
    EXPECT_EQ(search(root + QStringLiteral("*.htm?"), true),
              QStringList({"A.HTM", "a.html", "b.htm", "link.htm", "sub1/x.htm", "sub1/deep/y.html", "sub2/z.htm"}));
}

TEST_F(KvBatchTest, SourceForms)
{
    makeTree();
    // A file: URL source, a single name as the mask, an empty mask, a folder that is missing or a file.
    EXPECT_EQ(search(QStringLiteral("file://") + root + QStringLiteral("sub2/*.htm"), false),
              QStringList({"sub2/z.htm"}));
    EXPECT_EQ(search(root + QStringLiteral("B.HTM"), true), QStringList({"b.htm"}));
    EXPECT_EQ(search(root, true), QStringList());
    EXPECT_EQ(search(root + QStringLiteral("nowhere/*.htm"), true), QStringList());
    EXPECT_EQ(search(root + QStringLiteral("c.txt/*.htm"), true), QStringList());
    // RegExt narrows the selection over the whole path; an invalid one lets everything through.
    project->SetOption(QStringLiteral("RegExt"), QStringLiteral("/SUB1/"));
    EXPECT_EQ(search(root + QStringLiteral("*.htm?"), true), QStringList({"sub1/x.htm", "sub1/deep/y.html"}));
    project->SetOption(QStringLiteral("RegExt"), QStringLiteral("("));
    EXPECT_EQ(search(root + QStringLiteral("*.htm"), false),
              QStringList({".hidden.htm", "A.HTM", "b.htm", "link.htm"}));
}

TEST_F(KvBatchTest, NonUtf8NameIsQueuedWithAPathThatOpens)
{
    const QByteArray raw = TkvFileName::Encode(root) + QByteArray("caf\xe9.htm");
    const int fd = ::open(raw.constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "page", 4), 4);
    ::close(fd);
    TkvBatch batch;
    batch.StartSearch(root + QStringLiteral("*.htm"), root + QStringLiteral("out"), false);
    TkvNode *node = batch.NextNode();
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(TkvFileName::Encode(node->FileName), raw);
    const int again = ::open(TkvFileName::Encode(node->FileName).constData(), O_RDONLY);
    EXPECT_GE(again, 0);
    ::close(again);
    EXPECT_EQ(batch.NextNode(), nullptr);
    ::unlink(raw.constData()); // QTemporaryDir cannot remove a name it cannot decode
}

TEST_F(KvBatchTest, UnreachableSubfolderIsAFailedEntryAndTheSearchGoesOn)
{
    BatchWriteFile(root + QStringLiteral("a/first.htm"));
    BatchWriteFile(root + QStringLiteral("z/last.htm"));
    // A chain of folders below "a/" whose full path is longer than PATH_MAX cannot be listed.
    int fd = ::open(TkvFileName::Encode(root + QStringLiteral("a")).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    const std::string longName(200, 'n');
    for (int level = 0; level < 25; ++level) {
        ASSERT_EQ(::mkdirat(fd, longName.c_str(), 0755), 0);
        const int next = ::openat(fd, longName.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    const int page = ::openat(fd, "unreachable.htm", O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(page, 0);
    ::close(page);
    ::close(fd);
    // The folder that cannot be listed is named in place of its pages, which would otherwise be lost
    // without a word; the converters report it as failed.
    const QStringList found = search(root + QStringLiteral("*.htm"), true);
    ASSERT_EQ(found.size(), 3) << found.join(u' ').toStdString();
    EXPECT_EQ(found[0], QStringLiteral("a/first.htm"));
    EXPECT_TRUE(found[1].startsWith(QStringLiteral("a/") + QString::fromStdString(longName) + QLatin1Char('/')));
    EXPECT_EQ(found[2], QStringLiteral("z/last.htm"));
    removeLongChain(root + QStringLiteral("a"), longName, 25);
}

TEST_F(KvBatchTest, EmptyTargetIsRefusedBeforeAnythingChanges)
{
    TkvBatch batch;
    EXPECT_THROW(batch.StartSearch(root + QStringLiteral("*.htm"), QString(), false), std::runtime_error);
    EXPECT_THROW(batch.StartSearch(root + QStringLiteral("*.htm"), QStringLiteral("file:///"), false),
                 std::runtime_error);
    EXPECT_TRUE(batch.Mask.isEmpty());
    EXPECT_TRUE(batch.SourceDir.isEmpty());
    EXPECT_FALSE(batch.IsSearchDone());
    // A missing target folder is created with its parents.
    batch.StartSearch(root + QStringLiteral("*.htm"), root + QStringLiteral("new/deeper/"), false);
    batch.WaitFor();
    EXPECT_TRUE(QFileInfo(root + QStringLiteral("new/deeper")).isDir());
}

TEST_F(KvBatchTest, SingleAddsAreHandedOutWithoutASearch)
{
    TkvBatch batch;
    int added = 0;
    batch.OnNodeAdded = [&](TkvBatch &, TkvNode &node) { EXPECT_EQ(node.Index, added++); };
    batch.AddSingleFile(QStringLiteral("http://srv/dir/page.htm"));
    batch.AddSingleFile(root + QStringLiteral("dropped.txt"));
    EXPECT_EQ(added, 2);
    EXPECT_FALSE(batch.IsDrained());
    TkvNode *first = batch.NextNode();
    TkvNode *second = batch.NextNode();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->FileName, QStringLiteral("http://srv/dir/page.htm"));
    EXPECT_EQ(second->Index, 1);
    EXPECT_EQ(batch.NextNode(), nullptr);
    EXPECT_EQ(batch.NextNode(), nullptr);
    EXPECT_TRUE(batch.IsDrained());
    // A later StartSearch only updates the fields.
    batch.StartSearch(root + QStringLiteral("*.htm"), root + QStringLiteral("out"), false);
    EXPECT_EQ(batch.NodeCount(), 2);
}

TEST_F(KvBatchTest, FailureTextsAreCountedEachButKeptOnceIgnoringCase)
{
    TkvBatch batch;
    batch.AddFailure(QStringLiteral("Cannot open \"/in/a.htm\"."));
    batch.AddFailure(QStringLiteral("CANNOT OPEN \"/IN/A.HTM\"."));
    batch.AddFailure(QStringLiteral("Other"));
    batch.AddFailure(QStringLiteral("Cannot open \"/in/a.htm\"."));
    batch.AddSuccess();
    EXPECT_EQ(batch.Failures, 4);
    EXPECT_EQ(batch.Successes, 1);
    EXPECT_EQ(batch.Errors, QStringList({"Cannot open \"/in/a.htm\".", "Other"}));
}

// The texts a first-seen scan with QString::compare ignoring case would keep, in that order.
QStringList keptByComparison(const QStringList &texts)
{
    QStringList kept;
    for (const QString &text : texts) {
        const bool known = std::any_of(kept.cbegin(), kept.cend(), [&](const QString &seen) {
            return seen.compare(text, Qt::CaseInsensitive) == 0;
        });
        if (!known)
            kept.append(text);
    }
    return kept;
}

TEST_F(KvBatchTest, FailureTextsBeyondAsciiAreKeptOnceAsTheComparisonIgnoringCaseSays)
{
    const auto units = [](std::initializer_list<char16_t> list) {
        QString text;
        for (const char16_t unit : list)
            text += QChar(unit);
        return text;
    };
    QStringList texts;
    texts << QStringLiteral("Fehler in Ä.htm") << QStringLiteral("FEHLER IN ä.HTM");
    texts << QStringLiteral("Σ") << QStringLiteral("σ") << QStringLiteral("ς");   // final sigma folds to sigma
    texts << QStringLiteral("ß") << QStringLiteral("SS") << QStringLiteral("ss"); // simple folding keeps ß apart
    texts << QStringLiteral("\u212A") << QStringLiteral("k");                     // the Kelvin sign folds to k
    texts << QStringLiteral("\u0130") << QStringLiteral("i");
    texts << QString::fromUcs4(U"\U00010400") << QString::fromUcs4(U"\U00010428"); // a pair beyond the BMP
    // Lone halves of pairs, and pairs after a lone half.
    texts << units({0xD801}) << units({0xDC00}) << units({0xD801, u'A'}) << units({0xD801, u'a'});
    texts << units({0xDC00, 0xD801}) << units({0xD801, 0xD801, 0xDC28}) << units({0xD801, 0xD801, 0xDC00});
    // Every letter of a few scripts with case, as itself, upper and lower case.
    for (const auto &[first, last] : {std::pair<char32_t, char32_t>{0xC0, 0x24F},
                                      {0x370, 0x3FF},
                                      {0x400, 0x52F},
                                      {0x1E00, 0x1FFF},
                                      {0x10400, 0x1044F}}) {
        for (char32_t point = first; point <= last; ++point) {
            texts << QString::fromUcs4(&point, 1);
            const char32_t upper = QChar::toUpper(point), lower = QChar::toLower(point);
            texts << QString::fromUcs4(&upper, 1) << QString::fromUcs4(&lower, 1);
        }
    }

    TkvBatch batch;
    for (const QString &text : std::as_const(texts))
        batch.AddFailure(text);
    EXPECT_EQ(batch.Failures, texts.size());
    EXPECT_EQ(batch.Errors, keptByComparison(texts));
}

TEST_F(KvBatchTest, ManyWorkersReceiveEveryEntryExactlyOnceWhileTheSearchRuns)
{
    constexpr int fileCount = 400;
    for (int i = 0; i < fileCount; ++i)
        BatchWriteFile(root + QStringLiteral("f%1.htm").arg(i, 4, 10, QChar(u'0')), QByteArray());
    for (int round = 0; round < 25; ++round) {
        TkvBatch batch;
        std::mutex seenLock;
        std::vector<int> seen;
        std::vector<std::thread> workers;
        std::atomic<int> ended{0};
        // Workers ask before the search starts, so most of them wait inside NextNode.
        for (int w = 0; w < 6; ++w)
            workers.emplace_back([&] {
                std::vector<int> mine;
                while (TkvNode *node = batch.NextNode())
                    mine.push_back(node->Index);
                EXPECT_TRUE(std::is_sorted(mine.begin(), mine.end())); // append order per worker
                std::lock_guard guard(seenLock);
                seen.insert(seen.end(), mine.begin(), mine.end());
                ++ended;
            });
        batch.StartSearch(root + QStringLiteral("*.htm"), root + QStringLiteral("out"), false);
        for (auto &worker : workers)
            worker.join();
        std::sort(seen.begin(), seen.end());
        ASSERT_EQ(seen.size(), size_t(fileCount)) << "round " << round;
        for (int i = 0; i < fileCount; ++i)
            ASSERT_EQ(seen[i], i) << "round " << round;
        EXPECT_TRUE(batch.IsDrained());
        EXPECT_EQ(batch.NextNode(), nullptr);
    }
}

TEST_F(KvBatchTest, StopDuringTheSearchEndsItAfterTheCurrentEntry)
{
    for (int i = 0; i < 200; ++i)
        BatchWriteFile(root + QStringLiteral("f%1.htm").arg(i, 3, 10, QChar(u'0')), QByteArray());
    TkvBatch batch;
    batch.OnNodeAdded = [](TkvBatch &job, TkvNode &node) {
        if (node.Index == 9)
            job.Terminate();
    };
    batch.StartSearch(root + QStringLiteral("*.htm"), root + QStringLiteral("out"), true);
    int taken = 0;
    while (batch.NextNode())
        ++taken;
    EXPECT_EQ(taken, 10);
    EXPECT_TRUE(batch.IsSearchDone());
    EXPECT_TRUE(batch.IsDrained());
}

TEST_F(KvBatchTest, StopBeforeTheStartSearchesNothing)
{
    BatchWriteFile(root + QStringLiteral("a.htm"));
    TkvBatch batch;
    batch.Terminate();
    batch.StartSearch(root + QStringLiteral("*.htm"), root + QStringLiteral("out"), false);
    EXPECT_EQ(batch.NextNode(), nullptr);
    EXPECT_EQ(batch.NodeCount(), 0);
}

namespace {

TEST_F(KvBatchTest, StopEndsAWorkerWaitingForASearchThatNeverStarted)
{
    // A job whose StartSearch failed has no search to end the wait: Stop must end it.
    TkvBatch batch;
    EXPECT_THROW(batch.StartSearch(root + QStringLiteral("*.htm"), QString(), false), std::runtime_error);
    std::promise<TkvNode *> taken;
    std::future<TkvNode *> result = taken.get_future();
    std::thread worker([&] { taken.set_value(batch.NextNode()); });
    EXPECT_EQ(result.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout); // it waits
    batch.Terminate();
    const bool ended = result.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    if (!ended)
        batch.AddSingleFile(QStringLiteral("unblock")); // let the thread end so the test can report
    worker.join();
    ASSERT_TRUE(ended);
    EXPECT_EQ(result.get(), nullptr);
    EXPECT_TRUE(batch.IsDrained());
}

} // namespace
