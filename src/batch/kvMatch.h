#pragma once

#include "kvMatchBase.h"

/// Turns a wildcard mask into a regular expression anchored at the end of the subject only: '.' and
/// the characters + ^ $ ( ) [ ] { } are escaped, '*' becomes ".*", '?' becomes ".?" (zero or one
/// character), and "$" is appended. Other characters pass unchanged; "" gives "$".
QString MaskToRegex(const QString &mask);

/// The regular-expression name test: true when `pattern` matches somewhere in `subject`, ignoring
/// case. An expression that cannot be run (invalid pattern, any error) counts as a match.
///
/// Thread safety: stateless; any thread.
class TkvMatch : public TkvMatchBase
{
public:
    bool Match(const QString &subject, const QString &pattern) const override;
};
