#include "kvFolderBirth.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace kvFolderBirth {

QDateTime BirthTime(const QString &path)
{
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    if (p.isEmpty())
        return {};
    struct statx info
    {
    };
    if (::statx(AT_FDCWD, p.toLocal8Bit().constData(), 0, STATX_BTIME, &info) != 0)
        return {};
    if ((info.stx_mask & STATX_BTIME) == 0)
        return {};
    const qint64 ms = qint64(info.stx_btime.tv_sec) * 1000 + info.stx_btime.tv_nsec / 1000000;
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

int32_t DosDateTime(const QDateTime &utc)
{
    if (!utc.isValid())
        return -1;
    const QDateTime t = utc.toUTC();
    const QDate d = t.date();
    const QTime tm = t.time();
    if (d.year() < 1980 || d.year() > 2107)
        return -1;
    const uint32_t date = uint32_t(d.year() - 1980) << 9 | uint32_t(d.month()) << 5 | uint32_t(d.day());
    const uint32_t time = uint32_t(tm.hour()) << 11 | uint32_t(tm.minute()) << 5 | uint32_t(tm.second() / 2);
    return static_cast<int32_t>(date << 16 | time);
}

int32_t BirthDosDateTime(const QString &path)
{
    return DosDateTime(BirthTime(path));
}

} // namespace kvFolderBirth
