#include "kvFileError.h"

#include <cstring>

TkvFileError TkvFileError::FromErrno(const char *verb, const QString &path, int error)
{
    return TkvFileError(
        QStringLiteral("Cannot %1 file \"%2\". %3")
            .arg(QLatin1String(verb), path, QString::fromLocal8Bit(std::strerror(error)) + QLatin1Char('.')));
}
