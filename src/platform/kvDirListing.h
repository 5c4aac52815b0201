#pragma once

#include <QString>
#include <QStringList>

#include <compare>
#include <cstdint>

/// The identity of a folder on its file system (device and inode), to notice a folder reached twice
/// through links.
struct TkvFileId
{
    uint64_t Device = 0;
    uint64_t Inode = 0;
    auto operator<=>(const TkvFileId &) const = default;
};

/// One listing of a folder: the names of its regular files (links to regular files included) and of
/// its folders (links to folders included), in the order the file system returns them; "." and ".."
/// are left out, as are FIFOs, sockets, devices and dangling links. Names are decoded with
/// TkvFileName::Decode.
///
/// Thread safety: stateless; any thread.
class TkvDirListing
{
public:
    /// Lists `folder` (with or without a trailing '/'). Returns false, leaving the lists empty, when
    /// the folder cannot be opened or read; `id` then stays unchanged and `error` (when given) holds
    /// the system's error number. A name holding a NUL character names no folder (EINVAL).
    static bool List(const QString &folder, QStringList &files, QStringList &folders, TkvFileId &id,
                     int *error = nullptr);
};
