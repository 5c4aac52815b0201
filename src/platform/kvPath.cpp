#include "kvPath.h"

#include "kvFileName.h"

#include <QByteArray>
#include <QFile>

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

QString TkvPath::WithoutTrailingSlash(const QString &path)
{
    qsizetype end = path.size();
    while (end > 1 && path.at(end - 1) == QLatin1Char('/')) {
        --end;
    }
    return path.left(end);
}

QString TkvPath::WithExtension(const QString &path, const QString &ext)
{
    if (ext.isEmpty() || path.endsWith(ext, Qt::CaseSensitive)) {
        return path;
    }
    if (path.endsWith(ext, Qt::CaseInsensitive)) {
        return path.chopped(ext.size()) + ext;
    }
    return path + ext;
}

QString TkvPath::UrlToPath(const QString &text)
{
    if (!text.startsWith(QLatin1String("file:"))) {
        return text;
    }
    qsizetype start = 5;
    while (start < text.size() && text.at(start) == QLatin1Char('/')) {
        ++start;
    }
    if (start == text.size()) {
        return QString();
    }
    return QLatin1Char('/') + TkvFileName::FromPercentEncoding(text.mid(start));
}

bool TkvPath::IsWebAddress(const QString &text)
{
    if (text.startsWith(QLatin1String("http"), Qt::CaseInsensitive)) {
        return true;
    }
    const qsizetype separator = text.indexOf(QLatin1String("://"));
    return separator > 0 && !text.startsWith(QLatin1String("file:"), Qt::CaseInsensitive);
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
