#include "kvFileName.h"

#include "kvUtf8.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString TkvFileName::Decode(const QByteArray &bytes)
{
    const auto *s = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    QString out;
    out.reserve(n);
    qsizetype run = 0; // start of the pending run of valid UTF-8
    qsizetype i = 0;
    while (i < n) {
        const int len = TkvUtf8::SequenceLength(s, i, n);
        if (len > 0) {
            i += len;
            continue;
        }
        out += QString::fromUtf8(bytes.constData() + run, i - run);
        out += QChar(char16_t(0xDC00 + s[i]));
        ++i;
        run = i;
    }
    out += QString::fromUtf8(bytes.constData() + run, n - run);
    return out;
}

QString TkvFileName::FromPercentEncoding(const QString &text)
{
    return Decode(QByteArray::fromPercentEncoding(text.toUtf8()));
}

QByteArray TkvFileName::Encode(const QString &name)
{
    QByteArray out;
    out.reserve(name.size() + 8);
    qsizetype run = 0;
    const qsizetype n = name.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = name[i].unicode();
        if (c < 0xDC80 || c > 0xDCFF)
            continue;
        // A low surrogate that follows a high one is half of a real character.
        if (i > 0 && QChar::isHighSurrogate(name[i - 1].unicode()))
            continue;
        out += QStringView(name).mid(run, i - run).toUtf8();
        out += char(c - 0xDC00);
        run = i + 1;
    }
    out += QStringView(name).mid(run).toUtf8();
    return out;
}

bool TkvFileName::Exists(const QString &path)
{
    struct stat st;
    return !path.isEmpty() && ::stat(Encode(path).constData(), &st) == 0;
}

bool TkvFileName::IsDir(const QString &path)
{
    struct stat st;
    return !path.isEmpty() && ::stat(Encode(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool TkvFileName::SameFile(const QString &a, const QString &b)
{
    if (a == b)
        return true;
    struct stat first, second;
    return ::stat(Encode(a).constData(), &first) == 0 && ::stat(Encode(b).constData(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool TkvFileName::MakePath(const QString &path)
{
    QByteArray bytes = Encode(path);
    while (bytes.size() > 1 && bytes.endsWith('/'))
        bytes.chop(1);
    if (bytes.isEmpty())
        return false;
    struct stat st;
    if (::stat(bytes.constData(), &st) == 0)
        return S_ISDIR(st.st_mode);
    // Create each missing level from the top down.
    for (qsizetype i = 1; i <= bytes.size(); ++i) {
        if (i < bytes.size() && bytes[i] != '/')
            continue;
        const QByteArray level = bytes.left(i);
        if (::mkdir(level.constData(), 0777) != 0 && errno != EEXIST)
            return false;
    }
    return ::stat(bytes.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool TkvFileName::Remove(const QString &path)
{
    return ::unlink(Encode(path).constData()) == 0;
}

bool TkvFileName::Rename(const QString &from, const QString &to)
{
    return ::rename(Encode(from).constData(), Encode(to).constData()) == 0;
}

bool TkvFileName::RenameNoReplace(const QString &from, const QString &to)
{
    const QByteArray source = Encode(from);
    const QByteArray target = Encode(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag: a second link under the new name, which fails when the name is
    // taken, then the old name removed.
    if (::link(source.constData(), target.constData()) != 0)
        return false;
    if (::unlink(source.constData()) != 0) {
        const int error = errno;
        ::unlink(target.constData());
        errno = error;
        return false;
    }
    return true;
}
