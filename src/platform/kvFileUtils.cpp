#include "kvFileUtils.h"

#include "kvFileName.h"
#include "kvPath.h"
#include "kvTextFile.h"

#include <QtEndian>

#include <stdexcept>

namespace {

void requireUnitSize(int unitSize)
{
    if (unitSize != 2) {
        throw std::invalid_argument("Only 2-byte text units (UTF-16LE) are supported.");
    }
}

} // namespace

QString TkvFileUtils::ReadFileText(const QString &path, int unitSize)
{
    requireUnitSize(unitSize);
    const QByteArray bytes = TkvTextFile::ReadBytes(path);
    const qsizetype units = bytes.size() / 2;
    QString text(units, Qt::Uninitialized);
    for (qsizetype i = 0; i < units; ++i) {
        text[i] = QChar(qFromLittleEndian<quint16>(bytes.constData() + 2 * i));
    }
    return text;
}

void TkvFileUtils::WriteFileText(const QString &path, const QString &text, int unitSize, bool append)
{
    requireUnitSize(unitSize);
    const QString folder = TkvPath::FolderPart(path);
    if (append && !folder.isEmpty()) {
        TkvFileName::MakePath(folder); // ReplaceBytes creates them itself
    }
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        qToLittleEndian<quint16>(text.at(i).unicode(), bytes.data() + 2 * i);
    }
    if (append) {
        TkvTextFile::WriteBytes(path, bytes, true);
    } else {
        TkvTextFile::ReplaceBytes(path, bytes); // a failure leaves the old text whole
    }
}
