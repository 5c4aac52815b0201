#include "kvUrlHost.h"

#include "kvHex.h"

#include <QStringList>
#include <QUrl>

#include <array>
#include <vector>

namespace {

std::optional<quint64> parseIpv4Number(QString part, bool &valid)
{
    valid = true;
    if (part.isEmpty())
        return std::nullopt;
    int base = 10;
    if (part.size() >= 2 && part[0] == QLatin1Char('0') &&
        (part[1] == QLatin1Char('x') || part[1] == QLatin1Char('X'))) {
        part = part.mid(2);
        base = 16;
    } else if (part.size() >= 2 && part[0] == QLatin1Char('0')) {
        part = part.mid(1);
        base = 8;
    }
    if (part.isEmpty())
        return 0;
    bool ok = false;
    const qulonglong value = part.toULongLong(&ok, base);
    for (QChar c : part) // toULongLong accepts signs and spaces; the standard does not
        if (!c.isLetterOrNumber())
            ok = false;
    if (!ok || part.size() > 20) {
        valid = false;
        return std::nullopt;
    }
    return std::min<quint64>(value, 0x100000000ull); // anything above 32 bits fails the same way
}

bool endsInNumber(const QString &host)
{
    QStringList parts = host.split(QLatin1Char('.'));
    if (parts.last().isEmpty()) {
        if (parts.size() == 1)
            return false;
        parts.removeLast();
    }
    const QString last = parts.last();
    if (!last.isEmpty()) {
        bool digits = true;
        for (QChar c : last)
            digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (digits)
            return true;
    }
    bool valid = false;
    return last.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) && parseIpv4Number(last, valid) && valid;
}

/// WHATWG IPv4 parser; returns the dotted form or nullopt on failure.
std::optional<QString> parseIpv4(const QString &host)
{
    QStringList parts = host.split(QLatin1Char('.'));
    if (parts.last().isEmpty() && parts.size() > 1)
        parts.removeLast();
    if (parts.size() > 4)
        return std::nullopt;
    std::vector<quint64> numbers;
    for (const QString &part : parts) {
        bool valid = false;
        const auto n = parseIpv4Number(part, valid);
        if (!valid || !n)
            return std::nullopt;
        numbers.push_back(*n);
    }
    const quint64 big = numbers.back();
    for (size_t i = 0; i + 1 < numbers.size(); ++i)
        if (numbers[i] > 255)
            return std::nullopt;
    if (big >= (1ull << (8 * (5 - numbers.size()))))
        return std::nullopt;
    quint64 ipv4 = big;
    for (size_t i = 0; i + 1 < numbers.size(); ++i)
        ipv4 += numbers[i] << (8 * (3 - i));
    return QStringLiteral("%1.%2.%3.%4").arg(ipv4 >> 24).arg((ipv4 >> 16) & 255).arg((ipv4 >> 8) & 255).arg(ipv4 & 255);
}

/// WHATWG IPv6 parser and serializer; `s` is the text inside the brackets.
std::optional<QString> parseIpv6(const QString &s)
{
    std::array<quint16, 8> address{};
    int pieceIndex = 0;
    int compress = -1;
    qsizetype p = 0;
    const qsizetype n = s.size();
    auto at = [&](qsizetype i) -> char16_t { return i < n ? s[i].unicode() : 0; };
    if (at(p) == ':') {
        if (at(p + 1) != ':')
            return std::nullopt;
        p += 2;
        compress = ++pieceIndex;
    }
    while (p < n) {
        if (pieceIndex == 8)
            return std::nullopt;
        if (at(p) == ':') {
            if (compress >= 0)
                return std::nullopt;
            ++p;
            compress = ++pieceIndex;
            continue;
        }
        int value = 0, length = 0;
        while (length < 4 && TkvHex::IsDigit(at(p))) {
            value = value * 16 + TkvHex::DigitValue(at(p));
            ++p;
            ++length;
        }
        if (at(p) == '.') {
            if (length == 0)
                return std::nullopt;
            p -= length;
            if (pieceIndex > 6)
                return std::nullopt;
            int numbersSeen = 0;
            while (p < n) {
                int ipv4Piece = -1;
                if (numbersSeen > 0) {
                    if (at(p) == '.' && numbersSeen < 4)
                        ++p;
                    else
                        return std::nullopt;
                }
                if (!(at(p) >= '0' && at(p) <= '9'))
                    return std::nullopt;
                while (at(p) >= '0' && at(p) <= '9') {
                    const int number = at(p) - '0';
                    if (ipv4Piece == -1)
                        ipv4Piece = number;
                    else if (ipv4Piece == 0)
                        return std::nullopt;
                    else
                        ipv4Piece = ipv4Piece * 10 + number;
                    if (ipv4Piece > 255)
                        return std::nullopt;
                    ++p;
                }
                address[pieceIndex] = quint16(address[pieceIndex] * 0x100 + ipv4Piece);
                ++numbersSeen;
                if (numbersSeen == 2 || numbersSeen == 4)
                    ++pieceIndex;
            }
            if (numbersSeen != 4)
                return std::nullopt;
            break;
        }
        if (at(p) == ':') {
            ++p;
            if (p >= n)
                return std::nullopt;
        } else if (p < n) {
            return std::nullopt;
        }
        address[pieceIndex++] = quint16(value);
    }
    if (compress >= 0) {
        int swaps = pieceIndex - compress;
        pieceIndex = 7;
        while (pieceIndex != 0 && swaps > 0) {
            std::swap(address[pieceIndex], address[compress + swaps - 1]);
            --pieceIndex;
            --swaps;
        }
    } else if (pieceIndex != 8) {
        return std::nullopt;
    }
    // Serialize: compress the first longest run of two or more zero pieces.
    int bestStart = -1, bestLength = 1;
    for (int i = 0; i < 8;) {
        int j = i;
        while (j < 8 && address[j] == 0)
            ++j;
        if (j - i > bestLength) {
            bestStart = i;
            bestLength = j - i;
        }
        i = j == i ? i + 1 : j;
    }
    QString out = QStringLiteral("[");
    bool ignore0 = false;
    for (int i = 0; i < 8; ++i) {
        if (ignore0 && address[i] == 0)
            continue;
        ignore0 = false;
        if (i == bestStart) {
            out += i == 0 ? QStringLiteral("::") : QStringLiteral(":");
            ignore0 = true;
            continue;
        }
        out += QString::number(address[i], 16);
        if (i != 7)
            out += QLatin1Char(':');
    }
    return out + QLatin1Char(']');
}

} // namespace

std::optional<QString> TkvUrlHost::Parse(const QString &input)
{
    if (input.startsWith(QLatin1Char('['))) {
        if (!input.endsWith(QLatin1Char(']')))
            return std::nullopt;
        return parseIpv6(input.mid(1, input.size() - 2));
    }
    const QString decoded = QString::fromUtf8(QByteArray::fromPercentEncoding(input.toUtf8()));
    bool ascii = true;
    for (QChar c : decoded)
        ascii = ascii && c.unicode() < 0x80;
    QString domain;
    if (ascii) {
        domain = decoded.toLower();
    } else {
        domain = QString::fromLatin1(QUrl::toAce(decoded));
        if (domain.isEmpty())
            return std::nullopt;
    }
    if (domain.isEmpty())
        return std::nullopt;
    static const QString forbidden = QStringLiteral(" #%/:<>?@[\\]^|");
    for (QChar c : domain)
        if (c.unicode() <= 0x20 || c.unicode() == 0x7F || forbidden.contains(c))
            return std::nullopt;
    if (endsInNumber(domain))
        return parseIpv4(domain);
    return domain;
}
