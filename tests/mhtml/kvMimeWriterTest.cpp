#include "mhtReaderCheck.h"
#include "mimeReader.h"

#include "kvMimeWriter.h"

#include <QTimeZone>

#include <gtest/gtest.h>

#include <random>

namespace {

// One archive holding the given bodies, read back by GMime.
TMimeReadMessage roundTrip(const std::vector<std::pair<TkvTransferEncoding, QByteArray>> &bodies,
                           QByteArray *archive = nullptr, const QString &subject = QStringLiteral("t"))
{
    std::vector<TkvMimePart> parts;
    parts.push_back({TkvMimeWriter::EncodePart("text/html; charset=UTF-8", "http://file.invalid/p.htm",
                                               TkvTransferEncoding::QuotedPrintable, "<p>page</p>")});
    int n = 0;
    for (const auto &[encoding, body] : bodies)
        parts.push_back({TkvMimeWriter::EncodePart("application/octet-stream",
                                                   "http://file.invalid/r" + QByteArray::number(n++), encoding,
                                                   std::string_view(body.constData(), size_t(body.size())))});
    const TkvMimeWriter::TopHeaders headers{subject, "file:///p.htm",
                                            QDateTime(QDate(2026, 12, 9), QTime(8, 6, 46), Qt::UTC)};
    QByteArray all;
    for (const QByteArray &chunk : TkvMimeWriter::Assemble(headers, TkvMimeWriter::MakeBoundary("digest"), parts))
        all += chunk;
    if (archive)
        *archive = all;
    return ReadMimeMessage(all);
}

QByteArray randomBytes(std::mt19937 &rng, int size, const char *alphabet = nullptr)
{
    QByteArray out(size, '\0');
    const size_t alphabetSize = alphabet ? strlen(alphabet) : 0;
    for (char &c : out)
        c = alphabet ? alphabet[rng() % alphabetSize] : char(rng() & 0xFF);
    return out;
}

} // namespace

TEST(KvMimeWriterTest, QuotedPrintableGivesBackEveryByteThroughAnIndependentReader)
{
    std::mt19937 rng(42);
    std::vector<std::pair<TkvTransferEncoding, QByteArray>> bodies = {
        {TkvTransferEncoding::QuotedPrintable, QByteArray("line1\nline2\r\nline3\rline4")},
        {TkvTransferEncoding::QuotedPrintable, QByteArray("trailing space \r\ntrailing tab\t\nend ")},
        {TkvTransferEncoding::QuotedPrintable, QByteArray("\n\n\r\r\r\n\n")},
        {TkvTransferEncoding::QuotedPrintable, QByteArray("ends with CR LF\r\n")},
        {TkvTransferEncoding::QuotedPrintable, QByteArray("a=b ==3D =\n")},
        {TkvTransferEncoding::QuotedPrintable, QByteArray()},
        {TkvTransferEncoding::QuotedPrintable, QByteArray(300, 'x')},
        {TkvTransferEncoding::QuotedPrintable, QByteArray(300, ' ')},
        {TkvTransferEncoding::QuotedPrintable, QByteArray(300, '\xE9')},
    };
    for (int i = 0; i < 40; ++i)
        bodies.push_back(
            {TkvTransferEncoding::QuotedPrintable, randomBytes(rng, 1 + int(rng() % 700), " \t\r\n=ab.\xC3\xA9")});
    for (int i = 0; i < 10; ++i)
        bodies.push_back({TkvTransferEncoding::QuotedPrintable, randomBytes(rng, 1 + int(rng() % 700))});

    QByteArray archive;
    const TMimeReadMessage read = roundTrip(bodies, &archive);
    ASSERT_TRUE(read.ok) << read.error;
    ASSERT_EQ(read.parts.size(), bodies.size() + 1);
    for (size_t i = 0; i < bodies.size(); ++i) {
        EXPECT_EQ(read.parts[i + 1].encoding, "quoted-printable");
        EXPECT_EQ(read.parts[i + 1].data, bodies[i].second) << "body " << i;
    }
    const std::vector<std::string> problems = CheckMhtForReaders(archive);
    EXPECT_TRUE(problems.empty()) << problems.front();
}

TEST(KvMimeWriterTest, QuotedPrintableOfLongTextRoundTripsAndHoldsNoSpareBuffer)
{
    // Bodies that span many of the encoder's working blocks, with the costliest bytes (bare LF, bytes
    // to escape) throughout and a CR LF pair straddling every block edge.
    std::mt19937 rng(7);
    QByteArray straddling;
    while (straddling.size() < 9000)
        straddling += QByteArray(1023, 'y') + "\r\n";
    const std::vector<std::pair<TkvTransferEncoding, QByteArray>> bodies = {
        {TkvTransferEncoding::QuotedPrintable, QByteArray(20000, '\n')},
        {TkvTransferEncoding::QuotedPrintable, QByteArray(20000, '=')},
        {TkvTransferEncoding::QuotedPrintable, randomBytes(rng, 30000)},
        {TkvTransferEncoding::QuotedPrintable, randomBytes(rng, 30000, " \t\r\n=ab\xE9")},
        {TkvTransferEncoding::QuotedPrintable, straddling},
    };
    QByteArray archive;
    const TMimeReadMessage read = roundTrip(bodies, &archive);
    ASSERT_TRUE(read.ok) << read.error;
    ASSERT_EQ(read.parts.size(), bodies.size() + 1);
    for (size_t i = 0; i < bodies.size(); ++i)
        EXPECT_EQ(read.parts[i + 1].data, bodies[i].second) << "body " << i;
    const std::vector<std::string> problems = CheckMhtForReaders(archive);
    EXPECT_TRUE(problems.empty()) << problems.front();

    // A part kept in the resource cache is charged by its size: the buffer must not be much larger.
    const QByteArray text = randomBytes(rng, 200000, "abcdefgh \r\n");
    const QByteArray part =
        TkvMimeWriter::EncodePart("text/css", "http://h/s.css", TkvTransferEncoding::QuotedPrintable,
                                  std::string_view(text.constData(), size_t(text.size())));
    EXPECT_LE(part.capacity(), part.size() + part.size() / 4 + 16384) << part.size();
}

TEST(KvMimeWriterTest, Base64OfEveryLengthRoundTripsInLinesOf76)
{
    std::mt19937 rng(7);
    std::vector<std::pair<TkvTransferEncoding, QByteArray>> bodies;
    for (int size = 0; size <= 120; ++size)
        bodies.push_back({TkvTransferEncoding::Base64, randomBytes(rng, size)});
    bodies.push_back({TkvTransferEncoding::Base64, randomBytes(rng, 100000)});

    QByteArray archive;
    const TMimeReadMessage read = roundTrip(bodies, &archive);
    ASSERT_TRUE(read.ok) << read.error;
    ASSERT_EQ(read.parts.size(), bodies.size() + 1);
    for (size_t i = 0; i < bodies.size(); ++i)
        EXPECT_EQ(read.parts[i + 1].data, bodies[i].second) << "body of " << bodies[i].second.size() << " bytes";
    const std::vector<std::string> problems = CheckMhtForReaders(archive);
    EXPECT_TRUE(problems.empty()) << problems.front();

    QByteArray line;
    TkvMimeWriter::AppendBase64(line, std::string_view("\x00\x01\x02\xFF\xFE", 5));
    EXPECT_EQ(line, QByteArray("AAEC//4="));
    QByteArray lines;
    const QByteArray input(57 * 2 + 1, 'a');
    TkvMimeWriter::AppendBase64(lines, std::string_view(input.constData(), size_t(input.size())));
    const QList<QByteArray> split = lines.split('\n');
    ASSERT_EQ(split.size(), 3);
    EXPECT_EQ(split[0].size(), 77); // 76 + CR
    EXPECT_EQ(split[2], QByteArray("YQ=="));
}

TEST(KvMimeWriterTest, QuotedPrintableKeepsLinesShortAndTextReadable)
{
    QByteArray out;
    TkvMimeWriter::AppendQuotedPrintable(out, "<p class=x>caf\xC3\xA9</p>\n<br>\n");
    EXPECT_EQ(out, QByteArray("<p class=3Dx>caf=C3=A9</p>=0A=\r\n<br>=0A"));

    // Escapes are never split by a soft break, and no line exceeds 76 characters.
    QByteArray long1;
    const std::string text = std::string(74, 'a') + "\xFF" + std::string(200, '=');
    TkvMimeWriter::AppendQuotedPrintable(long1, text);
    for (const QByteArray &line : long1.split('\n')) {
        const QByteArray l = line.endsWith('\r') ? line.chopped(1) : line;
        EXPECT_LE(l.size(), 76);
        const qsizetype eq = l.lastIndexOf('=');
        if (eq >= 0) {
            EXPECT_TRUE(eq == l.size() - 1 || eq <= l.size() - 3) << l.constData();
        }
    }
}

TEST(KvMimeWriterTest, SubjectIsPlainWhenAsciiAndEncodedWordsOtherwise)
{
    EXPECT_EQ(TkvMimeWriter::EncodeHeaderText(QStringLiteral("Plain title")), QByteArray("Plain title"));

    const QString title = QString::fromUtf8("Ünïcödé — 日本語のタイトル, long enough to need several encoded words ✓");
    const QByteArray encoded = TkvMimeWriter::EncodeHeaderText(title);
    EXPECT_TRUE(encoded.startsWith("=?UTF-8?B?"));
    for (const QByteArray &word : encoded.split('\n'))
        EXPECT_LE(word.trimmed().size(), 75);
    EXPECT_EQ(roundTrip({}, nullptr, title).subject, title.toStdString());

    // Control characters (a title spanning lines) never break the header.
    QByteArray archive;
    const TMimeReadMessage read = roundTrip({}, &archive, QStringLiteral("two\nlines =?x?="));
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(read.subject, "two lines =?x?=");
    EXPECT_TRUE(CheckMhtForReaders(archive).empty());
}

TEST(KvMimeWriterTest, TopHeadersDateAndBoundary)
{
    QByteArray archive;
    const TMimeReadMessage read = roundTrip({}, &archive);
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(read.contentType, "multipart/related");
    EXPECT_EQ(read.Header("Date"), "Wed, 09 Dec 2026 08:06:46 +0000");
    EXPECT_EQ(read.Header("MIME-Version"), "1.0");
    EXPECT_EQ(read.Header("Snapshot-Content-Location"), "file:///p.htm");
    EXPECT_NE(read.Header("From").find("Batch WEB2ARC Converter"), std::string::npos);
    EXPECT_TRUE(archive.contains("multipart/related;\r\n\ttype=\"text/html\";"));
    EXPECT_NE(read.boundary.find("=_"), std::string::npos);
    EXPECT_TRUE(archive.endsWith(("\r\n--" + read.boundary + "--\r\n").c_str()));

    EXPECT_EQ(TkvMimeWriter::MakeBoundary("abc"), TkvMimeWriter::MakeBoundary("abc"));
    EXPECT_NE(TkvMimeWriter::MakeBoundary("abc"), TkvMimeWriter::MakeBoundary("abd"));
    // A local time is written in UTC.
    EXPECT_EQ(TkvMimeWriter::FormatDate(QDateTime(QDate(2024, 2, 29), QTime(1, 2, 3), Qt::OffsetFromUTC, 3600)),
              QByteArray("Thu, 29 Feb 2024 00:02:03 +0000"));
}

TEST(KvMimeWriterTest, ReaderCheckCatchesWhatBrowsersReject)
{
    QByteArray good;
    roundTrip({{TkvTransferEncoding::Base64, QByteArray("abc")}}, &good);
    ASSERT_TRUE(CheckMhtForReaders(good).empty());

    QByteArray bareLf = good;
    bareLf.replace("MIME-Version: 1.0\r\n", "MIME-Version: 1.0\n");
    EXPECT_FALSE(CheckMhtForReaders(bareLf).empty());

    QByteArray unclosed = good;
    unclosed.chop(4);
    unclosed += "\r\n";
    EXPECT_FALSE(CheckMhtForReaders(unclosed).empty());

    QByteArray fileLocation = good;
    fileLocation.replace("http://file.invalid/r0", "file:///r0");
    EXPECT_FALSE(CheckMhtForReaders(fileLocation).empty());

    EXPECT_TRUE(IsCanonicalLocation("http://a.example/x%20y?q=1"));
    EXPECT_FALSE(IsCanonicalLocation("http://a.example:80/"));
    EXPECT_FALSE(IsCanonicalLocation("HTTP://a.example/"));
    EXPECT_FALSE(IsCanonicalLocation("http://a.example/b/../c"));
    EXPECT_FALSE(IsCanonicalLocation("http://a.example/x y"));
    EXPECT_TRUE(IsCanonicalLocation("http://a.example/i.svg#home"));
    EXPECT_FALSE(IsCanonicalLocation("http://a.example/i.svg#a b"));
    EXPECT_FALSE(IsCanonicalLocation("http://a.example:80/i.svg#home"));

    // A part under an address with a fragment repeats one stored under the address without it.
    QByteArray lonelyFragment = good;
    lonelyFragment.replace("http://file.invalid/r0", "http://file.invalid/r1#f");
    EXPECT_FALSE(CheckMhtForReaders(lonelyFragment).empty());
    EXPECT_FALSE(IsCanonicalLocation("img/a.png"));
}
