#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <stdexcept>

/// One row of the component's error table: the error number and its text.
struct TVBScriptErrRec
{
    int32_t Code;
    const char *Message;
};

/// A failure of the regular-expression component. `ErrorCode` is the component's 32-bit code
/// (facility 0x800A with the error number in the low 16 bits, e.g. 0x800A1399 for 5017); what() is the
/// table's text for that number.
class ERegexException : public std::runtime_error
{
public:
    ERegexException(int32_t errorCode, const QString &message);
    int32_t ErrorCode;
    /// The error number: the low 16 bits of `ErrorCode`.
    int Number() const { return ErrorCode & 0xFFFF; }
};

/// A compiled expression with the component's properties. Instances are not shared between threads.
class IRegex
{
public:
    virtual ~IRegex() = default;
    virtual QString Pattern() const = 0;
    virtual bool IgnoreCase() const = 0;
    virtual bool Multiline() const = 0;
    bool Global = false; ///< Replace: every match (true) or the first one only (false)
    /// True when the expression matches anywhere in `subject`.
    virtual bool Test(const QString &subject) const = 0;
    /// `subject` with the first (or, with `Global`, every) match replaced. The replacement understands
    /// $$, $&, $`, $' and $1..$99; no match returns `subject` unchanged.
    virtual QString Replace(const QString &subject, const QString &replacement) const = 0;
};

/// Class operations over the ECMAScript-syntax expressions that users write and the program builds.
/// Matching runs on QRegularExpression; the pattern is translated so that ECMAScript semantics hold
/// where PCRE differs ('$' only at the very end without multiline, '.' excluding line terminators,
/// \s, \v, \uXXXX, unknown letter escapes, "[]" and "[^]").
///
/// Thread safety: every operation may be called from any thread at the same time; compiled expressions
/// are cached per thread.
class Regex
{
public:
    static constexpr int IgnoreCaseOption = 1;
    static constexpr int MultilineOption = 2;

    /// Compiles `pattern`. Throws ERegexException (5017..5021) when it is not a valid expression.
    static std::shared_ptr<IRegex> Build(const QString &pattern, int options);
    /// True when `pattern` matches anywhere in `subject`. Throws ERegexException for a bad pattern.
    static bool IsMatch(const QString &pattern, int options, const QString &subject);
    /// `subject` with the first match of `pattern` replaced. Throws ERegexException for a bad pattern.
    static QString Replace(const QString &pattern, const QString &subject, const QString &replacement, int options);

    /// The component's text for an error number (the low 16 bits of `code`), or an empty text.
    static QString ErrorText(int32_t code);
    /// The 43 rows of the error table.
    static const TVBScriptErrRec *ErrorTable(int &count);
    /// The facility bits the component puts above the error number.
    static constexpr int32_t Facility = static_cast<int32_t>(0x800A0000u);
};
