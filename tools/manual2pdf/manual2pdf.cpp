// Turns the Markdown user manual into the PDF help document that the Help command opens.
//
// Usage: manual2pdf <manual.md> <output.pdf> [title]
// Runs without a display: it needs only Qt Gui's text layout and PDF writer on the offscreen platform.
#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

#include <cstdio>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
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
    QTextDocument document;
    document.setMarkdown(QString::fromUtf8(source.readAll()));
    document.setDefaultFont(QFont(QStringLiteral("DejaVu Sans"), 10));

    const QString target = QFile::decodeName(argv[2]);
    QPdfWriter writer(target);
    writer.setTitle(argc > 3 ? QString::fromUtf8(argv[3]) : QStringLiteral("Manual"));
    writer.setCreator(QStringLiteral("manual2pdf"));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
    writer.setResolution(300);
    document.print(&writer);

    if (!QFile::exists(target)) {
        std::fprintf(stderr, "manual2pdf: %s was not written\n", argv[2]);
        return 1;
    }
    return 0;
}
