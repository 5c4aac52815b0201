#include "kvAtomicFile.h"

#include "kvDirListing.h"
#include "kvFileError.h"
#include "kvFileName.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <climits>
#include <signal.h>
#include <unistd.h>

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

/// The name of the program a running process runs (its "comm"); empty when it cannot be read (the
/// process ended). Two builds of this program share it, unlike the path of their program files.
QByteArray programOf(const QString &pid)
{
    QFile comm(QStringLiteral("/proc/") + pid + QStringLiteral("/comm"));
    return comm.open(QIODevice::ReadOnly) ? comm.readAll().trimmed() : QByteArray();
}

/// True when the process `pid` no longer runs this program: it ended, or its id now belongs to
/// another program. A process that cannot be looked at counts as running.
bool makerEnded(const QString &pid)
{
    bool ok = false;
    const qint64 id = pid.toLongLong(&ok);
    if (!ok || id <= 0 || id > INT_MAX)
        return false;
    if (::kill(pid_t(id), 0) != 0 && errno == ESRCH)
        return true;
    const QByteArray program = programOf(pid);
    return !program.isEmpty() && program != programOf(QStringLiteral("self"));
}

} // namespace

int TkvAtomicFile::RemoveLeftovers(const QString &folder)
{
    static const QRegularExpression temporary(QStringLiteral("^\\..*\\.([0-9]+)-[A-Za-z0-9]{6}\\.tmp$"),
                                              QRegularExpression::DotMatchesEverythingOption);
    QStringList files, folders;
    TkvFileId id;
    if (!TkvDirListing::List(folder, files, folders, id))
        return 0;
    QString prefix = folder;
    if (!prefix.endsWith(QLatin1Char('/')))
        prefix += QLatin1Char('/');
    int removed = 0;
    for (const QString &name : files) {
        const QRegularExpressionMatch match = temporary.match(name);
        if (match.hasMatch() && makerEnded(match.captured(1)) && TkvFileName::Remove(prefix + name))
            ++removed;
    }
    return removed;
}

TkvAtomicFile::TkvAtomicFile(const QString &target, bool replace, unsigned newPermissions)
    : target(target), replace(replace), newPermissions(newPermissions)
{
    const QString absolute = QDir::isAbsolutePath(target) ? target : QDir::currentPath() + QLatin1Char('/') + target;
    if (TkvFileName::IsDir(absolute))
        throw TkvFileError(QStringLiteral("Cannot write %1: it is a folder.").arg(quoted(target)), EISDIR);
    if (!replace && TkvFileName::Exists(absolute))
        throw TkvFileError(QStringLiteral("Cannot write %1: the file already exists.").arg(quoted(target)), EEXIST);
    const QString folder = folderOf(absolute);
    if (!TkvFileName::Exists(folder)) {
        // Tell a missing folder from one whose path runs through a file (ENOTDIR).
        QString up = folder;
        while (!TkvFileName::Exists(up) && up.size() > 1)
            up = folderOf(up);
        const bool missing = TkvFileName::IsDir(up);
        const QString why = missing ? QStringLiteral("the folder %1 does not exist").arg(quoted(folder))
                                    : QStringLiteral("%1 is not a folder").arg(quoted(up));
        throw TkvFileError(QStringLiteral("Cannot write %1: %2.").arg(quoted(target), why), missing ? ENOENT : ENOTDIR);
    }
    if (!TkvFileName::IsDir(folder))
        throw TkvFileError(QStringLiteral("Cannot write %1: %2 is not a folder.").arg(quoted(target), quoted(folder)),
                           ENOTDIR);

    // The name is cut short so that a target name near NAME_MAX still gets a temporary file.
    const QByteArray name = TkvFileName::Encode(absolute.mid(absolute.lastIndexOf(QLatin1Char('/')) + 1));
    QString prefix = folder;
    if (!prefix.endsWith(QLatin1Char('/')))
        prefix += QLatin1Char('/');
    // The process id in the name lets a later run tell the leftovers of a killed process (RemoveLeftovers).
    prefix += QLatin1Char('.') + TkvFileName::Decode(shortened(name, 64)) + QLatin1Char('.') +
              QString::number(::getpid()) + QLatin1Char('-');
    if (!file.CreateUnique(prefix, QStringLiteral(".tmp"), temporaryName))
        fail(file.LastError());
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

void TkvAtomicFile::fail(int error)
{
    QString why = TkvNativeFile::ErrorText(error);
    while (why.endsWith(QLatin1Char('.')))
        why.chop(1);
    if (why.isEmpty())
        why = QStringLiteral("unknown error");
    discard();
    throw TkvFileError(QStringLiteral("Cannot write %1: %2.").arg(quoted(target), why), error);
}

void TkvAtomicFile::Write(const QByteArray &bytes)
{
    if (!file.IsOpen())
        throw TkvFileError(QStringLiteral("Cannot write %1: the file is already closed.").arg(quoted(target)), EBADF);
    if (!file.WriteAll(bytes.constData(), bytes.size()))
        fail(file.LastError());
}

void TkvAtomicFile::Commit()
{
    if (!file.IsOpen())
        throw TkvFileError(QStringLiteral("Cannot write %1: the file is already closed.").arg(quoted(target)), EBADF);
    // A new file gets the permissions asked for (the temporary file has 0600); a replaced one keeps
    // those of the file it replaces.
    unsigned permissions = newPermissions;
    if (const auto old = TkvNativeFile::StatusOf(target); old && old->kind == TkvFileStatus::Kind::Regular)
        permissions = old->permissions;
    if (!file.SetPermissions(permissions))
        fail(file.LastError());
    if (!file.Close()) // a delayed write error (NFS, quota) shows up here
        fail(file.LastError());
    if (!TkvFileName::Rename(temporaryName, target))
        fail(errno);
    temporaryName.clear();
}

void TkvAtomicFile::WriteAll(const QString &target, const std::vector<QByteArray> &chunks, bool replace,
                             unsigned newPermissions)
{
    TkvAtomicFile out(target, replace, newPermissions);
    for (const QByteArray &chunk : chunks)
        out.Write(chunk);
    out.Commit();
}
