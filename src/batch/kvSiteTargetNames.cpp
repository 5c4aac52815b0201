#include "kvSiteTargetNames.h"

#include "kvCharset.h"
#include "kvUtf8.h"

#include <QCryptographicHash>
#include <QStringList>

#include <climits>

namespace {

/// Room kept in a name for the "-N" that tells two pages of the same name apart.
constexpr int kSuffixRoom = 8;

/// Characters that may not stand in a name, or would make one hard to read or handle safely: the
/// separator, NUL and the other controls (C0, DEL, C1), and the line and paragraph separators.
bool isUnsafe(char32_t c)
{
    return c == u'/' || c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

void appendEscaped(QString &out, char32_t c)
{
    static const char digits[] = "0123456789ABCDEF";
    for (char byte : QString::fromUcs4(&c, 1).toUtf8()) {
        const auto value = static_cast<unsigned char>(byte);
        out += u'%';
        out += QLatin1Char(digits[value >> 4]);
        out += QLatin1Char(digits[value & 15]);
    }
}

int utf8Length(const QString &text)
{
    return int(text.toUtf8().size());
}

} // namespace

TkvSiteTargetNames::TkvSiteTargetNames(const QString &folderPath, const QString &targetExt)
    : folderPath(folderPath), targetExt(targetExt)
{}

QString TkvSiteTargetNames::shortened(const QString &name, int maxBytes)
{
    if (utf8Length(name) <= maxBytes)
        return name;
    const QString digest =
        QString::fromLatin1(QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex().left(8));
    const int room = maxBytes - 1 - int(digest.size());
    QString out;
    int bytes = 0;
    for (char32_t c : name.toUcs4()) {
        const QString character = QString::fromUcs4(&c, 1);
        bytes += utf8Length(character);
        if (bytes > room)
            break;
        out += character;
    }
    return out + u'~' + digest;
}

QString TkvSiteTargetNames::SafeSegment(const QString &segment, int maxBytes)
{
    const QByteArray bytes = QByteArray::fromPercentEncoding(segment.toUtf8());
    QString name;
    if (TkvUtf8::IsValid(bytes)) {
        for (char32_t c : QString::fromUtf8(bytes).toUcs4()) {
            if (isUnsafe(c))
                appendEscaped(name, c);
            else
                name += QString::fromUcs4(&c, 1);
        }
    } else {
        name = segment; // an address's own escapes: printable ASCII without '/'
    }
    if (name.isEmpty())
        name = QStringLiteral("_");
    else if (name == QLatin1String("."))
        name = QStringLiteral("%2E");
    else if (name == QLatin1String(".."))
        name = QStringLiteral("%2E%2E");
    return shortened(name, maxBytes);
}

QString TkvSiteTargetNames::folderFor(const QString &encodedFolder)
{
    // Walked from the top, never recursively: a hostile site may nest folders thousands deep.
    QString target;
    QString encoded;
    QStringList segments = encodedFolder.split(u'/');
    segments.removeLast(); // the empty text after the final '/'
    for (const QString &segment : segments) {
        encoded += segment + u'/';
        const auto known = folders.constFind(encoded);
        if (known != folders.constEnd()) {
            target = *known;
            continue;
        }
        const QString name = SafeSegment(segment, MaxNameBytes - kSuffixRoom);
        QString candidate = target + name;
        for (int n = 2; takenFiles.contains(candidate); ++n)
            candidate = target + name + u'-' + QString::number(n);
        // Two folders of the site may share a target folder ("a%2Fb" and "a%252Fb"); their pages are
        // still told apart by their file names.
        takenFolders.insert(candidate);
        target = candidate + u'/';
        folders.insert(encoded, target);
    }
    return target;
}

QString TkvSiteTargetNames::freeFileName(const QString &folder, const QString &stem)
{
    QString candidate = folder + stem + targetExt;
    for (int n = 2; takenFiles.contains(candidate) || takenFolders.contains(candidate); ++n)
        candidate = folder + stem + u'-' + QString::number(n) + targetExt;
    takenFiles.insert(candidate);
    return candidate;
}

QString TkvSiteTargetNames::Assign(const QString &path)
{
    const auto known = assigned.constFind(path);
    if (known != assigned.constEnd())
        return *known;
    const QString relative = path.mid(folderPath.size());
    const qsizetype slash = relative.lastIndexOf(u'/');
    const QString folder = folderFor(relative.left(slash + 1));
    const QString file = relative.mid(slash + 1);

    const int room = MaxNameBytes - utf8Length(targetExt) - kSuffixRoom;
    // Shortened only once the extension is gone, so the digest of a long name is never taken for one.
    QString stem = file.isEmpty() ? QStringLiteral("index") : SafeSegment(file, INT_MAX);
    // The extension is replaced, as for files; a name that is all extension (".htaccess") keeps it.
    const qsizetype dot = stem.lastIndexOf(u'.');
    if (dot > 0 && stem.left(dot) != QLatin1String(".") && stem.left(dot) != QLatin1String(".."))
        stem.truncate(dot);
    const QString name = freeFileName(folder, shortened(stem, room));
    assigned.insert(path, name);
    return name;
}
