#include "kvWildcard.h"

#include <vector>

bool TkvWildcard::Matches(const QString &mask, const QString &name)
{
    if (mask.isEmpty())
        return false;
    // can[j]: the mask so far matches the first j characters of the name. The buffers are kept per
    // thread: a search tests every name of every folder.
    const qsizetype n = name.size();
    thread_local std::vector<char> can, next;
    thread_local QString folded;
    can.assign(n + 1, 0);
    next.assign(n + 1, 0);
    can[0] = 1;
    folded.resize(n);
    for (qsizetype j = 0; j < n; ++j)
        folded[j] = name[j].toCaseFolded();
    for (QChar m : mask) {
        if (m == u'*') {
            next[0] = can[0];
            for (qsizetype j = 1; j <= n; ++j)
                next[j] = can[j] || next[j - 1];
        } else if (m == u'?') {
            next[0] = can[0];
            for (qsizetype j = 1; j <= n; ++j)
                next[j] = can[j] || can[j - 1];
        } else {
            m = m.toCaseFolded();
            next[0] = 0;
            for (qsizetype j = 1; j <= n; ++j)
                next[j] = can[j - 1] && folded[j - 1] == m;
        }
        can.swap(next);
    }
    return can[n];
}
