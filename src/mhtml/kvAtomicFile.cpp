#include "kvAtomicFile.h"

#include "kvFileName.h"
#include "kvMhtError.h"

#include <QDir>

#include <cerrno>

namespace {

QString quoted(const QString &path)
{
    return QLatin1Char('"') + path + QLatin1Char('"');
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
    QString prefix = folder;
    if (!prefix.endsWith(QLatin1Char('/')))
        prefix += QLatin1Char('/');
    prefix += QLatin1Char('.') + TkvFileName::Decode(shortened(name, 64)) + QLatin1Char('.');
    if (!file.CreateUnique(prefix, QStringLiteral(".tmp"), temporaryName))
        fail(TkvNativeFile::ErrorText(file.LastError()));
}

TkvAtomicFile::~TkvAtomicFile()
{
    discard();
}

void TkvAtomicFile::discard()
{
    if (file.IsOpen())
        file.Close();
    if (!temporaryName.isEmpty())
        TkvFileName::Remove(temporaryName);
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
    if (!file.IsOpen())
        throw EMhtError(QStringLiteral("Cannot write %1: the file is already closed.").arg(quoted(target)));
    if (!file.WriteAll(bytes.constData(), bytes.size()))
        fail(TkvNativeFile::ErrorText(file.LastError()));
}

void TkvAtomicFile::Commit()
{
    if (!file.IsOpen())
        throw EMhtError(QStringLiteral("Cannot write %1: the file is already closed.").arg(quoted(target)));
    // A new archive gets the usual permissions of a document (the temporary file has 0600);
    // a replaced one keeps those of the file it replaces.
    unsigned permissions = 0644;
    if (const auto old = TkvNativeFile::StatusOf(target); old && old->kind == TkvFileStatus::Kind::Regular)
        permissions = old->permissions;
    if (!file.SetPermissions(permissions))
        fail(TkvNativeFile::ErrorText(file.LastError()));
    if (!file.Close()) // a delayed write error (NFS, quota) shows up here
        fail(TkvNativeFile::ErrorText(file.LastError()));
    if (!TkvFileName::Rename(temporaryName, target))
        fail(TkvNativeFile::ErrorText(errno));
    temporaryName.clear();
}

void TkvAtomicFile::WriteAll(const QString &target, const std::vector<QByteArray> &chunks, bool replace)
{
    TkvAtomicFile out(target, replace);
    for (const QByteArray &chunk : chunks)
        out.Write(chunk);
    out.Commit();
}
