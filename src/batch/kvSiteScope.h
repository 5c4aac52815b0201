#pragma once

#include "kvUrl.h"

#include <QString>

#include <optional>

/// Which addresses belong to the search of a web site: a start folder (a canonical http(s) address
/// ending with '/'), a mask for the pages' names, and whether subfolders are searched.
///
/// An address is in scope when it has the folder's scheme, host, port and user; its path lies below
/// the folder's (directly in it unless subfolders are searched); it has no query (sites make endless
/// variants of those); and its last segment, percent-decoded, matches the mask as a file name does
/// (TkvWildcard: whole name, ignoring case) or is empty (a folder's index page, "…/api/"). The start
/// folder itself is always in scope.
///
/// A value type; const methods are reentrant.
class TkvSiteScope
{
public:
    /// The scope a Source names, or nothing when the Source is not a site: a site is an http: or https:
    /// address whose last path segment holds '*'. Everything after the last '/' before the query is the
    /// mask, so `https://host/docs/*.htm?` is the folder `https://host/docs/` with the mask `*.htm?`
    /// (the '?' after a '*' belongs to the mask); a '?' before any '*' starts a query as in every
    /// address, so `https://host/find?q=*` stays a single page. A fragment is ignored.
    static std::optional<TkvSiteScope> FromSource(const QString &source, bool subdirs);

    /// A scope from its parts. REQUIRES: `folder` is a valid http(s) URL whose path ends with '/'.
    TkvSiteScope(const TkvUrl &folder, const QString &mask, bool subdirs);

    QString Folder() const { return folder.ToString(); } ///< canonical, ends with '/'
    const TkvUrl &FolderUrl() const { return folder; }
    QString Mask() const { return mask; }
    bool Subdirs() const { return subdirs; }

    /// True when the canonical address `url` is a page of this search (see the class comment).
    bool Contains(const TkvUrl &url) const;
    bool Contains(const QString &url) const { return Contains(TkvUrl::Parse(url)); }

    /// True when `url` lies below the folder at all (same origin and user, path under the folder's,
    /// no query), whatever its name and depth.
    bool IsBelowFolder(const TkvUrl &url) const;

    /// The part of `url`'s path below the folder, percent-encoded as in the address: "api/x.html",
    /// "api/" or "" for the folder itself. REQUIRES: IsBelowFolder(url).
    QString RelativePath(const TkvUrl &url) const;

private:
    TkvUrl folder;
    QString mask;
    bool subdirs = false;
};
