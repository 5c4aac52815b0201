#include "kvWildcard.h"

#include <vector>

bool TkvWildcard::Matches(const QString &mask, const QString &name)
{
    if (mask.isEmpty())
        return false;
    // can[j]: the mask so far matches the first j characters of the name.
    const qsizetype n = name.size();
    std::vector<char> can(n + 1, 0), next(n + 1, 0);
    can[0] = 1;
    for (const QChar m : mask) {
        if (m == u'*') {
            next[0] = can[0];
            for (qsizetype j = 1; j <= n; ++j)
                next[j] = can[j] || next[j - 1];
        } else if (m == u'?') {
            next[0] = can[0];
            for (qsizetype j = 1; j <= n; ++j)
                next[j] = can[j] || can[j - 1];
        } else {
            const QChar folded = m.toCaseFolded();
            next[0] = 0;
            for (qsizetype j = 1; j <= n; ++j)
                next[j] = can[j - 1] && name[j - 1].toCaseFolded() == folded;
        }
        can.swap(next);
    }
    return can[n];
}
