#include "kvOptionTable.h"

#include "kvHex.h"

#include <cstdint>
#include <utility>
#include <limits>

namespace {

using Type = TkvOptionType;

// Keys, types and defaults are what project files hold; the help lines are what --help prints.
constexpr std::array<TkvOptionRow, TkvOptionTable::Count> rows{{
    {TkvOption::Source, "Source", Type::Text, "", "a folder and mask, one page, or a web address"},
    {TkvOption::Target, "Target", Type::Text, "", "target folder; empty: the source's folder"},
    {TkvOption::Subdir, "Subdir", Type::Boolean, "False", "include the subfolders of the source folder"},
    {TkvOption::ThreadsCount, "ThreadsCount", Type::Integer, "1", "pages converted at once (at most 256)"},
    {TkvOption::IsOverwrite, "IsOverwrite", Type::Overwrite, "True",
     "True replace, False write beside it, skip leave it"},
    {TkvOption::KeepFileTime, "KeepFileTime", Type::Boolean, "False", "give each archive its page's file times"},
    {TkvOption::KeepTargetSubdirs, "KeepTargetSubdirs", Type::Boolean, "True",
     "rebuild the source's subfolders under the target"},
    {TkvOption::DeleteSource, "DeleteSource", Type::Boolean, "False", "delete each page after it converted"},
    {TkvOption::RenameSource, "RenameSource", Type::Text, "", "append this to each converted page's name"},
    {TkvOption::PureConsole, "PureConsole", Type::Boolean, "False", "run without a window and end"},
    {TkvOption::RunAndClose, "RunAndClose", Type::Boolean, "False", "start when the window opens, close it at the end"},
    {TkvOption::Daemon, "Daemon", Type::Integer, "0", "in the window: run again after this many ms"},
    {TkvOption::RegExt, "RegExt", Type::Text, "", "regular expression the full path must also match"},
    {TkvOption::SkipHidden, "SkipHidden", Type::Boolean, "False", "leave out pages whose name begins with a dot"},
    {TkvOption::Charset, "Charset", Type::Text, "", "charset the pages are stored in; empty: their own"},
    {TkvOption::LogFile, "LogFile", Type::Text, "", "result log written when an unattended run ends"},
    {TkvOption::Reports, "Reports", Type::Boolean, "True",
     "False: no failure or error report, no usage counters in web links"},
    {TkvOption::RunScripts, "RunScripts", Type::Boolean, "False",
     "archive each page as its scripts left it (runs web2arc-render)"},
    {TkvOption::MaxPages, "MaxPages", Type::Integer, "10000", "a web site's search stops after this many pages"},
}};

constexpr bool inTableOrder()
{
    for (size_t i = 0; i < rows.size(); ++i)
        if (size_t(rows[i].option) != i)
            return false;
    return true;
}
static_assert(inTableOrder(), "every option has its row, in the order of TkvOption");

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

/// A decimal number in the C locale: blanks, sign, digits with an optional fraction and exponent,
/// blanks. Sets `nonZero` when its value is not zero.
bool parseNumber(const QString &text, bool &nonZero)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i) == QLatin1Char(' ')) {
        ++i;
    }
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        ++i;
    }
    int digits = 0;
    nonZero = false;
    while (i < n && isDigit(text.at(i))) {
        nonZero = nonZero || text.at(i) != QLatin1Char('0');
        ++i;
        ++digits;
    }
    if (i < n && text.at(i) == QLatin1Char('.')) {
        ++i;
        while (i < n && isDigit(text.at(i))) {
            nonZero = nonZero || text.at(i) != QLatin1Char('0');
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return false;
    }
    if (i < n && (text.at(i) == QLatin1Char('e') || text.at(i) == QLatin1Char('E'))) {
        ++i;
        if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
            ++i;
        }
        int exponentDigits = 0;
        while (i < n && isDigit(text.at(i))) {
            ++i;
            ++exponentDigits;
        }
        if (exponentDigits == 0) {
            return false;
        }
    }
    while (i < n && text.at(i) == QLatin1Char(' ')) {
        ++i;
    }
    return i == n;
}

/// Reads a boolean: a number (true when not zero), or a word in any letter case (True, Yes, On;
/// False, No, Off), with blanks around it. False when the text is neither; `value` is then unchanged.
bool readsAsBoolean(const QString &text, bool &value)
{
    bool nonZero = false;
    if (parseNumber(text, nonZero)) {
        value = nonZero;
        return true;
    }
    const QString word = text.trimmed();
    for (const char *yes : {"True", "Yes", "On"}) {
        if (word.compare(QLatin1String(yes), Qt::CaseInsensitive) == 0) {
            value = true;
            return true;
        }
    }
    for (const char *no : {"False", "No", "Off"}) {
        if (word.compare(QLatin1String(no), Qt::CaseInsensitive) == 0) {
            value = false;
            return true;
        }
    }
    return false;
}

QString typeWithArticle(TkvOptionType type)
{
    switch (type) {
    case Type::Boolean:
        return QStringLiteral("a boolean");
    case Type::Integer:
        return QStringLiteral("an integer");
    case Type::Overwrite:
        return QStringLiteral("True, False or skip");
    case Type::Text:
        break;
    }
    return QStringLiteral("a text");
}

const TkvOptionRow *find(const QString &key)
{
    for (const TkvOptionRow &row : rows)
        if (key.compare(QLatin1String(row.key), Qt::CaseInsensitive) == 0)
            return &row;
    return nullptr;
}

} // namespace

const std::array<TkvOptionRow, TkvOptionTable::Count> &TkvOptionTable::Rows()
{
    return rows;
}

const TkvOptionRow &TkvOptionTable::Row(TkvOption option)
{
    return rows[size_t(option)];
}

QString TkvOptionTable::Key(TkvOption option)
{
    return QLatin1String(Row(option).key);
}

QString TkvOptionTable::TypeName(TkvOptionType type)
{
    switch (type) {
    case Type::Boolean:
        return QStringLiteral("boolean");
    case Type::Integer:
        return QStringLiteral("integer");
    case Type::Overwrite:
        return QStringLiteral("True, False or skip");
    case Type::Text:
        break;
    }
    return QStringLiteral("text");
}

QString TkvOptionTable::DefaultName(TkvOption option)
{
    const QString text = QLatin1String(Row(option).defaultText);
    return text.isEmpty() ? QStringLiteral("empty") : text;
}

int TkvOptionTable::ReadValue(TkvOption option, const QString &text, int defaultValue)
{
    switch (Row(option).type) {
    case Type::Boolean:
        return ReadBoolean(text, defaultValue != 0) ? 1 : 0;
    case Type::Integer:
        return ReadInteger(text, defaultValue);
    case Type::Overwrite:
        if (text.trimmed().compare(QLatin1String("skip"), Qt::CaseInsensitive) == 0)
            return 9;
        return ReadBoolean(text, defaultValue != 0) ? 1 : 0;
    case Type::Text:
        break;
    }
    return 0;
}

int TkvOptionTable::ReadValue(TkvOption option, const QString &text)
{
    return ReadValue(option, text, DefaultValue(option));
}

int TkvOptionTable::DefaultValue(TkvOption option)
{
    return ReadValue(option, QLatin1String(Row(option).defaultText), 0);
}

bool TkvOptionTable::ReadBoolean(const QString &text, bool defaultValue)
{
    bool value = defaultValue;
    readsAsBoolean(text, value);
    return value;
}

bool TkvOptionTable::IsBoolean(const QString &text)
{
    bool value = false;
    return readsAsBoolean(text, value);
}

bool TkvOptionTable::IsInteger(const QString &text)
{
    // Two different defaults tell a value that reads from one that stands for its default.
    return ReadInteger(text, 0) != 0 || ReadInteger(text, 1) != 1;
}

QStringList TkvOptionTable::Problems(const QStringList &lines)
{
    QStringList problems;
    std::array<bool, Count> seen{};
    for (const QString &line : lines) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0) {
            if (!line.trimmed().isEmpty())
                problems << QStringLiteral("\"%1\" is not KEY=VALUE, ignored").arg(line);
            continue;
        }
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        const TkvOptionRow *row = find(key);
        if (!row) {
            problems << QStringLiteral("unknown option %1, ignored").arg(key);
            continue;
        }
        if (std::exchange(seen[size_t(row->option)], true)) {
            problems << QStringLiteral("%1 is given more than once, the first value used").arg(QLatin1String(row->key));
            continue;
        }
        if (!value.isEmpty() && !Reads(row->option, value))
            problems << QStringLiteral("%1=%2 is not %3, %4 used")
                            .arg(QLatin1String(row->key), value, typeWithArticle(row->type), DefaultName(row->option));
    }
    return problems;
}

bool TkvOptionTable::Reads(TkvOption option, const QString &text)
{
    switch (Row(option).type) {
    case Type::Boolean:
        return IsBoolean(text);
    case Type::Integer:
        return IsInteger(text);
    case Type::Overwrite:
        return text.trimmed().compare(QLatin1String("skip"), Qt::CaseInsensitive) == 0 || IsBoolean(text);
    case Type::Text:
        break;
    }
    return true;
}

int TkvOptionTable::ReadInteger(const QString &text, int defaultValue)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i) == QLatin1Char(' ')) {
        ++i;
    }
    bool negative = false;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    bool hex = false;
    if (i < n && (text.at(i) == QLatin1Char('$') || text.at(i) == QLatin1Char('x') || text.at(i) == QLatin1Char('X'))) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text.at(i) == QLatin1Char('0') &&
               (text.at(i + 1) == QLatin1Char('x') || text.at(i + 1) == QLatin1Char('X'))) {
        hex = true;
        i += 2;
    }
    if (i == n) {
        return defaultValue;
    }
    if (hex) {
        if (n - i > 8) {
            return defaultValue;
        }
        std::uint32_t pattern = 0;
        for (; i < n; ++i) {
            const int digit = TkvHex::DigitValue(text.at(i).unicode());
            if (digit < 0) {
                return defaultValue;
            }
            pattern = pattern << 4 | std::uint32_t(digit);
        }
        // Eight digits are a 32-bit pattern ($FFFFFFFF is -1); a sign negates it modulo 2^32.
        if (negative) {
            pattern = 0u - pattern;
        }
        return static_cast<std::int32_t>(pattern);
    }
    std::int64_t value = 0;
    const std::int64_t limit =
        negative ? -std::int64_t(std::numeric_limits<int>::min()) : std::int64_t(std::numeric_limits<int>::max());
    for (; i < n; ++i) {
        if (!isDigit(text.at(i))) {
            return defaultValue;
        }
        value = value * 10 + (text.at(i).unicode() - '0');
        if (value > limit) {
            return defaultValue;
        }
    }
    return int(negative ? -value : value);
}

QString TkvOptionTable::HelpText()
{
    QString text;
    for (const TkvOptionRow &row : rows) {
        const QString kind = TypeName(row.type) + QStringLiteral("; ") + DefaultName(row.option);
        text +=
            QStringLiteral("  %1 %2 %3\n").arg(QLatin1String(row.key), -18).arg(kind, -26).arg(QLatin1String(row.help));
    }
    return text;
}
