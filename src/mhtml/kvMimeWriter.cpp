#include "kvMimeWriter.h"

#include "kvProductValues.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kMaxLine = 76;
constexpr size_t kQpBlock = 1024;
constexpr qsizetype kQpBlockWorst = qsizetype(kQpBlock) * 9 + 16; // a CR LF may end one byte past a block
constexpr char kHex[] = "0123456789ABCDEF";
constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// True for the bytes quoted-printable may write as themselves (RFC 2045 6.7 rule 2), space and tab
// included; whether a space or tab may stay literal depends on what follows and is decided apart.
struct TLiteralTable
{
    bool literal[256] = {};
    bool plain[256] = {}; ///< literal, and never subject to the line-end rule for white space
    constexpr TLiteralTable()
    {
        for (int c = 33; c <= 126; ++c)
            literal[c] = plain[c] = c != '=';
        literal[int(' ')] = true;
        literal[int('\t')] = true;
    }
};
constexpr TLiteralTable kLiteral;

void appendEscape(char *&p, unsigned char c)
{
    *p++ = '=';
    *p++ = kHex[c >> 4];
    *p++ = kHex[c & 15];
}

} // namespace

void TkvMimeWriter::AppendQuotedPrintable(QByteArray &out, std::string_view data)
{
    // The output grows block by block: before each block there is room for its worst case (a bare LF
    // can take 9 bytes: a soft break, its escape and the break after it), so the buffer never holds
    // several times the text as a single worst-case allocation would, and a part kept in the resource
    // cache costs what its size says.
    const size_t n = data.size();
    qsizetype used = out.size();
    qsizetype lineAt = used;
    out.resize(used + QuotedPrintableReserve(n));
    size_t i = 0;
    while (i < n) {
        const size_t blockEnd = std::min(n, i + kQpBlock);
        if (out.size() - used < kQpBlockWorst)
            out.resize(std::max(used + kQpBlockWorst, out.size() + out.size() / 2));
        char *const base = out.data();
        char *p = base + used;
        char *lineStart = base + lineAt;
        auto softBreakIfNeeded = [&](int width) {
            if ((p - lineStart) + width > kMaxLine - 1) {
                *p++ = '=';
                *p++ = '\r';
                *p++ = '\n';
                lineStart = p;
            }
        };
        // Bytes that may be copied as they are without looking further: plain ones, and a space or tab
        // that is certainly not at the end of a line (one before a CR is left to the exact rule).
        auto runnable = [&](size_t j) {
            const auto b = static_cast<unsigned char>(data[j]);
            if (kLiteral.plain[b])
                return true;
            return (b == ' ' || b == '\t') && j + 1 < n && data[j + 1] != '\n' && data[j + 1] != '\r';
        };
        for (; i < blockEnd; ++i) {
            const unsigned char c = static_cast<unsigned char>(data[i]);
            if (runnable(i)) {
                // A run of bytes written as themselves, copied at once up to the end of the line.
                softBreakIfNeeded(1);
                const size_t room = size_t(kMaxLine - 1 - (p - lineStart));
                size_t end = i + 1;
                while (end < blockEnd && end - i < room && runnable(end))
                    ++end;
                std::memcpy(p, data.data() + i, end - i);
                p += end - i;
                i = end - 1;
                continue;
            }
            if (c == '\r' && i + 1 < n && data[i + 1] == '\n') {
                *p++ = '\r';
                *p++ = '\n';
                lineStart = p;
                ++i;
                continue;
            }
            if (c == '\n') {
                // A bare LF: keep it as data, and break the encoded line so the text stays readable.
                softBreakIfNeeded(3);
                appendEscape(p, c);
                if (i + 1 < n) {
                    *p++ = '=';
                    *p++ = '\r';
                    *p++ = '\n';
                    lineStart = p;
                }
                continue;
            }
            bool literal = kLiteral.literal[c];
            if (literal && (c == ' ' || c == '\t')) {
                // Trailing white space of a line would be removed by transports and decoders.
                const bool atLineEnd =
                    i + 1 == n || data[i + 1] == '\n' || (data[i + 1] == '\r' && i + 2 < n && data[i + 2] == '\n');
                literal = !atLineEnd;
            }
            if (literal) {
                softBreakIfNeeded(1);
                *p++ = char(c);
            } else {
                softBreakIfNeeded(3);
                appendEscape(p, c);
            }
        }
        used = p - base;
        lineAt = lineStart - base;
    }
    out.resize(used);
    if (out.capacity() - used > used / 8 + 4096)
        out.squeeze();
}

qsizetype TkvMimeWriter::QuotedPrintableReserve(size_t bytes)
{
    // Text is mostly literal: a little over its size, plus one block's worst case.
    return qsizetype(bytes + bytes / 8) + kQpBlockWorst;
}

void TkvMimeWriter::AppendBase64(QByteArray &out, std::string_view data)
{
    constexpr size_t kBytesPerLine = kMaxLine / 4 * 3; // 57
    const size_t n = data.size();
    const size_t lines = (n + kBytesPerLine - 1) / kBytesPerLine;
    const qsizetype start = out.size();
    out.resize(start + qsizetype((n + 2) / 3 * 4 + (lines ? (lines - 1) * 2 : 0)));
    char *p = out.data() + start;
    const auto *s = reinterpret_cast<const unsigned char *>(data.data());
    for (size_t line = 0; line < lines; ++line) {
        if (line)
            *p++ = '\r', *p++ = '\n';
        const size_t from = line * kBytesPerLine;
        const size_t to = std::min(n, from + kBytesPerLine);
        size_t i = from;
        for (; i + 3 <= to; i += 3) {
            const uint32_t v = uint32_t(s[i]) << 16 | uint32_t(s[i + 1]) << 8 | s[i + 2];
            *p++ = kBase64[v >> 18];
            *p++ = kBase64[(v >> 12) & 63];
            *p++ = kBase64[(v >> 6) & 63];
            *p++ = kBase64[v & 63];
        }
        if (i < to) {
            const uint32_t v = uint32_t(s[i]) << 16 | (i + 1 < to ? uint32_t(s[i + 1]) << 8 : 0);
            *p++ = kBase64[v >> 18];
            *p++ = kBase64[(v >> 12) & 63];
            *p++ = i + 1 < to ? kBase64[(v >> 6) & 63] : '=';
            *p++ = '=';
        }
    }
}

QByteArray TkvMimeWriter::EncodeHeaderText(const QString &text)
{
    bool plain = text.size() <= 900 && !text.contains(QLatin1String("=?"));
    for (QChar ch : text) {
        if (ch.unicode() < 0x20 || ch.unicode() > 0x7E) {
            plain = false;
            break;
        }
    }
    if (plain)
        return text.toLatin1();

    // "=?UTF-8?B?" + "?=" take 12 of the 75 characters an encoded word may have: 63 remain, which
    // hold 45 bytes of base64 input. A word never splits a UTF-8 sequence (RFC 2047 section 5).
    constexpr qsizetype kMaxBytesPerWord = 45;
    QString cleaned = text;
    for (QChar &ch : cleaned) {
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7F)
            ch = QLatin1Char(' ');
    }
    const QByteArray utf8 = cleaned.toUtf8();
    QByteArray out;
    qsizetype i = 0;
    while (i < utf8.size()) {
        qsizetype end = std::min(utf8.size(), i + kMaxBytesPerWord);
        while (end < utf8.size() && end > i && (uchar(utf8[end]) & 0xC0) == 0x80)
            --end;
        if (!out.isEmpty())
            out += "\r\n ";
        out += "=?UTF-8?B?";
        out += utf8.mid(i, end - i).toBase64();
        out += "?=";
        i = end;
    }
    return out;
}

QByteArray TkvMimeWriter::FormatDate(const QDateTime &time)
{
    static const char *const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDateTime utc = time.toUTC();
    const QDate d = utc.date();
    const QTime t = utc.time();
    return QStringLiteral("%1, %2 %3 %4 %5:%6:%7 +0000")
        .arg(QLatin1String(kDays[d.dayOfWeek() - 1]))
        .arg(d.day(), 2, 10, QLatin1Char('0'))
        .arg(QLatin1String(kMonths[d.month() - 1]))
        .arg(d.year(), 4, 10, QLatin1Char('0'))
        .arg(t.hour(), 2, 10, QLatin1Char('0'))
        .arg(t.minute(), 2, 10, QLatin1Char('0'))
        .arg(t.second(), 2, 10, QLatin1Char('0'))
        .toLatin1();
}

QByteArray TkvMimeWriter::MakeBoundary(const QByteArray &digest)
{
    return "----=_web2arc_" + digest.left(16).toHex();
}

QByteArray TkvMimeWriter::EncodePart(const QByteArray &contentType, const QByteArray &location,
                                     TkvTransferEncoding encoding, std::string_view body)
{
    QByteArray out = PartHeaders(contentType, location, encoding);
    out.reserve(out.size() + bodyRoom(encoding, body.size()));
    appendBody(out, encoding, body);
    return out;
}

QByteArray TkvMimeWriter::PartHeaders(const QByteArray &contentType, const QByteArray &location,
                                      TkvTransferEncoding encoding)
{
    QByteArray out;
    out.reserve(location.size() + contentType.size() + 128);
    out += "Content-Type: ";
    out += contentType;
    out += "\r\nContent-Transfer-Encoding: ";
    out += encoding == TkvTransferEncoding::Base64 ? "base64" : "quoted-printable";
    out += "\r\nContent-Location: ";
    out += location;
    out += "\r\n\r\n";
    return out;
}

QByteArray TkvMimeWriter::EncodeBody(TkvTransferEncoding encoding, std::string_view body)
{
    QByteArray out;
    out.reserve(bodyRoom(encoding, body.size()));
    appendBody(out, encoding, body);
    return out;
}

qsizetype TkvMimeWriter::bodyRoom(TkvTransferEncoding encoding, size_t bytes)
{
    return encoding == TkvTransferEncoding::Base64 ? qsizetype(bytes) * 139 / 100 + 4 : QuotedPrintableReserve(bytes);
}

void TkvMimeWriter::appendBody(QByteArray &out, TkvTransferEncoding encoding, std::string_view body)
{
    if (encoding == TkvTransferEncoding::Base64)
        AppendBase64(out, body);
    else
        AppendQuotedPrintable(out, body);
}

std::vector<QByteArray> TkvMimeWriter::Assemble(const TopHeaders &headers, const QByteArray &boundary,
                                                const std::vector<TkvMimePart> &parts)
{
    std::vector<QByteArray> chunks;
    chunks.reserve(parts.size() * 3 + 2);
    QByteArray head;
    head += "From: ";
    head += TkvProductValues::Title;
    head += " <web2arc@file.invalid>\r\n";
    head += "Snapshot-Content-Location: " + headers.location + "\r\n";
    head += "Subject: " + EncodeHeaderText(headers.subject) + "\r\n";
    head += "Date: " + FormatDate(headers.date) + "\r\n";
    head += "MIME-Version: 1.0\r\n";
    head += "Content-Type: multipart/related;\r\n\ttype=\"text/html\";\r\n\tboundary=\"" + boundary + "\"\r\n";
    head += "\r\n";
    const QByteArray delimiter = "\r\n--" + boundary + "\r\n";
    head += delimiter.mid(2);
    chunks.push_back(head);
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i)
            chunks.push_back(delimiter);
        chunks.insert(chunks.end(), parts[i].begin(), parts[i].end());
    }
    chunks.push_back("\r\n--" + boundary + "--\r\n");
    return chunks;
}
