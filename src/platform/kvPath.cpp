#include "kvPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <climits>
#include <unistd.h>

QString TkvPath::FolderPart(const QString &path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString TkvPath::NamePart(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool TkvPath::ForceFolders(const QString &folder)
{
    if (folder.isEmpty()) {
        return false;
    }
    if (QFileInfo(folder).isDir()) {
        return true;
    }
    return QDir().mkpath(folder) && QFileInfo(folder).isDir();
}

QString TkvPath::ExecutablePath()
{
    char buffer[PATH_MAX + 1];
    const ssize_t length = readlink("/proc/self/exe", buffer, PATH_MAX);
    if (length <= 0) {
        return QString();
    }
    return QFile::decodeName(QByteArray(buffer, int(length)));
}
