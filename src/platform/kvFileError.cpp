#include "kvFileError.h"

#include "kvNativeFile.h"

TkvFileError TkvFileError::FromErrno(const char *verb, const QString &path, int error)
{
    return TkvFileError(QStringLiteral("Cannot %1 file \"%2\". %3")
                            .arg(QLatin1String(verb), path, TkvNativeFile::ErrorText(error) + QLatin1Char('.')),
                        error);
}
