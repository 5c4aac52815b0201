#include "kvMhtStream.h"

#include "kvAtomicFile.h"
#include "kvFileError.h"
#include "kvMhtError.h"

const QByteArray &TkvMhtStream::Bytes() const
{
    if (!isJoined) {
        joined.reserve(Size());
        for (const QByteArray &chunk : chunks)
            joined += chunk;
        isJoined = true;
    }
    return joined;
}

qint64 TkvMhtStream::Size() const
{
    qint64 size = 0;
    for (const QByteArray &chunk : chunks)
        size += chunk.size();
    return size;
}

void TkvMhtStream::SaveToFile(const QString &path, int options) const
{
    if (options != 1 && options != 2)
        throw EMhtError(
            QStringLiteral("Cannot write \"%1\": unsupported save options %2 (1 creates, 2 creates or replaces).")
                .arg(path, QString::number(options)));
    if (chunks.empty())
        throw EMhtError(QStringLiteral("Cannot write \"%1\": no archive was created.").arg(path));
    try {
        TkvAtomicFile::WriteAll(path, chunks, options == 2);
    } catch (const TkvFileError &error) {
        throw EMhtError(QString::fromUtf8(error.what()));
    }
}
