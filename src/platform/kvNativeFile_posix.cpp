#include "kvNativeFile.h"

#include "kvFileName.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace {

TkvFileStatus statusFrom(const struct stat &st)
{
    TkvFileStatus status;
    status.kind = S_ISREG(st.st_mode)   ? TkvFileStatus::Kind::Regular
                  : S_ISDIR(st.st_mode) ? TkvFileStatus::Kind::Folder
                                        : TkvFileStatus::Kind::Other;
    status.size = st.st_size;
    status.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    status.permissions = st.st_mode & 07777;
    return status;
}

} // namespace

TkvNativeFile::~TkvNativeFile()
{
    if (fd >= 0)
        ::close(fd);
}

TkvNativeFile::TkvNativeFile(TkvNativeFile &&other) noexcept
    : fd(std::exchange(other.fd, -1)), lastError(other.lastError)
{
}

TkvNativeFile &TkvNativeFile::operator=(TkvNativeFile &&other) noexcept
{
    if (this != &other) {
        if (fd >= 0)
            ::close(fd);
        fd = std::exchange(other.fd, -1);
        lastError = other.lastError;
    }
    return *this;
}

bool TkvNativeFile::failed()
{
    lastError = errno;
    return false;
}

bool TkvNativeFile::OpenForReading(const QString &path)
{
    fd = ::open(TkvFileName::Encode(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    return fd >= 0 || failed();
}

bool TkvNativeFile::CreateUnique(const QString &prefix, const QString &suffix, QString &createdName)
{
    const QByteArray encodedSuffix = TkvFileName::Encode(suffix);
    QByteArray pattern = TkvFileName::Encode(prefix) + "XXXXXX" + encodedSuffix;
    fd = ::mkostemps(pattern.data(), int(encodedSuffix.size()), O_CLOEXEC);
    if (fd < 0)
        return failed();
    createdName = TkvFileName::Decode(pattern);
    return true;
}

std::optional<TkvFileStatus> TkvNativeFile::Status()
{
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        failed();
        return std::nullopt;
    }
    return statusFrom(st);
}

qint64 TkvNativeFile::Read(char *data, qint64 size)
{
    for (;;) {
        const ssize_t n = ::read(fd, data, size_t(size));
        if (n >= 0)
            return n;
        if (errno != EINTR) {
            failed();
            return -1;
        }
    }
}

bool TkvNativeFile::WriteAll(const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return failed();
        if (written == 0) {
            lastError = EIO;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool TkvNativeFile::SetPermissions(unsigned permissions)
{
    return ::fchmod(fd, mode_t(permissions)) == 0 || failed();
}

bool TkvNativeFile::Close()
{
    const int closed = ::close(std::exchange(fd, -1));
    return closed == 0 || failed();
}

std::optional<TkvFileStatus> TkvNativeFile::StatusOf(const QString &path, int *error)
{
    struct stat st;
    if (::stat(TkvFileName::Encode(path).constData(), &st) != 0) {
        if (error)
            *error = errno;
        return std::nullopt;
    }
    return statusFrom(st);
}

QString TkvNativeFile::ErrorText(int error)
{
    char buffer[256];
    // The GNU strerror_r returns the text, which need not be in `buffer`.
    return QString::fromLocal8Bit(strerror_r(error, buffer, sizeof buffer));
}
