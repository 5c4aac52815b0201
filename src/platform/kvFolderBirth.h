#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>

/// Birth (creation) times of folders, and their DOS date-time form. Any thread.
namespace kvFolderBirth {

/// The birth time of `path` (a folder or file; a trailing '/' is ignored) in UTC, from statx.
/// Returns an invalid QDateTime when the path does not exist or its file system keeps no birth time.
QDateTime BirthTime(const QString &path);

/// A UTC time as a DOS date-time: the DOS date in the upper 16 bits (year-1980 in bits 15..9, month
/// 8..5, day 4..0), the DOS time in the lower 16 bits (hour 15..11, minute 10..5, seconds/2 4..0),
/// read as a signed 32-bit number. Returns -1 for an invalid time or a year outside 1980..2107.
int32_t DosDateTime(const QDateTime &utc);

/// DosDateTime(BirthTime(path)): -1 when there is no birth time.
int32_t BirthDosDateTime(const QString &path);

} // namespace kvFolderBirth
