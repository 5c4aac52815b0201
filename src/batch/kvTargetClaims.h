#pragma once

#include <QSet>
#include <QString>

#include <functional>
#include <mutex>

/// The archive paths the pages of one job have been given. Within a run no page's archive may replace
/// another page's (a.htm, a.html and a.HTM all make a.mht), so a page whose path is taken gets the
/// first free numbered one instead: "a-2.mht", "a-3.mht" ... Which of two such pages gets the plain
/// name follows the order in which they ask, which is the queue's order with one converter.
///
/// Thread safety: every member from any thread; Claim is atomic, so two converters never get one path.
class TkvTargetClaims
{
public:
    /// Claims and returns `path` when it is free, else the first numbered form of it (a "-<n>" put
    /// before `ext`, the end of `path`) that is free. Free: not claimed before, and `taken` (called with
    /// the claims locked; may be empty) says false.
    QString Claim(const QString &path, const QString &ext, const std::function<bool(const QString &)> &taken = {});

    /// True for the first call with `folder`, false for every later one: work done once per target
    /// folder of a run (removing what a killed earlier run left there).
    bool FirstUseOf(const QString &folder);

    /// `path` with "-<n>" before `ext` ("/out/a.mht", ".mht", 2 gives "/out/a-2.mht"); when `path` does
    /// not end with `ext`, the number goes at its end.
    static QString Numbered(const QString &path, const QString &ext, int n);

private:
    std::mutex lock;
    QSet<QString> claimed;
    QSet<QString> folders;
};
