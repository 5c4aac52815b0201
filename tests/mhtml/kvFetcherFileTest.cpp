#include "kvFetcher.h"
#include "kvFileFetcher.h"
#include "kvMhtError.h"
#include "kvUrl.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class KvFetcherFileTest : public testing::Test
{
protected:
    QString write(const QString &name, const QByteArray &content)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }

    /// The error text of a fetch that must fail.
    static std::string errorOf(const std::function<void()> &fetch)
    {
        try {
            fetch();
        } catch (const EMhtError &e) {
            return e.what();
        }
        return "(no error)";
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(KvFetcherFileTest, ReadsARegularFileWithItsStamp)
{
    const QString path = write(QStringLiteral("a b.htm"), "<p>hello</p>");
    TkvFetcher fetcher;
    const TkvFetchResult result = fetcher.Fetch(TkvUrl::FromLocalPath(path));
    EXPECT_EQ(result.body, QByteArray("<p>hello</p>"));
    EXPECT_EQ(result.finalUrl, TkvUrl::FromLocalPath(path));
    EXPECT_TRUE(result.contentType.isEmpty());
    EXPECT_EQ(result.fileSize, 12);
    const auto stamp = TkvFileFetcher::Stamp(path);
    ASSERT_TRUE(stamp.has_value());
    EXPECT_EQ(stamp->size, result.fileSize);
    EXPECT_EQ(stamp->mtimeNs, result.fileMtimeNs);
    EXPECT_EQ(result.lastModified.toMSecsSinceEpoch(), result.fileMtimeNs / 1000000);

    const QString empty = write(QStringLiteral("empty.htm"), QByteArray());
    const TkvFetchResult none = TkvFileFetcher::Read(empty);
    EXPECT_TRUE(none.body.isEmpty());
    EXPECT_EQ(none.fileSize, 0);
}

TEST_F(KvFetcherFileTest, NamesTheFileAndTheCauseWhenItCannotBeRead)
{
    const QString missing = dir.filePath(QStringLiteral("none.htm"));
    EXPECT_EQ(errorOf([&] { TkvFileFetcher::Read(missing); }),
              ("Cannot open \"" + missing + "\": No such file or directory").toStdString());
    EXPECT_EQ(errorOf([&] { TkvFileFetcher::Read(dir.path()); }),
              ("Cannot open \"" + dir.path() + "\": Is a directory").toStdString());
    const QString notDir = write(QStringLiteral("plain"), "x") + QStringLiteral("/sub.htm");
    EXPECT_EQ(errorOf([&] { TkvFileFetcher::Read(notDir); }),
              ("Cannot open \"" + notDir + "\": Not a directory").toStdString());
    const QString longName = dir.filePath(QString(300, QLatin1Char('n')));
    EXPECT_NE(errorOf([&] { TkvFileFetcher::Read(longName); }).find("File name too long"), std::string::npos);
    EXPECT_FALSE(TkvFileFetcher::Stamp(missing).has_value());
    EXPECT_FALSE(TkvFileFetcher::Stamp(dir.path()).has_value());
}

TEST_F(KvFetcherFileTest, FollowsLinksToFilesButNeverReadsAFolderThroughOne)
{
    const QString target = write(QStringLiteral("t.css"), "body{}");
    const QString fileLink = dir.filePath(QStringLiteral("link.css"));
    const QString dirLink = dir.filePath(QStringLiteral("dirlink"));
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(fileLink).constData()), 0);
    ASSERT_EQ(::symlink(QFile::encodeName(dir.path()).constData(), QFile::encodeName(dirLink).constData()), 0);
    EXPECT_EQ(TkvFileFetcher::Read(fileLink).body, QByteArray("body{}"));
    EXPECT_NE(errorOf([&] { TkvFileFetcher::Read(dirLink); }).find("Is a directory"), std::string::npos);
}

TEST_F(KvFetcherFileTest, RefusesAFifoWithoutBlocking)
{
    const QString fifo = dir.filePath(QStringLiteral("pipe.htm"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    auto attempt = std::async(std::launch::async, [&] { return errorOf([&] { TkvFileFetcher::Read(fifo); }); });
    if (attempt.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        // Release the blocked reader so the test can end, then fail.
        const int writer = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
        ADD_FAILURE() << "reading a FIFO blocked";
    }
    EXPECT_EQ(attempt.get(), ("Cannot open \"" + fifo + "\": Not a regular file").toStdString());
    EXPECT_FALSE(TkvFileFetcher::Stamp(fifo).has_value());
}

TEST_F(KvFetcherFileTest, EnforcesTheSizeCap)
{
    // A sparse file one byte over 100 MiB costs no disk space.
    const QString big = dir.filePath(QStringLiteral("big.bin"));
    ASSERT_EQ(::truncate(QFile::encodeName(write(QStringLiteral("big.bin"), "")).constData(),
                         TkvFetchPolicy::DefaultMaxBytes + 1),
              0);
    EXPECT_EQ(errorOf([&] { TkvFileFetcher::Read(big); }),
              ("Cannot read \"" + big + "\": The file is larger than 100 MiB.").toStdString());

    const QString ten = write(QStringLiteral("ten.txt"), "0123456789");
    EXPECT_EQ(TkvFileFetcher::Read(ten, 10).body, QByteArray("0123456789"));
    EXPECT_EQ(errorOf([&] { TkvFileFetcher::Read(ten, 9); }),
              ("Cannot read \"" + ten + "\": The file is larger than 9 bytes.").toStdString());
    TkvFetchPolicy policy;
    policy.maxBytes = 9;
    TkvFetcher fetcher(policy);
    EXPECT_THROW(fetcher.Fetch(TkvUrl::FromLocalPath(ten)), EMhtError);
}

TEST_F(KvFetcherFileTest, AppliesThePolicyToSchemes)
{
    const QString path = write(QStringLiteral("p.htm"), "x");
    TkvFetchPolicy web;
    web.allowFile = false;
    TkvFetcher fromWeb(web);
    const QString url = TkvUrl::FromLocalPath(path);
    EXPECT_EQ(errorOf([&] { fromWeb.Fetch(url); }),
              ("Refused to embed the local file \"" + url + "\" in a page fetched from the web.").toStdString());
    TkvFetcher fetcher;
    EXPECT_EQ(errorOf([&] { fetcher.Fetch(QStringLiteral("ftp://h/x")); }),
              "Cannot fetch \"ftp://h/x\": The scheme \"ftp\" is not supported.");
    EXPECT_EQ(errorOf([&] { fetcher.Fetch(QStringLiteral("http://exa mple/")); }),
              "Cannot fetch \"http://exa mple/\": The address is not a valid URL.");
    EXPECT_EQ(errorOf([&] { fetcher.Fetch(QStringLiteral("data:,x")); }),
              "Cannot fetch \"data:,x\": Only http:, https: and file: addresses are fetched.");
    EXPECT_NE(errorOf([&] { fetcher.Fetch(QStringLiteral("file://srv/share/x")); }).find("other hosts"),
              std::string::npos);
}

TEST_F(KvFetcherFileTest, ReportsAFileTheUserMayNotRead)
{
    // Root reads everything, so the read runs in a child that has given up root.
    const QString path = write(QStringLiteral("secret.htm"), "x");
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                      QFileDevice::ExeOwner | QFileDevice::ExeOther));
    int channel[2];
    ASSERT_EQ(::pipe(channel), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(channel[0]);
        if (::getuid() == 0 && ::setuid(65534) != 0)
            ::_exit(2);
        const std::string error = errorOf([&] { TkvFileFetcher::Read(path); });
        const ssize_t written = ::write(channel[1], error.data(), error.size());
        ::_exit(written == ssize_t(error.size()) ? 0 : 3);
    }
    ::close(channel[1]);
    std::string error;
    char buffer[512];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        error.append(buffer, size_t(n));
    ::close(channel[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(error, ("Cannot open \"" + path + "\": Permission denied").toStdString());
}
