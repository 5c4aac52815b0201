#include "kvAtomicFile.h"

#include "kvFileName.h"
#include "kvMhtMessage.h"

#include <QDir>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString quoted(const QString &path)
{
    return QLatin1Char('"') + path + QLatin1Char('"');
}

QString errorText(int error)
{
    char buffer[256];
    return QString::fromLocal8Bit(strerror_r(error, buffer, sizeof buffer));
}

/// The folder part of an absolute path ("/" for a file at the root).
QString folderOf(const QString &absolute)
{
    const qsizetype slash = absolute.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : absolute.left(slash);
}

/// At most `limit` bytes of `name`, cut before a UTF-8 continuation byte so that a character is never
/// split (a name that was not UTF-8 to begin with is cut anywhere; the file system takes any bytes).
QByteArray shortened(const QByteArray &name, qsizetype limit)
{
    if (name.size() <= limit)
        return name;
    qsizetype end = limit;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    return name.left(end);
}

} // namespace

TkvAtomicFile::TkvAtomicFile(const QString &target, bool replace) : target(target), replace(replace)
{
    const QString absolute = QDir::isAbsolutePath(target) ? target : QDir::currentPath() + QLatin1Char('/') + target;
    if (TkvFileName::IsDir(absolute))
        throw EMhtError(QStringLiteral("Cannot write %1: it is a folder.").arg(quoted(target)));
    if (!replace && TkvFileName::Exists(absolute))
        throw EMhtError(QStringLiteral("Cannot write %1: the file already exists.").arg(quoted(target)));
    const QString folder = folderOf(absolute);
    if (!TkvFileName::Exists(folder)) {
        // Tell a missing folder from one whose path runs through a file (ENOTDIR).
        QString up = folder;
        while (!TkvFileName::Exists(up) && up.size() > 1)
            up = folderOf(up);
        const QString why = TkvFileName::IsDir(up) ? QStringLiteral("the folder %1 does not exist").arg(quoted(folder))
                                                   : QStringLiteral("%1 is not a folder").arg(quoted(up));
        throw EMhtError(QStringLiteral("Cannot write %1: %2.").arg(quoted(target), why));
    }
    if (!TkvFileName::IsDir(folder))
        throw EMhtError(QStringLiteral("Cannot write %1: %2 is not a folder.").arg(quoted(target), quoted(folder)));

    // The name is cut short so that a target name near NAME_MAX still gets a temporary file.
    const QByteArray name = TkvFileName::Encode(absolute.mid(absolute.lastIndexOf(QLatin1Char('/')) + 1));
    QByteArray pattern = TkvFileName::Encode(folder);
    if (!pattern.endsWith('/'))
        pattern += '/';
    pattern += '.' + shortened(name, 64) + ".XXXXXX.tmp";
    fd = ::mkostemps(pattern.data(), 4, O_CLOEXEC);
    if (fd < 0)
        fail(errorText(errno));
    temporaryName = pattern;
}

TkvAtomicFile::~TkvAtomicFile()
{
    discard();
}

void TkvAtomicFile::discard()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    if (!temporaryName.isEmpty())
        ::unlink(temporaryName.constData());
    temporaryName.clear();
}

void TkvAtomicFile::fail(const QString &reason)
{
    QString why = reason;
    while (why.endsWith(QLatin1Char('.')))
        why.chop(1);
    if (why.isEmpty())
        why = QStringLiteral("unknown error");
    discard();
    throw EMhtError(QStringLiteral("Cannot write %1: %2.").arg(quoted(target), why));
}

void TkvAtomicFile::Write(const QByteArray &bytes)
{
    if (fd < 0)
        throw EMhtError(QStringLiteral("Cannot write %1: the file is already closed.").arg(quoted(target)));
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, p, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            fail(errorText(written < 0 ? errno : EIO));
        p += written;
        left -= written;
    }
}

void TkvAtomicFile::Commit()
{
    if (fd < 0)
        throw EMhtError(QStringLiteral("Cannot write %1: the file is already closed.").arg(quoted(target)));
    // A new archive gets the usual permissions of a document (the temporary file has 0600);
    // a replaced one keeps those of the file it replaces.
    const QByteArray encodedTarget = TkvFileName::Encode(target);
    mode_t mode = 0644;
    struct stat old;
    if (::stat(encodedTarget.constData(), &old) == 0 && S_ISREG(old.st_mode))
        mode = old.st_mode & 07777;
    if (::fchmod(fd, mode) != 0)
        fail(errorText(errno));
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) // a delayed write error (NFS, quota) shows up here
        fail(errorText(errno));
    if (::rename(temporaryName.constData(), encodedTarget.constData()) != 0)
        fail(errorText(errno));
    temporaryName.clear();
}

void TkvAtomicFile::WriteAll(const QString &target, const std::vector<QByteArray> &chunks, bool replace)
{
    TkvAtomicFile out(target, replace);
    for (const QByteArray &chunk : chunks)
        out.Write(chunk);
    out.Commit();
}
