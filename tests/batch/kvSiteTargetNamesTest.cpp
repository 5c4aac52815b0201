#include "kvSiteTargetNames.h"

#include "kvFileName.h"
#include "qStringPrinter.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString kFolder = QStringLiteral("/docs/");
const QString kExt = QStringLiteral(".mht");

/// Checks what every relative target path must be: relative, every segment a usable name that is not
/// "." or "..", without NUL or controls, at most 255 bytes.
void expectSafe(const QString &relative)
{
    ASSERT_FALSE(relative.isEmpty());
    EXPECT_FALSE(relative.startsWith(u'/')) << relative.toStdString();
    for (const QString &segment : relative.split(u'/')) {
        EXPECT_FALSE(segment.isEmpty()) << relative.toStdString();
        EXPECT_NE(segment, QStringLiteral(".")) << relative.toStdString();
        EXPECT_NE(segment, QStringLiteral("..")) << relative.toStdString();
        EXPECT_LE(segment.toUtf8().size(), 255) << relative.toStdString();
        for (QChar c : segment)
            EXPECT_TRUE(c.unicode() >= 0x20 && c.unicode() != 0x7F && c != QChar(0x2028)) << relative.toStdString();
    }
}

} // namespace

TEST(KvSiteTargetNamesTest, PathsBelowTheFolderKeepTheirSubfolders)
{
    TkvSiteTargetNames names(kFolder, kExt);
    EXPECT_EQ(names.Assign(QStringLiteral("/docs/")), QStringLiteral("index.mht"));
    EXPECT_EQ(names.Assign(QStringLiteral("/docs/api/x.html")), QStringLiteral("api/x.mht"));
    EXPECT_EQ(names.Assign(QStringLiteral("/docs/api/")), QStringLiteral("api/index.mht"));
    EXPECT_EQ(names.Assign(QStringLiteral("/docs/a%20b/caf%C3%A9.htm")), QStringLiteral("a b/caf\u00e9.mht"));
    EXPECT_EQ(names.Assign(QStringLiteral("/docs/v1.2/notes.v2.html")), QStringLiteral("v1.2/notes.v2.mht"));
    EXPECT_EQ(names.Assign(QStringLiteral("/docs/README")), QStringLiteral("README.mht"));
    EXPECT_EQ(names.Assign(QStringLiteral("/docs/.hidden")), QStringLiteral(".hidden.mht"));
    // The same page asked for again keeps its name.
    EXPECT_EQ(names.Assign(QStringLiteral("/docs/api/x.html")), QStringLiteral("api/x.mht"));
}

TEST(KvSiteTargetNamesTest, HostileSegmentsStayNamesInsideTarget)
{
    EXPECT_EQ(TkvSiteTargetNames::SafeSegment(QStringLiteral("a%2Fb")), QStringLiteral("a%2Fb"));
    EXPECT_EQ(TkvSiteTargetNames::SafeSegment(QStringLiteral("..%2F..%2Fetc")), QStringLiteral("..%2F..%2Fetc"));
    EXPECT_EQ(TkvSiteTargetNames::SafeSegment(QStringLiteral("%2E%2E")), QStringLiteral("%2E%2E"));
    EXPECT_EQ(TkvSiteTargetNames::SafeSegment(QStringLiteral("%2e")), QStringLiteral("%2E"));
    EXPECT_EQ(TkvSiteTargetNames::SafeSegment(QStringLiteral("x%00y")), QStringLiteral("x%00y"));
    EXPECT_EQ(TkvSiteTargetNames::SafeSegment(QStringLiteral("line%0Abreak%0D")), QStringLiteral("line%0Abreak%0D"));
    EXPECT_EQ(TkvSiteTargetNames::SafeSegment(QStringLiteral("sep%E2%80%A8x%C2%85")),
              QStringLiteral("sep%E2%80%A8x%C2%85"));
    EXPECT_EQ(TkvSiteTargetNames::SafeSegment(QStringLiteral("caf%E9")), QStringLiteral("caf%E9")); // not UTF-8
    EXPECT_EQ(TkvSiteTargetNames::SafeSegment(QString()), QStringLiteral("_"));

    const QString longName = QString(300, u'\u00e9');
    const QString cut = TkvSiteTargetNames::SafeSegment(longName);
    EXPECT_LE(cut.toUtf8().size(), 255);
    EXPECT_TRUE(cut.startsWith(QString(100, u'\u00e9')));
    EXPECT_NE(cut, TkvSiteTargetNames::SafeSegment(longName + u'x')); // the digest tells them apart

    TkvSiteTargetNames names(kFolder, kExt);
    const QString hostile[] = {
        QStringLiteral("/docs/..%2F..%2Fescape.html"),
        QStringLiteral("/docs/%2E%2E/x.html"),
        QStringLiteral("/docs/a%00b.html"),
        QStringLiteral("/docs/new%0Aline/%0D%0A.html"),
        QStringLiteral("/docs//empty.html"),
        QStringLiteral("/docs/") + QString(400, u'a') + QStringLiteral(".html"),
        QStringLiteral("/docs/") + QString(300, u'b') + QStringLiteral("/") + QString(300, u'c') + QStringLiteral("/"),
        QStringLiteral("/docs/%2F/%2F.html"),
    };
    QTemporaryDir target;
    ASSERT_TRUE(target.isValid());
    for (const QString &path : hostile) {
        const QString relative = names.Assign(path);
        expectSafe(relative);
        // The file system takes the name, and the file lands inside the target folder.
        const QString full = target.path() + u'/' + relative;
        ASSERT_TRUE(TkvFileName::MakePath(QFileInfo(full).path())) << relative.toStdString();
        const int fd = ::open(TkvFileName::Encode(full).constData(), O_CREAT | O_EXCL | O_WRONLY, 0600);
        ASSERT_GE(fd, 0) << relative.toStdString();
        ::close(fd);
        EXPECT_TRUE(
            QFileInfo(full).canonicalFilePath().startsWith(QFileInfo(target.path()).canonicalFilePath() + u'/'));
    }
}

TEST(KvSiteTargetNamesTest, TwoPagesNeverShareAName)
{
    TkvSiteTargetNames names(kFolder, kExt);
    EXPECT_EQ(names.Assign(QStringLiteral("/docs/x.html")), QStringLiteral("x.mht"));
    EXPECT_EQ(names.Assign(QStringLiteral("/docs/x.htm")), QStringLiteral("x-2.mht"));
    EXPECT_EQ(names.Assign(QStringLiteral("/docs/x")), QStringLiteral("x-3.mht"));
    // A page that is really named like a renamed one goes on to the next free name.
    EXPECT_EQ(names.Assign(QStringLiteral("/docs/x-2.html")), QStringLiteral("x-2-2.mht"));
    // Case matters on Linux: these are two files.
    EXPECT_EQ(names.Assign(QStringLiteral("/docs/X.html")), QStringLiteral("X.mht"));
    // Escapes that decode to the same text.
    EXPECT_EQ(names.Assign(QStringLiteral("/docs/a%2Fb.html")), QStringLiteral("a%2Fb.mht"));
    EXPECT_EQ(names.Assign(QStringLiteral("/docs/a%252Fb.html")), QStringLiteral("a%2Fb-2.mht"));
    // A folder's index page and a page named index.
    EXPECT_EQ(names.Assign(QStringLiteral("/docs/api/")), QStringLiteral("api/index.mht"));
    EXPECT_EQ(names.Assign(QStringLiteral("/docs/api/index.html")), QStringLiteral("api/index-2.mht"));
}

TEST(KvSiteTargetNamesTest, AFileAndAFolderNeverShareAName)
{
    // Page first: the folder of the same name moves aside, for every page in it.
    TkvSiteTargetNames pageFirst(kFolder, kExt);
    EXPECT_EQ(pageFirst.Assign(QStringLiteral("/docs/a.html")), QStringLiteral("a.mht"));
    EXPECT_EQ(pageFirst.Assign(QStringLiteral("/docs/a.mht/x.html")), QStringLiteral("a.mht-2/x.mht"));
    EXPECT_EQ(pageFirst.Assign(QStringLiteral("/docs/a.mht/y.html")), QStringLiteral("a.mht-2/y.mht"));
    // Folder first: the page moves aside.
    TkvSiteTargetNames folderFirst(kFolder, kExt);
    EXPECT_EQ(folderFirst.Assign(QStringLiteral("/docs/a.mht/x.html")), QStringLiteral("a.mht/x.mht"));
    EXPECT_EQ(folderFirst.Assign(QStringLiteral("/docs/a.html")), QStringLiteral("a-2.mht"));
}

TEST(KvSiteTargetNamesTest, LongNamesLeaveRoomForTheExtensionAndTheCounter)
{
    TkvSiteTargetNames names(kFolder, kExt);
    const QString stem = QString(254, u'n');
    const QString first = names.Assign(QStringLiteral("/docs/") + stem + QStringLiteral(".html"));
    const QString second = names.Assign(QStringLiteral("/docs/") + stem + QStringLiteral(".htm"));
    EXPECT_NE(first, second);
    EXPECT_TRUE(first.endsWith(kExt));
    EXPECT_TRUE(second.endsWith(QStringLiteral("-2.mht")));
    EXPECT_LE(first.toUtf8().size(), 255);
    EXPECT_LE(second.toUtf8().size(), 255);
}
