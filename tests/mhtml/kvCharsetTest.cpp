#include "kvCharset.h"
#include "kvContentType.h"
#include "kvMhtError.h"

#include <gtest/gtest.h>

static void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

QByteArray bytes(const char *text)
{
    return QByteArray(text);
}

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

TEST(KvCharsetTest, NormalizesLabelsByTheEncodingStandard)
{
    const std::pair<const char *, const char *> cases[] = {
        {"utf-8", "UTF-8"},
        {" UTF8 ", "UTF-8"},
        {"latin1", "windows-1252"},
        {"ISO-8859-1", "windows-1252"},
        {"ascii", "windows-1252"},
        {"us-ascii", "windows-1252"},
        {"shift_jis", "Shift_JIS"},
        {"x-sjis", "Shift_JIS"},
        {"euc-jp", "EUC-JP"},
        {"gb2312", "GBK"},
        {"GBK", "GBK"},
        {"gb18030", "gb18030"},
        {"big5", "Big5"},
        {"koi8_r", "KOI8-R"},
        {"koi8-u", "KOI8-U"},
        {"cp1251", "windows-1251"},
        {"iso-8859-9", "windows-1254"},
        {"iso-8859-15", "ISO-8859-15"},
        {"utf-16", "UTF-16LE"},
        {"utf-16be", "UTF-16BE"},
        {"ks_c_5601-1987", "EUC-KR"},
    };
    for (const auto &[label, name] : cases)
        EXPECT_EQ(TkvCharset::Normalize(QString::fromLatin1(label)), QString::fromLatin1(name)) << label;
    EXPECT_TRUE(TkvCharset::Normalize(QStringLiteral("utf-88")).isEmpty());
    EXPECT_TRUE(TkvCharset::Normalize(QStringLiteral("iso-2022-kr")).isEmpty()); // the "replacement" encoding
    try {
        TkvCharset::Require(QStringLiteral("utf-88"));
        FAIL() << "no error for an unknown charset";
    } catch (const EMhtError &e) {
        EXPECT_STREQ(e.what(), "Unknown character set \"utf-88\"");
    }
}

TEST(KvCharsetTest, DetectsInTheOrderBomHeaderMetaContent)
{
    const QByteArray meta = bytes("<html><head><meta charset=\"koi8-r\"></head>");
    EXPECT_EQ(TkvCharset::Detect("\xEF\xBB\xBF" + meta, QStringLiteral("text/html; charset=gbk")), u("UTF-8"));
    EXPECT_EQ(TkvCharset::Detect(QByteArray("\xFF\xFE<\0h\0", 6)), u("UTF-16LE"));
    EXPECT_EQ(TkvCharset::Detect(QByteArray("\xFE\xFF\0<\0h", 6)), u("UTF-16BE"));
    EXPECT_EQ(TkvCharset::Detect(meta, QStringLiteral("text/html; charset=\"Shift_JIS\"")), u("Shift_JIS"));
    EXPECT_EQ(TkvCharset::Detect(meta, QStringLiteral("text/html; charset=bogus")), u("KOI8-R"));
    EXPECT_EQ(TkvCharset::Detect(meta), u("KOI8-R"));
    EXPECT_EQ(TkvCharset::Detect(bytes("<p>plain ascii</p>")), u("UTF-8"));
    EXPECT_EQ(TkvCharset::Detect(bytes("<p>caf\xC3\xA9</p>")), u("UTF-8"));
    EXPECT_EQ(TkvCharset::Detect(bytes("<p>caf\xE9</p>")), u("windows-1252"));
}

TEST(KvCharsetTest, PrescansMetaDeclarationsLikeABrowser)
{
    const std::pair<const char *, const char *> cases[] = {
        {"<meta charset=windows-1251>", "windows-1251"},
        {"<META CHARSET='ISO-8859-2'/>", "ISO-8859-2"},
        {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=euc-jp\">", "EUC-JP"},
        {"<meta content='text/html;charset = \"big5\"' http-equiv='content-type'>", "Big5"},
        // content without the pragma counts for nothing
        {"<meta content=\"text/html; charset=euc-jp\">", ""},
        {"<meta name=x content=\"charset=euc-jp\"><meta charset=koi8-r>", "KOI8-R"},
        // a UTF-16 declaration in bytes that were readable as ASCII means UTF-8
        {"<meta charset=utf-16>", "UTF-8"},
        {"<meta charset=x-user-defined>", "windows-1252"},
        {"<!-- <meta charset=koi8-r> --><meta charset=gbk>", "GBK"},
        {"<!--><meta charset=gbk>", "GBK"},
        {"<div title=\"<meta charset=koi8-r>\"><meta charset=gbk>", "GBK"},
        {"<metadata charset=koi8-r>", ""},
        {"<meta charset=unknown-thing><meta charset=gbk>", "GBK"},
        {"<?xml version=\"1.0\"?><meta charset=gbk>", "GBK"},
        {"<meta charset", ""},
    };
    for (const auto &[html, name] : cases)
        EXPECT_EQ(TkvCharset::Prescan(QByteArray(html)), QString::fromLatin1(name)) << html;
    // Only the first 1024 bytes are looked at.
    EXPECT_EQ(TkvCharset::Prescan(QByteArray(1010, ' ') + "<meta charset=gbk>"), QString());
    EXPECT_EQ(TkvCharset::Prescan(QByteArray(990, ' ') + "<meta charset=gbk>"), u("GBK"));
}

TEST(KvCharsetTest, RoundTripsEastAsianAndCyrillicCharsets)
{
    const std::pair<const char *, const char *> cases[] = {
        {"Shift_JIS", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xE3\x83\x86\xE3\x82\xAD\xE3\x82\xB9\xE3\x83\x88"},
        {"KOI8-R", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
        {"gb18030", "\xE4\xB8\xAD\xE6\x96\x87 \xF0\xA0\x80\x80 \xE2\x82\xAC"}, // includes a four-byte character
        {"EUC-KR", "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4"},
        {"Big5", "\xE7\xB9\x81\xE9\xAB\x94"},
    };
    for (const auto &[charset, text] : cases) {
        const QString name = QString::fromLatin1(charset);
        const QByteArray encoded = TkvCharset::Encode(u(text), name);
        EXPECT_NE(encoded, u(text).toUtf8()) << charset;
        EXPECT_FALSE(encoded.contains("&#")) << charset;
        EXPECT_EQ(TkvCharset::Decode(encoded, name), u(text)) << charset;
    }
    EXPECT_EQ(TkvCharset::Encode(u("\xE6\x97\xA5"), QStringLiteral("sjis")), QByteArray("\x93\xFA"));
    EXPECT_EQ(TkvCharset::Decode(QByteArray("\xF0\xD2\xC9\xD7\xC5\xD4"), QStringLiteral("koi8-r")),
              u("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"));
}

TEST(KvCharsetTest, WritesMissingCharactersAsNumericReferences)
{
    EXPECT_EQ(TkvCharset::Encode(u("a\xE2\x82\xAC\xE6\x97\xA5"), QStringLiteral("windows-1252")),
              QByteArray("a\x80&#26085;"));
    EXPECT_EQ(TkvCharset::Encode(u("x\xF0\x9F\x98\x80y\xE6\x97\xA5"), QStringLiteral("Shift_JIS")),
              QByteArray("x&#128512;y\x93\xFA"));
    EXPECT_EQ(TkvCharset::Encode(u("\xC3\xA9\xE2\x82\xAC"), QStringLiteral("iso-8859-2")), QByteArray("\xE9&#8364;"));
    // UTF-16 gets no byte-order mark; decoding skips a matching one.
    EXPECT_EQ(TkvCharset::Encode(QStringLiteral("hi"), QStringLiteral("utf-16le")), QByteArray("h\0i\0", 4));
    EXPECT_EQ(TkvCharset::Decode(QByteArray("\xFF\xFEh\0i\0", 6), QStringLiteral("utf-16le")), QStringLiteral("hi"));
    EXPECT_EQ(TkvCharset::Decode(QByteArray("\xEF\xBB\xBFok"), QStringLiteral("utf-8")), QStringLiteral("ok"));
    EXPECT_THROW(TkvCharset::Encode(QStringLiteral("x"), QStringLiteral("utf-88")), EMhtError);
    EXPECT_THROW(TkvCharset::Decode(QByteArray("x"), QStringLiteral("utf-88")), EMhtError);
}

TEST(KvContentTypeTest, SniffsMagicBytesBeforeTheExtension)
{
    const std::pair<QByteArray, const char *> cases[] = {
        {QByteArray("\x89PNG\r\n\x1A\n....", 12), "image/png"},
        {QByteArray("GIF89a...."), "image/gif"},
        {QByteArray("\xFF\xD8\xFF\xE0...."), "image/jpeg"},
        {QByteArray("RIFF\x10\0\0\0WEBPVP8 ", 16), "image/webp"},
        {QByteArray("wOF2\0\1\0\0", 8), "font/woff2"},
        {QByteArray("wOFF\0\1\0\0", 8), "font/woff"},
        {QByteArray("OTTO\0\x0A", 6), "font/otf"},
        {QByteArray("\0\1\0\0\0\x0A", 6), "font/ttf"},
        {QByteArray("\0\0\1\0\1\0", 6), "image/x-icon"},
        {QByteArray("%PDF-1.7\n"), "application/pdf"},
        {QByteArray("\0\0\0\x18"
                    "ftypmp42",
                    12),
         "video/mp4"},
        {QByteArray("\x1A\x45\xDF\xA3\x9F", 5), "video/webm"},
        {QByteArray("<?xml version=\"1.0\"?>\n<!-- c -->\n<!DOCTYPE svg>\n<svg xmlns=\"http://www.w3.org/2000/svg\"/>"),
         "image/svg+xml"},
    };
    for (const auto &[content, type] : cases) {
        EXPECT_EQ(TkvContentType::Sniff(content), QString::fromLatin1(type)) << type;
        EXPECT_EQ(TkvContentType::Guess(QStringLiteral("/x/noextension"), content), QString::fromLatin1(type)) << type;
        // Binary magic beats a misleading extension; an SVG text keeps the type its name gives.
        const QString named = TkvContentType::Guess(QStringLiteral("/x/misnamed.txt"), content);
        EXPECT_EQ(named, QString::fromLatin1(type) == QLatin1String("image/svg+xml") ? u("text/plain")
                                                                                     : QString::fromLatin1(type))
            << type;
    }
    EXPECT_EQ(TkvContentType::Sniff(QByteArray("<?xml version=\"1.0\"?><html/>")), QString());
}

TEST(KvContentTypeTest, FallsBackToTheExtension)
{
    EXPECT_EQ(TkvContentType::Guess(QStringLiteral("/s/style.CSS"), "body{}"), u("text/css"));
    EXPECT_EQ(TkvContentType::Guess(QStringLiteral("http://h/app.js?v=2#x"), "x()"), u("text/javascript"));
    EXPECT_EQ(TkvContentType::Guess(QStringLiteral("/s/page.htm"), "<svg></svg>"), u("text/html"));
    EXPECT_EQ(TkvContentType::Guess(QStringLiteral("/s/icon"), "<svg></svg>"), u("image/svg+xml"));
    EXPECT_EQ(TkvContentType::Guess(QStringLiteral("/s.d/noext"), "abc"), u("application/octet-stream"));
    EXPECT_EQ(TkvContentType::FromExtension(QStringLiteral("/s/font.woff2")), u("font/woff2"));
    EXPECT_EQ(TkvContentType::FromExtension(QStringLiteral("/s.d/noext")), QString());
}

TEST(KvContentTypeTest, ReadsContentTypeValues)
{
    EXPECT_EQ(TkvContentType::Essence(QStringLiteral(" Text/HTML ; charset=x")), u("text/html"));
    EXPECT_EQ(TkvCharset::FromContentType(QStringLiteral("text/css;CHARSET=latin1")), u("windows-1252"));
    EXPECT_EQ(TkvCharset::FromContentType(QStringLiteral("text/css")), QString());
    for (const char *type : {"text/css", "text/html; charset=utf-8", "application/javascript", "image/svg+xml",
                             "application/ld+json", "application/rss+xml"})
        EXPECT_TRUE(TkvContentType::IsText(QString::fromLatin1(type))) << type;
    for (const char *type : {"image/png", "font/woff2", "application/octet-stream", "application/pdf", ""})
        EXPECT_FALSE(TkvContentType::IsText(QString::fromLatin1(type))) << type;
}
