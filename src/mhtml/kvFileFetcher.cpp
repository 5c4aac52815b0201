#include "kvFileFetcher.h"

#include "kvMhtError.h"
#include "kvNativeFile.h"

#include <cerrno>

namespace {

[[noreturn]] void cannotOpen(const QString &path, const QString &cause)
{
    throw EMhtError(QStringLiteral("Cannot open \"%1\": %2").arg(path, cause));
}

[[noreturn]] void tooLarge(const QString &path, qint64 maxBytes)
{
    const qint64 mib = 1024 * 1024;
    const QString limit =
        maxBytes % mib == 0 ? QStringLiteral("%1 MiB").arg(maxBytes / mib) : QStringLiteral("%1 bytes").arg(maxBytes);
    throw EMhtError(QStringLiteral("Cannot read \"%1\": The file is larger than %2.").arg(path, limit));
}

/// Refuses everything but a regular file of at most maxBytes.
void checkKind(const QString &path, const TkvFileStatus &status, qint64 maxBytes)
{
    if (status.kind == TkvFileStatus::Kind::Folder)
        cannotOpen(path, TkvNativeFile::ErrorText(EISDIR));
    if (status.kind != TkvFileStatus::Kind::Regular)
        cannotOpen(path, QStringLiteral("Not a regular file"));
    if (status.size > maxBytes)
        tooLarge(path, maxBytes);
}

/// Reads `file` to its end into `body` (sized to the expected length), growing it when the file has
/// grown since it was measured.
void readToEnd(TkvNativeFile &file, const QString &path, qint64 maxBytes, QByteArray &body)
{
    qint64 filled = 0;
    while (true) {
        if (filled == body.size()) {
            if (filled > maxBytes)
                tooLarge(path, maxBytes);
            body.resize(qsizetype(std::min<qint64>(maxBytes + 1, filled + 65536)));
            if (filled == body.size())
                tooLarge(path, maxBytes);
        }
        const qint64 n = file.Read(body.data() + filled, body.size() - filled);
        if (n < 0)
            throw EMhtError(
                QStringLiteral("Cannot read \"%1\": %2").arg(path, TkvNativeFile::ErrorText(file.LastError())));
        if (n == 0)
            break;
        filled += n;
    }
    if (filled > maxBytes)
        tooLarge(path, maxBytes);
    body.truncate(qsizetype(filled));
}

} // namespace

TkvFetchResult TkvFileFetcher::Read(const QString &path, qint64 maxBytes)
{
    int error = 0;
    // The status before opening, so that a FIFO or device is never opened at all.
    const std::optional<TkvFileStatus> before = TkvNativeFile::StatusOf(path, &error);
    if (!before)
        cannotOpen(path, TkvNativeFile::ErrorText(error));
    checkKind(path, *before, maxBytes);
    TkvNativeFile file;
    if (!file.OpenForReading(path))
        cannotOpen(path, TkvNativeFile::ErrorText(file.LastError()));
    // The name may have been replaced between the two: judge what was actually opened.
    const std::optional<TkvFileStatus> opened = file.Status();
    if (!opened)
        cannotOpen(path, TkvNativeFile::ErrorText(file.LastError()));
    checkKind(path, *opened, maxBytes);

    QByteArray body;
    body.resize(qsizetype(opened->size));
    readToEnd(file, path, maxBytes, body);

    TkvFetchResult result;
    result.body = std::move(body);
    result.fileSize = opened->size;
    result.fileMtimeNs = opened->mtimeNs;
    result.lastModified = QDateTime::fromMSecsSinceEpoch(result.fileMtimeNs / 1000000, Qt::UTC);
    result.fetchedAt = QDateTime::currentDateTimeUtc();
    return result;
}

std::optional<TkvFileStamp> TkvFileFetcher::Stamp(const QString &path)
{
    const std::optional<TkvFileStatus> status = TkvNativeFile::StatusOf(path);
    if (!status || status->kind != TkvFileStatus::Kind::Regular)
        return std::nullopt;
    return TkvFileStamp{status->size, status->mtimeNs};
}
