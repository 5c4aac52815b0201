#include "VBScriptRegex.h"

#include "kvRegexTranslator.h"

#include <QHash>
#include <QRegularExpression>

namespace {

const TVBScriptErrRec errorTable[] = {
    {5, "Invalid procedure call or argument"},
    {6, "Overflow"},
    {7, "Out of memory"},
    {9, "Subscript out of range"},
    {10, "This array is fixed or temporarily locked"},
    {11, "Division by zero"},
    {13, "Type mismatch"},
    {14, "Out of string space"},
    {17, "Can't perform requested operation"},
    {28, "Out of stack space"},
    {35, "Sub or Function not defined"},
    {48, "Error in loading DLL"},
    {51, "Internal error"},
    {91, "Object variable not set"},
    {92, "For loop not initialized"},
    {94, "Invalid use of Null"},
    {424, "Object required"},
    {429, "ActiveX component can't create object"},
    {430, "Class doesn't support Automation"},
    {432, "File name or class name not found during Automation operation"},
    {438, "Object doesn't support this property or method"},
    {445, "Object doesn't support this action"},
    {447, "Object doesn't support current locale setting"},
    {448, "Named argument not found"},
    {449, "Argument not optional"},
    {450, "Wrong number of arguments or invalid property assignment"},
    {451, "Object not a collection"},
    {458, "Variable uses an Automation type not supported in VBScript"},
    {462, "The remote server machine does not exist or is unavailable"},
    {481, "Invalid picture"},
    {500, "Variable is undefined"},
    {502, "Object not safe for scripting"},
    {503, "Object not safe for initializing"},
    {504, "Object not safe for creating"},
    {505, "Invalid or unqualified reference"},
    {506, "Class not defined"},
    {507, "An exception occurred"},
    {5008, "Illegal assignment"},
    {5017, "Syntax error in regular expression"},
    {5018, "Unexpected quantifier"},
    {5019, "Expected ']' in regular expression"},
    {5020, "Expected ')' in regular expression"},
    {5021, "Invalid range in character set"},
};

// The component's number for a PCRE2 compile error.
int errorNumberFor(const QString &pcreError)
{
    const QString e = pcreError.toLower();
    if (e.contains(QLatin1String("parenthes")))
        return 5020;
    if (e.contains(QLatin1String("terminating ]")) ||
        (e.contains(QLatin1String("character class")) && e.contains(QLatin1String("missing"))))
        return 5019;
    if (e.contains(QLatin1String("quantifier")) || e.contains(QLatin1String("nothing to repeat")))
        return 5018;
    if (e.contains(QLatin1String("range")))
        return 5021;
    return 5017;
}

// PCRE2 refuses a subject with a lone surrogate (file names that are not UTF-8 carry them); a
// replacement character in its place keeps every offset and lets the rest of the text match.
QString matchable(const QString &subject)
{
    QString out;
    const qsizetype n = subject.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = subject[i];
        if (!c.isSurrogate())
            continue;
        if (c.isHighSurrogate() && i + 1 < n && subject[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        if (out.isEmpty())
            out = subject;
        out[i] = QChar::ReplacementCharacter;
    }
    return out.isEmpty() ? subject : out;
}

class TRegex : public IRegex
{
public:
    TRegex(const QString &pattern, int options, QRegularExpression compiled)
        : pattern(pattern), options(options), re(std::move(compiled))
    {}
    QString Pattern() const override { return pattern; }
    bool IgnoreCase() const override { return options & Regex::IgnoreCaseOption; }
    bool Multiline() const override { return options & Regex::MultilineOption; }
    bool Test(const QString &subject) const override { return re.match(matchable(subject)).hasMatch(); }
    QString Replace(const QString &subject, const QString &replacement) const override;

private:
    QString pattern;
    int options;
    QRegularExpression re;
};

// The text of group `index` of `m`, taken from `subject` (empty for a group that took no part).
QString group(const QRegularExpressionMatch &m, const QString &subject, int index)
{
    const qsizetype start = m.capturedStart(index);
    return start < 0 ? QString() : subject.mid(start, m.capturedLength(index));
}

// Expands $$, $&, $`, $', $n and $nn (ECMA-262 GetSubstitution) for one match.
QString substitute(const QRegularExpressionMatch &m, const QString &subject, const QString &replacement)
{
    QString out;
    const int groups = m.lastCapturedIndex();
    for (qsizetype i = 0; i < replacement.size(); ++i) {
        const QChar c = replacement[i];
        if (c != u'$' || i + 1 >= replacement.size()) {
            out += c;
            continue;
        }
        const QChar n = replacement[i + 1];
        if (n == u'$') {
            out += u'$';
            ++i;
        } else if (n == u'&') {
            out += group(m, subject, 0);
            ++i;
        } else if (n == u'`') {
            out += subject.left(m.capturedStart(0));
            ++i;
        } else if (n == u'\'') {
            out += subject.mid(m.capturedEnd(0));
            ++i;
        } else if (n >= u'0' && n <= u'9') {
            int index = n.unicode() - u'0';
            qsizetype used = 1;
            if (i + 2 < replacement.size() && replacement[i + 2] >= u'0' && replacement[i + 2] <= u'9') {
                const int two = index * 10 + (replacement[i + 2].unicode() - u'0');
                if (two >= 1 && two <= groups) {
                    index = two;
                    used = 2;
                }
            }
            if (index >= 1 && index <= groups) {
                out += group(m, subject, index);
                i += used;
            } else {
                out += c;
            }
        } else {
            out += c;
        }
    }
    return out;
}

QString TRegex::Replace(const QString &subject, const QString &replacement) const
{
    QString out;
    qsizetype copied = 0;
    // Offsets come from the matchable copy; the text is taken from the subject itself.
    const QString target = matchable(subject);
    auto it = re.globalMatch(target);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(subject).mid(copied, m.capturedStart(0) - copied);
        out += substitute(m, subject, replacement);
        copied = m.capturedEnd(0);
        if (!Global)
            break;
    }
    if (copied == 0 && out.isEmpty())
        return subject;
    out += QStringView(subject).mid(copied);
    return out;
}

QRegularExpression build(const QString &pattern, int options)
{
    QRegularExpression::PatternOptions qtOptions = QRegularExpression::NoPatternOption;
    if (options & Regex::IgnoreCaseOption)
        qtOptions |= QRegularExpression::CaseInsensitiveOption;
    QRegularExpression re(TkvRegexTranslator::Translate(pattern, options & Regex::MultilineOption), qtOptions);
    if (!re.isValid()) {
        const int number = errorNumberFor(re.errorString());
        throw ERegexException(Regex::Facility | number, Regex::ErrorText(number));
    }
    re.optimize();
    return re;
}

struct CachedExpression
{
    QString pattern;
    int options = -1;
    QRegularExpression re;
};

// Compiled expressions of this thread: the most recently used ones first (the name test alternates
// between the mask and RegExt), the rest by options and pattern.
QRegularExpression compile(const QString &pattern, int options)
{
    thread_local CachedExpression recent[2];
    for (int i = 0; i < 2; ++i) {
        if (recent[i].options == options && recent[i].pattern == pattern) {
            if (i == 1)
                std::swap(recent[0], recent[1]);
            return recent[0].re;
        }
    }
    thread_local QHash<QString, QRegularExpression> cache;
    const QString key = QString::number(options) + u'\n' + pattern;
    QRegularExpression re;
    if (auto it = cache.constFind(key); it != cache.constEnd()) {
        re = *it;
    } else {
        re = build(pattern, options);
        if (cache.size() >= 256)
            cache.clear();
        cache.insert(key, re);
    }
    recent[1] = std::move(recent[0]);
    recent[0] = CachedExpression{pattern, options, re};
    return re;
}

} // namespace

ERegexException::ERegexException(int32_t errorCode, const QString &message)
    : std::runtime_error(message.toStdString()), ErrorCode(errorCode)
{}

std::shared_ptr<IRegex> Regex::Build(const QString &pattern, int options)
{
    return std::make_shared<TRegex>(pattern, options, compile(pattern, options));
}

bool Regex::IsMatch(const QString &pattern, int options, const QString &subject)
{
    return compile(pattern, options).match(matchable(subject)).hasMatch();
}

QString Regex::Replace(const QString &pattern, const QString &subject, const QString &replacement, int options)
{
    const auto re = Build(pattern, options);
    re->Global = false;
    return re->Replace(subject, replacement);
}

QString Regex::ErrorText(int32_t code)
{
    const int number = code & 0xFFFF;
    for (const TVBScriptErrRec &row : errorTable)
        if (row.Code == number)
            return QString::fromUtf8(row.Message);
    return QString();
}

const TVBScriptErrRec *Regex::ErrorTable(int &count)
{
    count = static_cast<int>(std::size(errorTable));
    return errorTable;
}
