#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <cstddef>

/// Every option a project can hold. The order is the order of the option table (TkvOptionTable).
enum class TkvOption
{
    Source,
    Target,
    Subdir,
    ThreadsCount,
    IsOverwrite,
    KeepFileTime,
    KeepTargetSubdirs,
    DeleteSource,
    RenameSource,
    PureConsole,
    RunAndClose,
    Daemon,
    RegExt,
    SkipHidden,
    Charset,
    LogFile,
    Reports,
    RunScripts,
    MaxPages,
};

/// How an option's text is read.
enum class TkvOptionType
{
    Text,     ///< the text as it stands
    Boolean,  ///< True/False in any case, or a number (0 is false)
    Integer,  ///< decimal, or hexadecimal after $, x or 0x
    Overwrite ///< "skip" in any case, else a boolean: 9 skip, 1 overwrite, 0 write beside
};

/// One row of the option table.
struct TkvOptionRow
{
    TkvOption option;
    const char *key;
    TkvOptionType type;
    const char *defaultText; ///< the value an absent or unreadable text stands for; "" is the empty text
    const char *help;        ///< one line for --help
};

/// The project's whole vocabulary: each option's key, type, default and one line of help. The store's
/// typed getters, the options of a run (TkvRunOptions) and --help all read it, so a new option is one
/// row here (and its name in TkvOption).
///
/// Typed reading: a value that does not read as its type gives the default; no option is ever
/// rejected, but Problems says which lines were not understood. Stateless; any thread.
class TkvOptionTable
{
public:
    static constexpr size_t Count = size_t(TkvOption::MaxPages) + 1;

    static const std::array<TkvOptionRow, Count> &Rows();
    static const TkvOptionRow &Row(TkvOption option);
    static QString Key(TkvOption option);
    /// The type as a person reads it: "text", "boolean", "integer", "True, False or skip".
    static QString TypeName(TkvOptionType type);
    /// The default as a person reads it: its text, or "empty".
    static QString DefaultName(TkvOption option);

    /// The typed value of `text` for `option`: a boolean as 0 or 1, an integer, an overwrite rule as 0,
    /// 1 or 9; `defaultValue` when the text does not read. A text option reads as 0.
    static int ReadValue(TkvOption option, const QString &text, int defaultValue);
    /// ReadValue with the table's own default.
    static int ReadValue(TkvOption option, const QString &text);
    /// The typed value of the option's default text.
    static int DefaultValue(TkvOption option);

    /// A number (blanks, sign, digits with an optional fraction and exponent, blanks) is true when not
    /// zero; otherwise True, Yes, On or False, No, Off in any letter case, with blanks around; any other
    /// text gives `defaultValue`.
    static bool ReadBoolean(const QString &text, bool defaultValue);
    /// True when ReadBoolean reads `text` rather than falling back to its default.
    static bool IsBoolean(const QString &text);
    /// True when ReadInteger reads `text` rather than falling back to its default.
    static bool IsInteger(const QString &text);
    /// True when `text` reads as the option's type (any text for a text option).
    static bool Reads(TkvOption option, const QString &text);
    /// What is wrong with a project's lines, one sentence per problem, in line order: a line that is not
    /// KEY=VALUE, an unknown key ("unknown option Tagret, ignored"), a key given again, and a value
    /// that does not read as its type ("PureConsole=maybe is not a boolean, False used"). Keys and
    /// values are taken without the blanks around them; blank lines and empty values are fine.
    static QStringList Problems(const QStringList &lines);
    /// Leading blanks, an optional sign, then decimal digits or hexadecimal digits after "$", "x" or
    /// "0x", and nothing after the digits. A decimal value beyond the 32-bit range, or more than eight
    /// hexadecimal digits, gives `defaultValue`; eight hexadecimal digits are a 32-bit pattern
    /// ($FFFFFFFF is -1).
    static int ReadInteger(const QString &text, int defaultValue);

    /// The table as --help prints it: one line per option, key, type and default, help.
    static QString HelpText();
};
