#pragma once

#include <QHash>
#include <QSet>
#include <QString>

/// The archive names of a web site's pages: each page's path below the start folder becomes a path
/// below Target, subfolders kept. `https://host/docs/api/x.html` with the start folder
/// `https://host/docs/` gives `api/x.mht`, the folder's index page `https://host/docs/api/` gives
/// `api/index.mht`.
///
/// Every segment is made a name the file system takes and that stays inside Target: percent escapes
/// are decoded when they give UTF-8 text; a '/', NUL, control character or line separator stays written
/// as its escape ("a%2Fb", "x%0Ay"), the names "." and ".." become "%2E" and "%2E%2E", an empty segment
/// ("a//b") becomes "_", and bytes that are not UTF-8 keep their escapes. A segment that would not fit
/// in a file name (255 bytes) is shortened and ends with a digest of its full text. The last extension
/// of a page's name is replaced by the target extension.
///
/// Two pages never share a name: when a page's name is taken (x.html and x.htm both give x.mht; escapes
/// that decode alike; a page named like a folder), it gets "-2", "-3" ... before its extension, the
/// first free one. Names therefore depend on the order pages are named in; the site search reports
/// pages in a deterministic order.
///
/// Not thread-safe: one object per site search, called by the thread that takes its pages.
class TkvSiteTargetNames
{
public:
    /// `folderPath`: the percent-encoded path of the start folder (ends with '/'); `targetExt`: the
    /// extension archives get, with its dot (".mht").
    TkvSiteTargetNames(const QString &folderPath, const QString &targetExt);

    /// The relative target path of the page at the percent-encoded `path` (the page's canonical address
    /// without scheme and host), extension included: "api/x.mht". The same path always gets the same
    /// name. REQUIRES: `path` begins with the folder path.
    QString Assign(const QString &path);

    /// One segment of a path (percent-encoded, as in an address) as a file or folder name: never empty,
    /// never "." or "..", without '/' or NUL, at most `maxBytes` bytes of UTF-8.
    static QString SafeSegment(const QString &segment, int maxBytes = MaxNameBytes);

    static constexpr int MaxNameBytes = 255;

private:
    /// `name` cut to at most `maxBytes` bytes of UTF-8 with a digest of the whole name at its end;
    /// `name` itself when it fits.
    static QString shortened(const QString &name, int maxBytes);
    QString folderFor(const QString &encodedFolder);
    QString freeFileName(const QString &folder, const QString &stem);

    QString folderPath;
    QString targetExt;
    QHash<QString, QString> assigned; ///< page path -> relative target path
    QHash<QString, QString> folders;  ///< encoded folder below the start ("a/b/") -> target folder ("a/b/")
    QSet<QString> takenFiles;         ///< relative target paths handed out
    QSet<QString> takenFolders;       ///< relative target folders in use, without the final '/'
};
