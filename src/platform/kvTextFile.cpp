#include "kvTextFile.h"

#include "kvAtomicFile.h"
#include "kvFileError.h"
#include "kvFileName.h"
#include "kvPath.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/// Closes a descriptor on every path out of a scope.
class TkvFd
{
public:
    explicit TkvFd(int fd) : fd(fd) {}
    ~TkvFd()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    TkvFd(const TkvFd &) = delete;
    TkvFd &operator=(const TkvFd &) = delete;
    int get() const { return fd; }
    /// Closes now and reports the result (errno set on failure).
    bool close()
    {
        const int result = ::close(fd);
        fd = -1;
        return result == 0;
    }

private:
    int fd;
};

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

QString decodeWith(const char *name, QByteArrayView bytes)
{
    QStringDecoder decoder(name, QStringDecoder::Flag::Stateless);
    return decoder.isValid() ? decoder.decode(bytes) : QString::fromLatin1(bytes);
}

} // namespace

QString TkvTextFile::Decode(const QByteArray &bytes)
{
    const QByteArrayView view(bytes);
    if (view.startsWith("\xEF\xBB\xBF")) {
        return QString::fromUtf8(view.sliced(3));
    }
    if (view.startsWith("\xFF\xFE")) {
        return decodeWith("UTF-16LE", view.sliced(2));
    }
    if (view.startsWith("\xFE\xFF")) {
        return decodeWith("UTF-16BE", view.sliced(2));
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(view);
    if (!utf8.hasError()) {
        return text;
    }
    return decodeWith("windows-1252", view);
}

QByteArray TkvTextFile::Encode(const QStringList &lines)
{
    QByteArray bytes;
    for (const QString &line : lines) {
        bytes += line.toUtf8();
        bytes += "\r\n";
    }
    return bytes;
}

QStringList TkvTextFile::SplitLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines.append(text.mid(start, i - start));
            if (c == QLatin1Char('\r') && i + 1 < size && text.at(i + 1) == QLatin1Char('\n')) {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < size) {
        lines.append(text.mid(start));
    }
    return lines;
}

QByteArray TkvTextFile::ReadBytes(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    // O_NONBLOCK keeps a FIFO from blocking the open; only regular files are read.
    TkvFd fd(::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        throw TkvFileError::FromErrno("open", path, errno);
    }
    struct stat info
    {
    };
    if (::fstat(fd.get(), &info) != 0) {
        throw TkvFileError::FromErrno("open", path, errno);
    }
    if (S_ISDIR(info.st_mode)) {
        throw TkvFileError::FromErrno("open", path, EISDIR);
    }
    if (!S_ISREG(info.st_mode)) {
        throw TkvFileError(QStringLiteral("Cannot open file \"%1\". It is not a regular file.").arg(path));
    }
    QByteArray bytes;
    bytes.reserve(qsizetype(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw TkvFileError::FromErrno("read", path, errno);
        }
        if (got == 0) {
            break;
        }
        bytes.append(buffer, got);
    }
    return bytes;
}

QStringList TkvTextFile::ReadLines(const QString &path)
{
    return SplitLines(Decode(ReadBytes(path)));
}

void TkvTextFile::WriteLines(const QString &path, const QStringList &lines)
{
    ReplaceBytes(path, Encode(lines));
}

void TkvTextFile::ReplaceBytes(const QString &path, const QByteArray &bytes, bool createFolders)
{
    if (path.isEmpty()) {
        throw TkvFileError::FromErrno("create", path, ENOENT);
    }
    // Replace what a symbolic link points to rather than the link itself.
    QString target = path;
    const QFileInfo info(path);
    if (info.isSymLink()) {
        const QString resolved = info.exists() ? info.canonicalFilePath() : info.symLinkTarget();
        if (!resolved.isEmpty()) {
            target = resolved;
        }
    }
    if (createFolders)
        TkvFileName::MakePath(TkvPath::FolderPart(target)); // a failure shows in the next step
    // A new file gets the usual 0666 less the umask (which can only be read by setting it, so it is
    // set back at once); a replaced one keeps its own mode.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    try {
        TkvAtomicFile::WriteAll(target, {bytes}, true, 0666 & ~unsigned(mask));
    } catch (const TkvFileError &error) {
        throw TkvFileError::FromErrno("create", path, error.Error() ? error.Error() : EIO);
    }
}

void TkvTextFile::WriteBytes(const QString &path, const QByteArray &bytes, bool append)
{
    const QByteArray name = QFile::encodeName(path);
    int raw = ::open(name.constData(), O_RDWR | O_CLOEXEC);
    if (raw < 0) {
        const int openError = errno;
        struct stat info
        {
        };
        if (::lstat(name.constData(), &info) == 0) {
            throw TkvFileError::FromErrno("open", path, openError); // it exists but cannot be opened
        }
        raw = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (raw < 0) {
            throw TkvFileError::FromErrno("create", path, errno);
        }
    }
    TkvFd fd(raw);
    if (append) {
        if (::lseek(fd.get(), 0, SEEK_END) < 0 && errno != ESPIPE) { // a pipe has no end to seek to
            throw TkvFileError::FromErrno("write", path, errno);
        }
    } else if (::ftruncate(fd.get(), 0) != 0) {
        throw TkvFileError::FromErrno("write", path, errno);
    }
    if (!writeAll(fd.get(), bytes) || !fd.close()) {
        throw TkvFileError::FromErrno("write", path, errno);
    }
}
