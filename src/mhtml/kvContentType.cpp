#include "kvContentType.h"

#include <QHash>

namespace {

bool at(const QByteArray &b, qsizetype offset, const char *magic, qsizetype length)
{
    return b.size() >= offset + length && memcmp(b.constData() + offset, magic, size_t(length)) == 0;
}

/// True when the first element of an XML/HTML text (after a BOM, the XML declaration, comments,
/// processing instructions and a doctype) is <svg> (with or without a prefix).
bool looksLikeSvg(const QByteArray &all)
{
    const QByteArray b = all.left(4096);
    qsizetype p = b.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (p < b.size()) {
        while (p < b.size() && (b[p] == ' ' || b[p] == '\t' || b[p] == '\r' || b[p] == '\n'))
            ++p;
        if (p >= b.size() || b[p] != '<')
            return false;
        if (b.mid(p, 4) == "<!--") {
            const qsizetype end = b.indexOf("-->", p + 4);
            if (end < 0)
                return false;
            p = end + 3;
        } else if (b.mid(p, 2) == "<?" || b.mid(p, 2) == "<!") {
            const qsizetype end = b.indexOf('>', p + 2);
            if (end < 0)
                return false;
            p = end + 1;
        } else {
            qsizetype end = p + 1;
            while (end < b.size() && b[end] != '>' && b[end] != '/' && b[end] != ' ' && b[end] != '\t' &&
                   b[end] != '\r' && b[end] != '\n')
                ++end;
            const QByteArray name = b.mid(p + 1, end - p - 1).toLower();
            return name == "svg" || name.endsWith(":svg");
        }
    }
    return false;
}

QString binarySniff(const QByteArray &b)
{
    if (at(b, 0, "\x89PNG\r\n\x1A\n", 8))
        return QStringLiteral("image/png");
    if (at(b, 0, "GIF87a", 6) || at(b, 0, "GIF89a", 6))
        return QStringLiteral("image/gif");
    if (at(b, 0, "\xFF\xD8\xFF", 3))
        return QStringLiteral("image/jpeg");
    if (at(b, 0, "RIFF", 4) && at(b, 8, "WEBP", 4))
        return QStringLiteral("image/webp");
    if (at(b, 0, "RIFF", 4) && at(b, 8, "WAVE", 4))
        return QStringLiteral("audio/wav");
    if (at(b, 0, "BM", 2) && b.size() >= 14)
        return QStringLiteral("image/bmp");
    if (at(b, 0, "\x00\x00\x01\x00", 4) || at(b, 0, "\x00\x00\x02\x00", 4))
        return QStringLiteral("image/x-icon");
    if (at(b, 0, "wOFF", 4))
        return QStringLiteral("font/woff");
    if (at(b, 0, "wOF2", 4))
        return QStringLiteral("font/woff2");
    if (at(b, 0, "OTTO", 4))
        return QStringLiteral("font/otf");
    if (at(b, 0, "\x00\x01\x00\x00", 4) || at(b, 0, "true", 4))
        return QStringLiteral("font/ttf");
    if (at(b, 0, "%PDF-", 5))
        return QStringLiteral("application/pdf");
    if (at(b, 4, "ftyp", 4)) {
        if (at(b, 8, "avif", 4) || at(b, 8, "avis", 4))
            return QStringLiteral("image/avif");
        if (at(b, 8, "M4A ", 4))
            return QStringLiteral("audio/mp4");
        return QStringLiteral("video/mp4");
    }
    if (at(b, 0, "\x1A\x45\xDF\xA3", 4))
        return QStringLiteral("video/webm");
    if (at(b, 0, "OggS", 4))
        return QStringLiteral("audio/ogg");
    if (at(b, 0, "ID3", 3))
        return QStringLiteral("audio/mpeg");
    if (at(b, 0, "fLaC", 4))
        return QStringLiteral("audio/flac");
    return {};
}

} // namespace

QString TkvContentType::Sniff(const QByteArray &bytes)
{
    const QString binary = binarySniff(bytes);
    if (!binary.isEmpty())
        return binary;
    return looksLikeSvg(bytes) ? QStringLiteral("image/svg+xml") : QString();
}

QString TkvContentType::FromExtension(const QString &path)
{
    static const QHash<QString, QString> types = {
        {"htm", "text/html"},
        {"html", "text/html"},
        {"shtml", "text/html"},
        {"xhtml", "application/xhtml+xml"},
        {"xht", "application/xhtml+xml"},
        {"css", "text/css"},
        {"js", "text/javascript"},
        {"mjs", "text/javascript"},
        {"json", "application/json"},
        {"xml", "application/xml"},
        {"xsl", "application/xml"},
        {"txt", "text/plain"},
        {"csv", "text/csv"},
        {"vtt", "text/vtt"},
        {"svg", "image/svg+xml"},
        {"png", "image/png"},
        {"apng", "image/apng"},
        {"gif", "image/gif"},
        {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},
        {"jpe", "image/jpeg"},
        {"jfif", "image/jpeg"},
        {"pjpeg", "image/jpeg"},
        {"webp", "image/webp"},
        {"avif", "image/avif"},
        {"bmp", "image/bmp"},
        {"ico", "image/x-icon"},
        {"cur", "image/x-icon"},
        {"tif", "image/tiff"},
        {"tiff", "image/tiff"},
        {"woff", "font/woff"},
        {"woff2", "font/woff2"},
        {"ttf", "font/ttf"},
        {"otf", "font/otf"},
        {"eot", "application/vnd.ms-fontobject"},
        {"pdf", "application/pdf"},
        {"mp4", "video/mp4"},
        {"m4v", "video/mp4"},
        {"webm", "video/webm"},
        {"ogv", "video/ogg"},
        {"ogg", "audio/ogg"},
        {"oga", "audio/ogg"},
        {"opus", "audio/ogg"},
        {"mp3", "audio/mpeg"},
        {"wav", "audio/wav"},
        {"m4a", "audio/mp4"},
        {"flac", "audio/flac"},
        {"swf", "application/x-shockwave-flash"},
        {"wasm", "application/wasm"},
    };
    QString name = path;
    const qsizetype cut = name.indexOf(QLatin1Char('?'));
    if (cut >= 0)
        name.truncate(cut);
    const qsizetype hash = name.indexOf(QLatin1Char('#'));
    if (hash >= 0)
        name.truncate(hash);
    const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot < slash)
        return {};
    return types.value(name.mid(dot + 1).toLower());
}

QString TkvContentType::Guess(const QString &path, const QByteArray &bytes)
{
    const QString binary = binarySniff(bytes);
    if (!binary.isEmpty())
        return binary;
    const QString byName = FromExtension(path);
    if (!byName.isEmpty())
        return byName;
    if (looksLikeSvg(bytes))
        return QStringLiteral("image/svg+xml");
    return QStringLiteral("application/octet-stream");
}

QString TkvContentType::Essence(const QString &contentType)
{
    const qsizetype semicolon = contentType.indexOf(QLatin1Char(';'));
    return (semicolon >= 0 ? contentType.left(semicolon) : contentType).trimmed().toLower();
}

bool TkvContentType::IsText(const QString &contentType)
{
    const QString type = Essence(contentType);
    if (type.startsWith(QLatin1String("text/")))
        return true;
    static const QStringList textual = {
        QStringLiteral("application/javascript"), QStringLiteral("application/x-javascript"),
        QStringLiteral("application/ecmascript"), QStringLiteral("application/json"),
        QStringLiteral("application/xml"),        QStringLiteral("application/xhtml+xml"),
        QStringLiteral("image/svg+xml"),
    };
    return textual.contains(type) || type.endsWith(QLatin1String("+xml")) || type.endsWith(QLatin1String("+json"));
}
