#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

/// What one fetch returned.
struct TkvFetchResult
{
    QByteArray body;        ///< the decoded body (Content-Encoding removed), or the file's bytes
    QString contentType;    ///< the server's Content-Type header as sent; empty for files and when absent
    QString finalUrl;       ///< canonical URL the body came from (after redirects)
    QDateTime lastModified; ///< file mtime, or the HTTP Last-Modified header; invalid when unknown
    QDateTime fetchedAt;    ///< UTC time the fetch completed
    int httpStatus = 0;     ///< final HTTP status; 0 for files
    qint64 fileSize = -1;   ///< files only: st_size at the time the bytes were read (fstat of the open file)
    qint64 fileMtimeNs = 0; ///< files only: st_mtim in nanoseconds since the epoch
};
