#pragma once

#include "kvFetchPolicy.h"
#include "kvFetchResult.h"

#include <optional>

/// The size and modification time of a file, as the resource cache compares them.
struct TkvFileStamp
{
    qint64 size = -1;
    qint64 mtimeNs = 0;
    bool operator==(const TkvFileStamp &) const = default;
};

/// Reads local files for the archive engine. Only regular files (or links to them) are read: a FIFO,
/// device, socket or folder is refused without ever blocking (stat before, open with O_NONBLOCK,
/// fstat of the open descriptor after). Stateless; any thread.
class TkvFileFetcher
{
public:
    /// Reads the whole file at the local `path`. Throws EMhtError:
    ///   Cannot open "/in/a.htm": No such file or directory
    ///   Cannot open "/in/dir": Is a directory / : Not a regular file
    ///   Cannot read "/in/big.bin": The file is larger than 100 MiB.
    /// `fileSize`, `fileMtimeNs` and `lastModified` come from the fstat of the open file.
    static TkvFetchResult Read(const QString &path, qint64 maxBytes = TkvFetchPolicy::DefaultMaxBytes);

    /// The current stamp of the file at `path` (following links); nullopt when it cannot be stat'ed
    /// or is not a regular file.
    static std::optional<TkvFileStamp> Stamp(const QString &path);
};
