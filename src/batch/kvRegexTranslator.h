#pragma once

#include <QString>

/// Rewrites an ECMAScript (VBScript) regular expression into PCRE2 syntax with the same meaning for
/// QRegularExpression:
/// - '$' matches only at the very end (or, with multiline, before any line terminator); '^' with
///   multiline also matches after \r, U+2028 and U+2029;
/// - '.' never matches \n, \r, U+2028 or U+2029;
/// - \s and \S use the ECMAScript white-space set, \v is U+000B, \uXXXX is a code unit, an escaped
///   letter without a meaning of its own stands for the letter itself;
/// - "[]" never matches, "[^]" matches any character, '[' inside a class is literal;
/// - a quantifier that follows a complete quantifier ("a*+", "a??*") is the error 5018, not a possessive.
/// Syntax errors that PCRE2 detects on its own (unbalanced parentheses, an unterminated class, ...)
/// are left in place for QRegularExpression to report.
///
/// Pure function of its input; safe from any thread.
class TkvRegexTranslator
{
public:
    /// Returns the PCRE2 pattern. Throws ERegexException(5018) for a quantifier on a quantifier.
    static QString Translate(const QString &pattern, bool multiline);
};
