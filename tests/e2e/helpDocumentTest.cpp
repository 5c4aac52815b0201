// The help document is built beside the executable, where the Help command looks for it.
#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

TEST(HelpDocumentTest, ManualIsBuiltAsPdfBesideTheExecutable)
{
    const QString executable = QString::fromUtf8(WEB2ARC_EXE);
    QFile pdf(QFileInfo(executable).absolutePath() + QStringLiteral("/web2arc.pdf"));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly)) << pdf.fileName().toStdString();
    const QByteArray bytes = pdf.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF-"));
    EXPECT_TRUE(bytes.trimmed().endsWith("%%EOF"));
    // The manual covers the window, the option keys, console projects and the archive: several pages.
    EXPECT_GE(bytes.count("/Type /Page\n"), 3);
}
