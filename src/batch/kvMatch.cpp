#include "kvMatch.h"

#include "VBScriptRegex.h"

QString MaskToRegex(const QString &mask)
{
    QString result = mask;
    // The dot goes first, before '*' and '?' bring in their own unescaped dots.
    result.replace(u'.', QStringLiteral("\\."));
    result.replace(u'*', QStringLiteral(".*"));
    result.replace(u'?', QStringLiteral(".?"));
    for (const QChar c : {u'+', u'^', u'$', u'(', u')', u'[', u']', u'{', u'}'})
        result.replace(c, QStringLiteral("\\") + c);
    return result + u'$';
}

bool TkvMatch::Match(const QString &subject, const QString &pattern) const
{
    try {
        return Regex::IsMatch(pattern, Regex::IgnoreCaseOption, subject);
    } catch (...) {
        return true;
    }
}
