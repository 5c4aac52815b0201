#include "kvAtomicFile.h"

#include "kvMhtMessage.h"

#include <QFileInfo>
#include <QTemporaryFile>

#include <filesystem>
#include <system_error>

namespace {

QString quoted(const QString &path)
{
    return QLatin1Char('"') + path + QLatin1Char('"');
}

QString withoutStop(QString reason)
{
    while (reason.endsWith(QLatin1Char('.')))
        reason.chop(1);
    return reason.isEmpty() ? QStringLiteral("unknown error") : reason;
}

} // namespace

TkvAtomicFile::TkvAtomicFile(const QString &target, bool replace) : target(target), replace(replace)
{
    const QFileInfo info(target);
    if (info.isDir())
        throw EMhtError(QStringLiteral("Cannot write %1: it is a folder.").arg(quoted(target)));
    if (!replace && info.exists())
        throw EMhtError(QStringLiteral("Cannot write %1: the file already exists.").arg(quoted(target)));
    const QString folder = info.absolutePath();
    const QFileInfo folderInfo(folder);
    if (!folderInfo.exists()) {
        // Tell a missing folder from one whose path runs through a file (ENOTDIR).
        QString up = folder;
        while (!QFileInfo::exists(up) && up.size() > 1)
            up = QFileInfo(up).absolutePath();
        const QString why = QFileInfo(up).isDir() ? QStringLiteral("the folder %1 does not exist").arg(quoted(folder))
                                                  : QStringLiteral("%1 is not a folder").arg(quoted(up));
        throw EMhtError(QStringLiteral("Cannot write %1: %2.").arg(quoted(target), why));
    }
    if (!folderInfo.isDir())
        throw EMhtError(QStringLiteral("Cannot write %1: %2 is not a folder.").arg(quoted(target), quoted(folder)));

    // The name is cut short so that a target name near NAME_MAX still gets a temporary file.
    file = std::make_unique<QTemporaryFile>(folder + QLatin1Char('/') + QLatin1Char('.') + info.fileName().left(64) +
                                            QStringLiteral(".XXXXXX.tmp"));
    file->setAutoRemove(true);
    if (!file->open())
        fail(file->errorString());
}

TkvAtomicFile::~TkvAtomicFile() = default; // QTemporaryFile removes an uncommitted file

void TkvAtomicFile::fail(const QString &reason)
{
    const QString text = QStringLiteral("Cannot write %1: %2.").arg(quoted(target), withoutStop(reason));
    if (file)
        file->remove();
    file.reset();
    throw EMhtError(text);
}

void TkvAtomicFile::Write(const QByteArray &bytes)
{
    if (!file)
        throw EMhtError(QStringLiteral("Cannot write %1: the file is already closed.").arg(quoted(target)));
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const qint64 written = file->write(p, left);
        if (written <= 0)
            fail(file->errorString());
        p += written;
        left -= written;
    }
}

void TkvAtomicFile::Commit()
{
    if (!file)
        throw EMhtError(QStringLiteral("Cannot write %1: the file is already closed.").arg(quoted(target)));
    if (!file->flush() || file->error() != QFileDevice::NoError)
        fail(file->errorString());
    // A new archive gets the usual permissions of a document (the temporary file has 0600);
    // a replaced one keeps those of the file it replaces.
    QFileDevice::Permissions permissions =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    const QFileInfo old(target);
    if (old.exists() && old.isFile())
        permissions = old.permissions();
    file->setPermissions(permissions);
    const QString temporary = file->fileName();
    file->close();
    if (file->error() != QFileDevice::NoError)
        fail(file->errorString());
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(QFile::encodeName(temporary).toStdString()),
                            std::filesystem::path(QFile::encodeName(target).toStdString()), error);
    if (error)
        fail(QString::fromStdString(error.message()));
    file->setAutoRemove(false);
    file.reset();
}

void TkvAtomicFile::WriteAll(const QString &target, const std::vector<QByteArray> &chunks, bool replace)
{
    TkvAtomicFile out(target, replace);
    for (const QByteArray &chunk : chunks)
        out.Write(chunk);
    out.Commit();
}
