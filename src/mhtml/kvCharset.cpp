#include "kvCharset.h"

#include "kvMhtError.h"
#include "kvUtf8.h"

#include <QHash>
#include <QStringDecoder>
#include <QStringEncoder>

namespace {

struct TLabels
{
    const char *name;
    const char *labels; // space-separated, lower case
};

// The WHATWG Encoding Standard's label table (the "replacement" and "x-user-defined" encodings are
// left out: they cannot carry a page's text).
const TLabels labelTable[] = {
    {"UTF-8", "unicode-1-1-utf-8 unicode11utf8 unicode20utf8 utf-8 utf8 x-unicode20utf8"},
    {"IBM866", "866 cp866 csibm866 ibm866"},
    {"ISO-8859-2", "csisolatin2 iso-8859-2 iso-ir-101 iso8859-2 iso88592 iso_8859-2 iso_8859-2:1987 l2 latin2"},
    {"ISO-8859-3", "csisolatin3 iso-8859-3 iso-ir-109 iso8859-3 iso88593 iso_8859-3 iso_8859-3:1988 l3 latin3"},
    {"ISO-8859-4", "csisolatin4 iso-8859-4 iso-ir-110 iso8859-4 iso88594 iso_8859-4 iso_8859-4:1988 l4 latin4"},
    {"ISO-8859-5", "csisolatincyrillic cyrillic iso-8859-5 iso-ir-144 iso8859-5 iso88595 iso_8859-5 iso_8859-5:1988"},
    {"ISO-8859-6", "arabic asmo-708 csiso88596e csiso88596i csisolatinarabic ecma-114 iso-8859-6 iso-8859-6-e "
                   "iso-8859-6-i iso-ir-127 iso8859-6 iso88596 iso_8859-6 iso_8859-6:1987"},
    {"ISO-8859-7", "csisolatingreek ecma-118 elot_928 greek greek8 iso-8859-7 iso-ir-126 iso8859-7 iso88597 "
                   "iso_8859-7 iso_8859-7:1987 sun_eu_greek"},
    {"ISO-8859-8", "csiso88598e csisolatinhebrew hebrew iso-8859-8 iso-8859-8-e iso-ir-138 iso8859-8 iso88598 "
                   "iso_8859-8 iso_8859-8:1988 visual"},
    {"ISO-8859-8-I", "csiso88598i iso-8859-8-i logical"},
    {"ISO-8859-10", "csisolatin6 iso-8859-10 iso-ir-157 iso8859-10 iso885910 l6 latin6"},
    {"ISO-8859-13", "iso-8859-13 iso8859-13 iso885913"},
    {"ISO-8859-14", "iso-8859-14 iso8859-14 iso885914"},
    {"ISO-8859-15", "csisolatin9 iso-8859-15 iso8859-15 iso885915 iso_8859-15 l9"},
    {"ISO-8859-16", "iso-8859-16"},
    {"KOI8-R", "cskoi8r koi koi8 koi8-r koi8_r"},
    {"KOI8-U", "koi8-ru koi8-u"},
    {"macintosh", "csmacintosh mac macintosh x-mac-roman"},
    {"windows-874", "dos-874 iso-8859-11 iso8859-11 iso885911 tis-620 windows-874"},
    {"windows-1250", "cp1250 windows-1250 x-cp1250"},
    {"windows-1251", "cp1251 windows-1251 x-cp1251"},
    {"windows-1252", "ansi_x3.4-1968 ascii cp1252 cp819 csisolatin1 ibm819 iso-8859-1 iso-ir-100 iso8859-1 "
                     "iso88591 iso_8859-1 iso_8859-1:1987 l1 latin1 us-ascii windows-1252 x-cp1252"},
    {"windows-1253", "cp1253 windows-1253 x-cp1253"},
    {"windows-1254", "cp1254 csisolatin5 iso-8859-9 iso-ir-148 iso8859-9 iso88599 iso_8859-9 iso_8859-9:1989 l5 "
                     "latin5 windows-1254 x-cp1254"},
    {"windows-1255", "cp1255 windows-1255 x-cp1255"},
    {"windows-1256", "cp1256 windows-1256 x-cp1256"},
    {"windows-1257", "cp1257 windows-1257 x-cp1257"},
    {"windows-1258", "cp1258 windows-1258 x-cp1258"},
    {"x-mac-cyrillic", "x-mac-cyrillic x-mac-ukrainian"},
    {"GBK", "chinese csgb2312 csiso58gb231280 gb2312 gb_2312 gb_2312-80 gbk iso-ir-58 x-gbk"},
    {"gb18030", "gb18030"},
    {"Big5", "big5 big5-hkscs cn-big5 csbig5 x-x-big5"},
    {"EUC-JP", "cseucpkdfmtjapanese euc-jp x-euc-jp"},
    {"ISO-2022-JP", "csiso2022jp iso-2022-jp"},
    {"Shift_JIS", "csshiftjis ms932 ms_kanji shift-jis shift_jis sjis windows-31j x-sjis"},
    {"EUC-KR", "cseuckr csksc56011987 euc-kr iso-ir-149 korean ks_c_5601-1987 ks_c_5601-1989 ksc5601 ksc_5601 "
               "windows-949"},
    {"UTF-16BE", "unicodefffe utf-16be"},
    {"UTF-16LE", "csunicode iso-10646-ucs-2 ucs-2 unicode unicodefeff utf-16 utf-16le"},
};

const QHash<QString, QString> &labelMap()
{
    static const QHash<QString, QString> map = [] {
        QHash<QString, QString> m;
        for (const TLabels &entry : labelTable)
            for (const QString &label : QString::fromLatin1(entry.labels).split(QLatin1Char(' ')))
                m.insert(label, QString::fromLatin1(entry.name));
        return m;
    }();
    return map;
}

/// The converter name the ICU-backed QStringDecoder/QStringEncoder knows for a canonical name: the
/// first of the candidates it accepts (the Encoding Standard's variants first).
QByteArray converterName(const QString &canonical)
{
    static const QHash<QString, QList<QByteArray>> variants = {
        {QStringLiteral("Shift_JIS"), {"windows-31j", "Shift_JIS"}},
        {QStringLiteral("EUC-KR"), {"windows-949", "EUC-KR"}},
        {QStringLiteral("Big5"), {"Big5-HKSCS", "Big5"}},
        {QStringLiteral("GBK"), {"GBK", "windows-936"}},
    };
    const QList<QByteArray> candidates = variants.value(canonical, {canonical.toLatin1()});
    for (const QByteArray &name : candidates)
        if (QStringDecoder(name.constData()).isValid())
            return name;
    return {};
}

bool isSpace(char c)
{
    return c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D || c == 0x20;
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}

bool startsWithNoCase(const QByteArray &bytes, qsizetype at, const char *what)
{
    for (qsizetype i = 0; what[i]; ++i)
        if (at + i >= bytes.size() || lower(bytes[at + i]) != what[i])
            return false;
    return true;
}

/// The prescan's "get an attribute"; false when there is none (or the input ends).
bool getAttribute(const QByteArray &b, qsizetype &p, QByteArray &name, QByteArray &value)
{
    const qsizetype n = b.size();
    name.clear();
    value.clear();
    while (p < n && (isSpace(b[p]) || b[p] == '/'))
        ++p;
    if (p >= n || b[p] == '>')
        return false;
    for (;; ++p) {
        if (p >= n)
            return false;
        const char c = b[p];
        if (c == '=' && !name.isEmpty()) {
            ++p;
            break;
        }
        if (isSpace(c)) {
            while (p < n && isSpace(b[p]))
                ++p;
            if (p >= n || b[p] != '=')
                return true;
            ++p;
            break;
        }
        if (c == '/' || c == '>')
            return true;
        name += lower(c);
    }
    while (p < n && isSpace(b[p]))
        ++p;
    if (p >= n)
        return false;
    const char quote = b[p];
    if (quote == '"' || quote == '\'') {
        for (++p; p < n; ++p) {
            if (b[p] == quote) {
                ++p;
                return true;
            }
            value += lower(b[p]);
        }
        return false;
    }
    if (quote == '>')
        return true;
    for (; p < n; ++p) {
        if (isSpace(b[p]) || b[p] == '>')
            return true;
        value += lower(b[p]);
    }
    return false;
}

/// "Extract a character encoding from a meta element" on a content attribute's value.
QString charsetFromContent(const QByteArray &s)
{
    qsizetype p = 0;
    const qsizetype n = s.size();
    while (true) {
        const qsizetype at = s.indexOf("charset", p);
        if (at < 0)
            return {};
        p = at + 7;
        while (p < n && isSpace(s[p]))
            ++p;
        if (p >= n || s[p] != '=')
            continue;
        ++p;
        while (p < n && isSpace(s[p]))
            ++p;
        if (p >= n)
            return {};
        if (s[p] == '"' || s[p] == '\'') {
            const qsizetype close = s.indexOf(s[p], p + 1);
            if (close < 0)
                return {};
            return QString::fromLatin1(s.mid(p + 1, close - p - 1));
        }
        qsizetype end = p;
        while (end < n && !isSpace(s[end]) && s[end] != ';')
            ++end;
        return QString::fromLatin1(s.mid(p, end - p));
    }
}

[[noreturn]] void unknown(const QString &label)
{
    throw EMhtError(QStringLiteral("Unknown character set \"%1\"").arg(label));
}

} // namespace

QString TkvCharset::Normalize(const QString &label)
{
    const QString key = label.trimmed().toLower();
    return labelMap().value(key);
}

QString TkvCharset::Require(const QString &label)
{
    const QString name = Normalize(label);
    if (name.isEmpty())
        unknown(label);
    return name;
}

QString TkvCharset::FromBom(const QByteArray &bytes, int *bomLength)
{
    int length = 0;
    QString name;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        length = 3;
        name = QStringLiteral("UTF-8");
    } else if (bytes.startsWith("\xFE\xFF")) {
        length = 2;
        name = QStringLiteral("UTF-16BE");
    } else if (bytes.startsWith("\xFF\xFE")) {
        length = 2;
        name = QStringLiteral("UTF-16LE");
    }
    if (bomLength)
        *bomLength = length;
    return name;
}

QString TkvCharset::FromContentType(const QString &contentType)
{
    const QString value = charsetFromContent(contentType.toLatin1().toLower());
    return value.isEmpty() ? QString() : Normalize(value);
}

QString TkvCharset::Prescan(const QByteArray &all)
{
    const QByteArray b = all.left(1024);
    const qsizetype n = b.size();
    qsizetype p = 0;
    QByteArray name, value;
    while (p < n) {
        if (b.mid(p, 4) == "<!--") {
            const qsizetype end = b.indexOf("-->", p + 2);
            if (end < 0)
                return {};
            p = end + 3;
        } else if (startsWithNoCase(b, p, "<meta") && p + 5 < n && (isSpace(b[p + 5]) || b[p + 5] == '/')) {
            p += 6;
            QList<QByteArray> seen;
            bool gotPragma = false;
            int needPragma = -1; // -1 null, 0 false, 1 true
            QString charset;
            while (getAttribute(b, p, name, value)) {
                if (seen.contains(name))
                    continue;
                seen.append(name);
                if (name == "http-equiv") {
                    gotPragma = gotPragma || value == "content-type";
                } else if (name == "content" && charset.isNull()) {
                    const QString extracted = charsetFromContent(value);
                    if (!extracted.isEmpty()) {
                        charset = extracted.trimmed() == QLatin1String("x-user-defined")
                                      ? QStringLiteral("windows-1252")
                                      : Normalize(extracted);
                        if (charset.isNull())
                            charset = QStringLiteral("");
                        needPragma = 1;
                    }
                } else if (name == "charset") {
                    charset = value.trimmed() == "x-user-defined" ? QStringLiteral("windows-1252")
                                                                  : Normalize(QString::fromLatin1(value));
                    if (charset.isNull())
                        charset = QStringLiteral("");
                    needPragma = 0;
                }
            }
            if (needPragma < 0 || (needPragma == 1 && !gotPragma) || charset.isEmpty())
                continue;
            return IsUtf16(charset) ? QStringLiteral("UTF-8") : charset;
        } else if (b[p] == '<' && p + 1 < n &&
                   ((QChar::isLetter(uchar(b[p + 1])) && uchar(b[p + 1]) < 0x80) ||
                    (b[p + 1] == '/' && p + 2 < n && uchar(b[p + 2]) < 0x80 && QChar::isLetter(uchar(b[p + 2]))))) {
            while (p < n && !isSpace(b[p]) && b[p] != '>')
                ++p;
            while (getAttribute(b, p, name, value)) {
            }
            ++p;
        } else if (b.mid(p, 2) == "<!" || b.mid(p, 2) == "</" || b.mid(p, 2) == "<?") {
            const qsizetype end = b.indexOf('>', p + 2);
            if (end < 0)
                return {};
            p = end + 1;
        } else {
            ++p;
        }
    }
    return {};
}

QString TkvCharset::Detect(const QByteArray &bytes, const QString &httpContentType)
{
    QString name = FromBom(bytes);
    if (name.isEmpty())
        name = FromContentType(httpContentType);
    if (name.isEmpty())
        name = Prescan(bytes);
    if (name.isEmpty())
        name = TkvUtf8::IsValid(bytes) ? QStringLiteral("UTF-8") : QStringLiteral("windows-1252");
    return name;
}

bool TkvCharset::IsUtf16(const QString &charset)
{
    const QString name = Normalize(charset);
    return name == QLatin1String("UTF-16LE") || name == QLatin1String("UTF-16BE");
}

QString TkvCharset::Decode(const QByteArray &bytes, const QString &charset)
{
    const QString name = Require(charset);
    int bomLength = 0;
    const QString bom = FromBom(bytes, &bomLength);
    const QByteArray body = bom == name ? bytes.mid(bomLength) : bytes;
    if (name == QLatin1String("UTF-8"))
        return QString::fromUtf8(body);
    const QByteArray converter = converterName(name);
    if (converter.isEmpty())
        unknown(charset);
    QStringDecoder decoder(converter.constData(), QStringConverter::Flag::Stateless);
    return decoder.decode(body);
}

QByteArray TkvCharset::Encode(const QString &text, const QString &charset)
{
    const QString name = Require(charset);
    if (name == QLatin1String("UTF-8"))
        return text.toUtf8();
    const QByteArray converter = converterName(name);
    if (converter.isEmpty())
        unknown(charset);
    QStringEncoder encoder(converter.constData());
    QByteArray whole = encoder.encode(text);
    if (!encoder.hasError())
        return whole;
    // Some characters are missing: find them one by one (ASCII always maps in these charsets) and
    // write them as numeric character references, then encode the result in one pass.
    QHash<char32_t, bool> mappable;
    QString substituted;
    substituted.reserve(text.size() + text.size() / 8);
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
        const QStringView one = QStringView(text).mid(i, length);
        const char32_t cp = length == 2 ? QChar::surrogateToUcs4(text[i], text[i + 1]) : text[i].unicode();
        bool ok = cp < 0x80;
        if (!ok) {
            auto found = mappable.constFind(cp);
            if (found == mappable.constEnd()) {
                QStringEncoder single(converter.constData());
                const QByteArray probe = single.encode(one); // the conversion runs on assignment
                Q_UNUSED(probe);
                found = mappable.insert(cp, !single.hasError());
            }
            ok = *found;
        }
        if (ok)
            substituted += one;
        else
            substituted += QStringLiteral("&#%1;").arg(quint32(cp));
        i += length;
    }
    QStringEncoder final(converter.constData());
    return final.encode(substituted);
}
