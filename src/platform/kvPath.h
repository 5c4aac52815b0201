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
    /// Creates `folder` with every missing parent. Returns true when the folder exists afterwards.
    static bool ForceFolders(const QString &folder);
    /// Full path of the running executable (empty when the system does not tell).
    static QString ExecutablePath();
};
