#include "e2eHarness.h"
#include "kvInfoCodec.h"

#include <QByteArray>
#include <QString>

// The information file as the program writes it: the encoded text in UTF-16 little-endian units.
QByteArray EncodeInfoForTest(const QString &text, int key)
{
    const QString encoded = TkvInfoCodec::Encode(text, key);
    QByteArray bytes;
    for (QChar c : encoded) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}
