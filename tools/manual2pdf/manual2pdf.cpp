// Turns the Markdown user manual into the PDF help document that the Help command opens.
//
// Usage: manual2pdf <manual.md> <output.pdf> [title]
// Runs without a display: it needs only Qt Gui's text layout and PDF writer on the offscreen platform.
// Exit code 0 when the PDF was written; 1 with a message on standard error otherwise (a missing or
// empty manual, a picture it names that cannot be read, an unwritable output).
// The same manual gives the same bytes: fonts are written in a fixed order, and the creation date is
// SOURCE_DATE_EPOCH when that is set (as package builds set it).
#include "kvRuntimeFolder.h"

#include <QFile>
#include <QFileInfo>
#include <QDateTime>
#include <QHashSeed>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

/// Markdown tables come out with equal columns, which squeezes long descriptions into a few words a
/// line. Give each column a share of the width that follows the length of its longest word and of
/// its text, so short columns (keys, types, defaults) stay narrow and the descriptions get the room.
void sizeTableColumns(QTextTable *table)
{
    const int columns = table->columns();
    std::vector<double> weight(size_t(columns), 1.0);
    for (int c = 0; c < columns; ++c) {
        qsizetype longestWord = 1;
        qsizetype longestText = 1;
        for (int r = 0; r < table->rows(); ++r) {
            const QTextTableCell cell = table->cellAt(r, c);
            QTextCursor cursor = cell.firstCursorPosition();
            cursor.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
            const QString text = cursor.selectedText();
            longestText = std::max(longestText, text.size());
            for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
                longestWord = std::max(longestWord, word.size());
        }
        // A column needs its longest word on one line; beyond that it gains room more slowly.
        weight[size_t(c)] = double(longestWord) + 0.12 * double(std::max<qsizetype>(0, longestText - longestWord));
    }
    double total = 0;
    for (double w : weight)
        total += w;
    QList<QTextLength> widths;
    for (double w : weight)
        widths.append(QTextLength(QTextLength::PercentageLength, 100.0 * w / total));
    QTextTableFormat format = table->format();
    format.setColumnWidthConstraints(widths);
    format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    format.setCellPadding(3);
    format.setCellSpacing(0);
    format.setBorderCollapse(true);
    format.setBorder(0.5);
    table->setFormat(format);
}

/// Pictures keep their proportions and are scaled down to the width of the text (in the document's
/// units, which print() maps onto the page), so a screenshot never runs off the page.
/// Returns false when a picture cannot be read (it is reported on standard error).
bool fitImages(QTextDocument &document, qreal textWidth)
{
    bool complete = true;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isImageFormat())
                continue;
            QTextImageFormat image = fragment.charFormat().toImageFormat();
            // print() lays out a copy of the document that does not share its base address: name
            // the picture by its absolute path so the copy finds it too.
            const QString path = document.baseUrl().resolved(QUrl(image.name())).toLocalFile();
            const QImage picture(path);
            if (picture.isNull()) {
                std::fprintf(stderr, "manual2pdf: cannot read the picture %s\n", qPrintable(path));
                complete = false;
                continue;
            }
            image.setName(path);
            if (picture.width() > textWidth) {
                image.setWidth(textWidth);
                image.setHeight(textWidth * picture.height() / picture.width());
            }
            QTextCursor cursor(&document);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(image);
        }
    }
    return complete;
}

void sizeTables(QTextFrame *frame)
{
    for (QTextFrame *child : frame->childFrames()) {
        if (auto *table = qobject_cast<QTextTable *>(child))
            sizeTableColumns(table);
        sizeTables(child);
    }
}

/// Puts SOURCE_DATE_EPOCH in place of the writer's clock time. The date keeps its length, so the
/// cross-reference offsets of the file stay right.
bool stampCreationDate(const QString &target)
{
    bool valid = false;
    const qint64 epoch = qEnvironmentVariable("SOURCE_DATE_EPOCH").toLongLong(&valid);
    if (!valid)
        return true;
    QFile file(target);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = file.readAll();
    const QByteArray key = "/CreationDate (D:";
    const qsizetype at = bytes.indexOf(key);
    const QByteArray date = QDateTime::fromSecsSinceEpoch(epoch, Qt::UTC).toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1();
    if (at < 0 || date.size() != 14 || bytes.mid(at + key.size() + 14, 2) != "Z)")
        return false;
    bytes.replace(at + key.size(), 14, date);
    return file.seek(0) && file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The writer keeps its fonts in a hash: a fixed seed writes them in the same order every time.
    QHashSeed::setDeterministicGlobalSeed();
    // Builds run outside a login session; without this Qt warns about the missing runtime folder.
    TkvRuntimeFolder::Provide();
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: manual2pdf <manual.md> <output.pdf> [title]\n");
        return 2;
    }
    QFile source(QFile::decodeName(argv[1]));
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "manual2pdf: cannot read %s: %s\n", argv[1], qPrintable(source.errorString()));
        return 1;
    }
    const QString markdown = QString::fromUtf8(source.readAll());
    if (markdown.trimmed().isEmpty()) {
        std::fprintf(stderr, "manual2pdf: %s is empty\n", argv[1]);
        return 1;
    }
    QTextDocument document;
    document.setDefaultFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    // Pictures are named relative to the manual's folder.
    document.setBaseUrl(QUrl::fromLocalFile(QFileInfo(source.fileName()).absolutePath() + QLatin1Char('/')));
    document.setMarkdown(markdown);
    sizeTables(document.rootFrame());
    if (!fitImages(document, 600))
        return 1; // a help document with a hole where a picture belongs is not written

    const QString target = QFile::decodeName(argv[2]);
    QFile::remove(target); // a stale document must not pass for a new one
    QPdfWriter writer(target);
    writer.setTitle(argc > 3 ? QString::fromUtf8(argv[3]) : QStringLiteral("Manual"));
    writer.setCreator(QStringLiteral("manual2pdf"));
    writer.setPageSize(QPageSize(QPageSize::A4));
    // QTextDocument::print adds 2 cm margins of its own and the page numbers; the writer adds none.
    writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    writer.setResolution(300);
    document.print(&writer);

    if (QFileInfo(target).size() <= 0) {
        std::fprintf(stderr, "manual2pdf: %s was not written\n", argv[2]);
        return 1;
    }
    if (!stampCreationDate(target)) {
        std::fprintf(stderr, "manual2pdf: cannot set the creation date of %s\n", argv[2]);
        return 1;
    }
    return 0;
}
