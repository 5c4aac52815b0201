#pragma once

#include <QString>

/// Path text helpers for POSIX paths ('/' separates folders). Stateless; any thread.
class TkvPath
{
public:
    /// The text up to and including the last '/'; empty when there is none ("/in/a.htm" -> "/in/").
    static QString FolderPart(const QString &path);
    /// The text after the last '/' (the whole text when there is none).
    static QString NamePart(const QString &path);
    /// `path` without the '/' characters it ends with, but never shorter than one character: "/a/b//"
    /// gives "/a/b", "/" and "//" give "/".
    static QString WithoutTrailingSlash(const QString &path);
    /// `path` ending with exactly `ext` (".log"): an ending that differs from `ext` only in letter case
    /// is replaced by it, any other name gets `ext` appended ("a.LOG" gives "a.log", "a.txt" gives
    /// "a.txt.log"). An empty `ext` leaves the path as it is.
    static QString WithExtension(const QString &path, const QString &ext);
    /// A "file:" URL as a local path: "file:" and the slashes after it removed, one '/' put in front,
    /// percent escapes decoded to bytes and read as a file name (TkvFileName::Decode), so
    /// file:///home/u/a%20b.htm gives /home/u/a b.htm. A URL with nothing after its slashes gives the
    /// empty text. Any other text (a path, a web address) is returned unchanged.
    static QString UrlToPath(const QString &text);
    /// True for text that names a place on the web rather than a file: it begins with "http" in any
    /// letter case, or holds "://" after a scheme other than "file". Such text is never a folder to
    /// write to.
    static bool IsWebAddress(const QString &text);
    /// Full path of the running executable (empty when the system does not tell).
    static QString ExecutablePath();
};
