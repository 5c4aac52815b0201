#include "kvRegexTranslator.h"

#include "VBScriptRegex.h"
#include "kvHex.h"

namespace {

// ECMAScript WhiteSpace and LineTerminator code points (ECMA-262 22.2.2.9, CharacterClassEscape s).
const QString whiteSpaceSet = QStringLiteral("\\t\\n\\x{0B}\\f\\r \\x{A0}\\x{1680}\\x{2000}-\\x{200A}\\x{2028}\\x{2029}"
                                             "\\x{202F}\\x{205F}\\x{3000}\\x{FEFF}");
const QString lineTerminators = QStringLiteral("\\n\\r\\x{2028}\\x{2029}");

bool hexRun(const QString &p, qsizetype from, int count)
{
    if (from + count > p.size())
        return false;
    for (int k = 0; k < count; ++k)
        if (!TkvHex::IsDigit(p[from + k].unicode()))
            return false;
    return true;
}

// Length of a {n}, {n,} or {n,m} quantifier starting at p[i] == '{', or 0 when the brace is literal.
qsizetype braceQuantifier(const QString &p, qsizetype i)
{
    qsizetype j = i + 1;
    qsizetype digits = 0;
    while (j < p.size() && p[j].isDigit() && p[j].unicode() < 128) {
        ++j;
        ++digits;
    }
    if (digits == 0 || j >= p.size())
        return 0;
    if (p[j] == u'}')
        return j - i + 1;
    if (p[j] != u',')
        return 0;
    ++j;
    while (j < p.size() && p[j].isDigit() && p[j].unicode() < 128)
        ++j;
    if (j < p.size() && p[j] == u'}')
        return j - i + 1;
    return 0;
}

// Translation of the escape at p[i] == '\\'. Advances i past it. `inClass` selects the class forms.
QString translateEscape(const QString &p, qsizetype &i, bool inClass)
{
    if (i + 1 >= p.size()) {
        ++i;
        return QStringLiteral("\\"); // trailing backslash: PCRE2 reports it
    }
    const QChar c = p[i + 1];
    i += 2;
    switch (c.unicode()) {
    case u'u':
        if (hexRun(p, i, 4)) {
            const QString hex = p.mid(i, 4);
            i += 4;
            return QStringLiteral("\\x{") + hex + u'}';
        }
        return QStringLiteral("u");
    case u'x':
        if (hexRun(p, i, 2)) {
            const QString hex = p.mid(i, 2);
            i += 2;
            return QStringLiteral("\\x{") + hex + u'}';
        }
        return QStringLiteral("x");
    case u'c':
        if (i < p.size() && p[i].unicode() < 128 && p[i].isLetter()) {
            const QChar letter = p[i];
            ++i;
            return QStringLiteral("\\c") + letter.toUpper();
        }
        return QStringLiteral("\\\\c");
    case u'v':
        return QStringLiteral("\\x{0B}");
    case u's':
        return inClass ? whiteSpaceSet : u'[' + whiteSpaceSet + u']';
    case u'S':
        return inClass ? QStringLiteral("\\S") : QStringLiteral("[^") + whiteSpaceSet + u']';
    case u'b':
        return inClass ? QStringLiteral("\\x{08}") : QStringLiteral("\\b");
    case u'B':
        return inClass ? QStringLiteral("B") : QStringLiteral("\\B");
    case u'd':
    case u'D':
    case u'w':
    case u'W':
    case u'f':
    case u'n':
    case u'r':
    case u't':
        return u'\\' + QString(c);
    case u'0':
        if (i < p.size() && p[i].isDigit())
            return QStringLiteral("\\0"); // legacy octal, same in both
        return QStringLiteral("\\x{00}");
    default:
        break;
    }
    if (c.unicode() >= u'1' && c.unicode() <= u'9')
        return u'\\' + QString(c); // a back reference (an octal escape inside a class), as in PCRE2
    if (c.isLetterOrNumber())
        return QString(c); // identity escape of a letter without meaning
    return u'\\' + QString(c);
}

} // namespace

QString TkvRegexTranslator::Translate(const QString &p, bool multiline)
{
    QString out;
    out.reserve(p.size() * 2);
    bool afterQuantifier = false; // the previous token was a complete quantifier
    bool nothingToRepeat = true;  // at the start, after '(', '|', '^' or '$': no atom to quantify
    qsizetype i = 0;
    auto quantifier = [&](const QString &text) {
        if (afterQuantifier || nothingToRepeat)
            throw ERegexException(Regex::Facility | 5018, Regex::ErrorText(5018));
        out += text;
        // A lazy '?' belongs to the quantifier it follows.
        if (i < p.size() && p[i] == u'?') {
            out += u'?';
            ++i;
        }
        afterQuantifier = true;
    };
    while (i < p.size()) {
        const QChar c = p[i];
        if (c == u'*' || c == u'+' || c == u'?') {
            ++i;
            quantifier(QString(c));
            continue;
        }
        if (c == u'{') {
            if (const qsizetype len = braceQuantifier(p, i)) {
                const QString text = p.mid(i, len);
                i += len;
                quantifier(text);
                continue;
            }
            afterQuantifier = false;
            nothingToRepeat = false;
            out += QStringLiteral("\\{");
            ++i;
            continue;
        }
        afterQuantifier = false;
        nothingToRepeat = false;
        switch (c.unicode()) {
        case u'(':
            // A group's own prefix ("?:", "?=", "?!") is copied with it; its content starts afresh.
            out += c;
            ++i;
            if (i + 1 < p.size() && p[i] == u'?' && (p[i + 1] == u':' || p[i + 1] == u'=' || p[i + 1] == u'!')) {
                out += p.mid(i, 2);
                i += 2;
            }
            nothingToRepeat = true;
            continue;
        case u'|':
            out += c;
            ++i;
            nothingToRepeat = true;
            continue;
        case u'\\':
            out += translateEscape(p, i, false);
            continue;
        case u'$':
            out +=
                multiline ? QStringLiteral("(?=[") + lineTerminators + QStringLiteral("]|\\z)") : QStringLiteral("\\z");
            ++i;
            nothingToRepeat = true;
            continue;
        case u'^':
            out += multiline ? QStringLiteral("(?:\\A|(?<=[") + lineTerminators + QStringLiteral("]))")
                             : QStringLiteral("^");
            ++i;
            nothingToRepeat = true;
            continue;
        case u'.':
            out += QStringLiteral("[^") + lineTerminators + u']';
            ++i;
            continue;
        case u'}':
            out += QStringLiteral("\\}");
            ++i;
            continue;
        case u'[':
            break;
        default:
            out += c;
            ++i;
            continue;
        }
        // Character class.
        ++i;
        if (i < p.size() && p[i] == u']') {
            out += QStringLiteral("(?!)");
            ++i;
            continue;
        }
        if (i + 1 < p.size() && p[i] == u'^' && p[i + 1] == u']') {
            out += QStringLiteral("[\\s\\S]");
            i += 2;
            continue;
        }
        out += u'[';
        if (i < p.size() && p[i] == u'^') {
            out += u'^';
            ++i;
        }
        while (i < p.size()) {
            const QChar k = p[i];
            if (k == u']') {
                out += u']';
                ++i;
                break;
            }
            if (k == u'\\') {
                out += translateEscape(p, i, true);
                continue;
            }
            if (k == u'[') {
                out += QStringLiteral("\\[");
                ++i;
                continue;
            }
            out += k;
            ++i;
        }
        // An unterminated class is left for PCRE2 to report.
    }
    return out;
}
