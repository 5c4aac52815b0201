// A page whose folder and file name are not valid UTF-8 (Latin-1 bytes, as old archives and copies
// from other systems have them) converts, and its archive is written under the same bytes.
#include "e2eHarness.h"
#include "mimeReader.h"

#include <QByteArray>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

void writeBytes(const QByteArray &path, const QByteArray &bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path.toStdString();
    ASSERT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
    ::close(fd);
}

QByteArray readBytes(const QByteArray &path)
{
    QByteArray out;
    const int fd = ::open(path.constData(), O_RDONLY);
    if (fd < 0)
        return out;
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        out.append(buffer, n);
    ::close(fd);
    return out;
}

/// The raw names in a folder, "." and ".." left out.
QList<QByteArray> rawNames(const QByteArray &folder)
{
    QList<QByteArray> names;
    if (DIR *dir = ::opendir(folder.constData())) {
        while (const dirent *e = ::readdir(dir)) {
            const QByteArray name(e->d_name);
            if (name != "." && name != "..")
                names.append(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

/// Removes a tree by its bytes on leaving scope: QTemporaryDir goes by decoded names and would
/// leave names that are not UTF-8 behind.
class TRawTreeRemover
{
public:
    explicit TRawTreeRemover(QByteArray root) : root(std::move(root)) {}
    ~TRawTreeRemover()
    {
        ::nftw(
            root.constData(),
            [](const char *path, const struct stat *, int, FTW *) {
                ::remove(path);
                return 0;
            },
            16, FTW_DEPTH | FTW_PHYS);
    }

private:
    QByteArray root;
};

} // namespace

TEST(KvNonUtf8NameE2eTest, PageNamedInLatin1ConvertsToTheSameBytesWithMht)
{
    TkvE2eEnv env;
    const QByteArray root = QFile::encodeName(env.Root());
    const QByteArray site = root + "/site";
    const TRawTreeRemover siteRemover(site), outRemover(root + "/out");
    const QByteArray folder = site + "/d\xE9p"; // "dép" in Latin-1: not UTF-8
    ASSERT_EQ(::mkdir(site.constData(), 0755), 0);
    ASSERT_EQ(::mkdir(folder.constData(), 0755), 0);
    writeBytes(folder + "/caf\xE9.htm", "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Caf\xC3\xA9</title>"
                                        "</head><body><p>Menu</p><img src=\"logo.png\"></body></html>\n");
    writeBytes(folder + "/logo.png", TkvE2eEnv::LogoPng());

    const TkvE2eResult r =
        env.RunProject({QStringLiteral("Source=") + env.Path(QStringLiteral("site/*.htm?")), QStringLiteral("Subdir=1"),
                        QStringLiteral("Target=") + env.Path(QStringLiteral("out")), QStringLiteral("PureConsole=1"),
                        QStringLiteral("LogFile=") + env.Path(QStringLiteral("run.log"))});
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();

    const QByteArray outFolder = root + "/out/d\xE9p";
    ASSERT_EQ(rawNames(outFolder), QList<QByteArray>{QByteArray("caf\xE9.mht")})
        << "log: " << TkvE2eEnv::ReadAll(env.Path(QStringLiteral("run.log"))).toStdString();
    const TMimeReadMessage m = ReadMimeMessage(readBytes(outFolder + "/caf\xE9.mht"));
    ASSERT_TRUE(m.ok) << m.error;
    ASSERT_GE(m.parts.size(), 2u);
    EXPECT_EQ(m.parts[0].contentType, "text/html");
    EXPECT_TRUE(m.parts[0].data.contains("<p>Menu</p>"));
    // The addresses carry the name's own bytes, percent-encoded, and the image beside it was found.
    EXPECT_NE(m.parts[0].location.find("/d%E9p/caf%E9.htm"), std::string::npos) << m.parts[0].location;
    bool logo = false;
    for (const TMimeReadPart &p : m.parts)
        logo = logo || (p.location.find("/d%E9p/logo.png") != std::string::npos && p.data == TkvE2eEnv::LogoPng());
    EXPECT_TRUE(logo);
}
