#pragma once

#include <QByteArray>
#include <QString>

/// File names as the program holds them, and file operations on such names.
///
/// Linux file names are bytes. A name that is valid UTF-8 becomes the same text; every byte that is
/// not part of a valid UTF-8 sequence becomes the lone surrogate U+DC80..U+DCFF of its value, so that
/// `Encode(Decode(bytes)) == bytes` for every name (QFile::decodeName would turn such bytes into
/// U+FFFD and lose the name). Open files named by such a path through `Encode` and the POSIX calls.
///
/// Thread safety: all functions are pure or act on the file system only; any thread.
class TkvFileName
{
public:
    static QString Decode(const QByteArray &bytes);
    static QByteArray Encode(const QString &name);
    /// The name whose bytes `text` spells with percent escapes, as the path of a file: URL does
    /// ("a%20b" gives "a b", "caf%C3%A9" gives "café", "%FF" keeps the byte 0xFF).
    static QString FromPercentEncoding(const QString &text);

    /// True when `path` names an existing entry of any kind (links followed).
    static bool Exists(const QString &path);
    /// True when `path` names a folder (links followed).
    static bool IsDir(const QString &path);
    /// True when `a` and `b` are one file: the same path, or names (links followed) of the same device
    /// and inode, such as two hard links.
    static bool SameFile(const QString &a, const QString &b);
    /// Creates `path` with every missing parent (mode 0777 before the umask). True when the folder
    /// exists afterwards.
    static bool MakePath(const QString &path);
    /// Removes the file `path`. False (with errno set) on failure.
    static bool Remove(const QString &path);
    /// Moves `from` to `to`, replacing `to`. False (with errno set) on failure.
    static bool Rename(const QString &from, const QString &to);
    /// Moves `from` to `to` only when nothing is named `to`: an existing entry of that name is never
    /// replaced, also when another process creates it at the same moment. False (with errno set,
    /// EEXIST when the name is taken) on failure; `from` is then left as it was.
    static bool RenameNoReplace(const QString &from, const QString &to);
};
