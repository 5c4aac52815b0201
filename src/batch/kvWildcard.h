#pragma once

#include <QString>

/// The listing's wildcard test of a bare file name.
///
/// Thread safety: pure; any thread.
class TkvWildcard
{
public:
    /// True when the whole of `name` matches `mask`, ignoring case: '*' matches any run of characters,
    /// '?' zero or one character, every other character itself. An empty mask matches nothing.
    static bool Matches(const QString &mask, const QString &name);
};
