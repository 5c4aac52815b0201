// Scales the product picture to one icon size: iconscale <in.png> <out.png> <size>
// The icon is always size x size, as the hicolor theme's folders promise: a picture that is not square
// is scaled to fit and centred on a transparent square. Exit code 0 when the icon was written.
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: iconscale <in.png> <out.png> <size>\n");
        return 2;
    }
    const QImage picture(QFile::decodeName(argv[1]));
    const int size = QString::fromUtf8(argv[3]).toInt();
    if (picture.isNull() || size <= 0) {
        std::fprintf(stderr, "iconscale: cannot read %s\n", argv[1]);
        return 1;
    }
    const QString target = QFile::decodeName(argv[2]);
    QDir().mkpath(QFileInfo(target).absolutePath());
    const QImage scaled = picture.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QImage icon(size, size, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.drawImage((size - scaled.width()) / 2, (size - scaled.height()) / 2, scaled);
    painter.end();
    if (!icon.save(target, "PNG")) {
        std::fprintf(stderr, "iconscale: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
