#include "kvFileFetcher.h"

#include "kvFileName.h"
#include "kvMhtMessage.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString errorText(int error)
{
    char buffer[256];
    return QString::fromLocal8Bit(strerror_r(error, buffer, sizeof buffer));
}

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
void checkKind(const QString &path, const struct stat &st, qint64 maxBytes)
{
    if (S_ISDIR(st.st_mode))
        cannotOpen(path, errorText(EISDIR));
    if (!S_ISREG(st.st_mode))
        cannotOpen(path, QStringLiteral("Not a regular file"));
    if (st.st_size > maxBytes)
        tooLarge(path, maxBytes);
}

qint64 mtimeNs(const struct stat &st)
{
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

class TDescriptor
{
public:
    explicit TDescriptor(int fd) : fd(fd) {}
    ~TDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    const int fd;
};

} // namespace

TkvFetchResult TkvFileFetcher::Read(const QString &path, qint64 maxBytes)
{
    const QByteArray native = TkvFileName::Encode(path);
    struct stat st;
    // stat before opening, so that a FIFO or device is never opened at all.
    if (::stat(native.constData(), &st) != 0)
        cannotOpen(path, errorText(errno));
    checkKind(path, st, maxBytes);
    const TDescriptor file(::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.fd < 0)
        cannotOpen(path, errorText(errno));
    // The name may have been replaced between stat and open: judge what was actually opened.
    if (::fstat(file.fd, &st) != 0)
        cannotOpen(path, errorText(errno));
    checkKind(path, st, maxBytes);

    QByteArray body;
    body.resize(qsizetype(st.st_size));
    qint64 filled = 0;
    while (true) {
        if (filled == body.size()) {
            if (filled > maxBytes)
                tooLarge(path, maxBytes);
            // The file may have grown since fstat: keep reading until end of file.
            body.resize(qsizetype(std::min<qint64>(maxBytes + 1, filled + 65536)));
            if (filled == body.size())
                tooLarge(path, maxBytes);
        }
        const ssize_t n = ::read(file.fd, body.data() + filled, size_t(body.size() - filled));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EMhtError(QStringLiteral("Cannot read \"%1\": %2").arg(path, errorText(errno)));
        }
        if (n == 0)
            break;
        filled += n;
    }
    if (filled > maxBytes)
        tooLarge(path, maxBytes);
    body.truncate(qsizetype(filled));

    TkvFetchResult result;
    result.body = std::move(body);
    result.fileSize = st.st_size;
    result.fileMtimeNs = mtimeNs(st);
    result.lastModified = QDateTime::fromMSecsSinceEpoch(result.fileMtimeNs / 1000000, Qt::UTC);
    result.fetchedAt = QDateTime::currentDateTimeUtc();
    return result;
}

std::optional<TkvFileStamp> TkvFileFetcher::Stamp(const QString &path)
{
    struct stat st;
    if (::stat(TkvFileName::Encode(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return TkvFileStamp{st.st_size, mtimeNs(st)};
}
