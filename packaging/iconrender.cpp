// Renders the program's SVG picture to one PNG icon: iconrender <in.svg> <out.png> <size>
// The icon is always size x size, as the hicolor theme's folders promise; a picture that is not square
// is fitted and centred on a transparent square. Exit code 0 when the icon was written.
//
// Desktops draw the scalable icon with their own renderer, Qt's among them, so a picture that Qt's SVG
// module cannot draw faithfully is an error here: any warning it gives fails the tool.
//
// It needs no QGuiApplication: paths and gradients render on a QImage without a platform plugin, and
// without one nothing looks for a display or a runtime folder.
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

namespace {

bool rendererComplained = false;

void reportAndFail(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    std::fprintf(stderr, "iconrender: %s\n", qPrintable(message));
    if (type != QtDebugMsg && type != QtInfoMsg)
        rendererComplained = true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: iconrender <in.svg> <out.png> <size>\n");
        return 2;
    }
    qInstallMessageHandler(reportAndFail);
    const int size = QString::fromUtf8(argv[3]).toInt();
    QSvgRenderer picture(QFile::decodeName(argv[1]));
    if (!picture.isValid() || size <= 0 || rendererComplained) {
        std::fprintf(stderr, "iconrender: cannot draw %s at %s pixels\n", argv[1], argv[3]);
        return 1;
    }
    picture.setAspectRatioMode(Qt::KeepAspectRatio);
    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    picture.render(&painter, QRectF(0, 0, size, size));
    painter.end();
    if (rendererComplained) {
        std::fprintf(stderr, "iconrender: %s uses what Qt cannot draw\n", argv[1]);
        return 1;
    }
    const QString target = QFile::decodeName(argv[2]);
    QDir().mkpath(QFileInfo(target).absolutePath());
    if (!icon.convertToFormat(QImage::Format_ARGB32).save(target, "PNG")) {
        std::fprintf(stderr, "iconrender: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
