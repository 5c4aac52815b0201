#include "kvTargetClaims.h"

QString TkvTargetClaims::Claim(const QString &path, const QString &ext,
                               const std::function<bool(const QString &)> &taken)
{
    std::lock_guard guard(lock);
    const auto isFree = [&](const QString &candidate) {
        return !claimed.contains(candidate) && !(taken && taken(candidate));
    };
    QString candidate = path;
    for (int n = 2; !isFree(candidate); ++n)
        candidate = Numbered(path, ext, n);
    claimed.insert(candidate);
    return candidate;
}

bool TkvTargetClaims::FirstUseOf(const QString &folder)
{
    std::lock_guard guard(lock);
    if (folders.contains(folder))
        return false;
    folders.insert(folder);
    return true;
}

QString TkvTargetClaims::Numbered(const QString &path, const QString &ext, int n)
{
    const bool hasExt = !ext.isEmpty() && path.endsWith(ext);
    const QString stem = hasExt ? path.left(path.size() - ext.size()) : path;
    return stem + u'-' + QString::number(n) + (hasExt ? ext : QString());
}
