// Draws the window's images into PNG files of this folder. Not part of the build; run it again after
// changing a picture:
//   g++ -std=c++20 -fPIC makeIcons.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/makeIcons
//   QT_QPA_PLATFORM=offscreen /tmp/makeIcons <this folder>
// The about box's product.png is the program's icon, rendered from packaging/icons/web2arc.svg:
//   build/packaging/iconrender packaging/icons/web2arc.svg src/ui/icons/product.png 128
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <functional>

namespace {

void save(const QString &dir, const QString &name, int size, const std::function<void(QPainter &)> &draw)
{
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    p.end();
    if (!img.save(dir + QLatin1Char('/') + name + QStringLiteral(".png")))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
}

QPen pen(QColor c, qreal w)
{
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void page(QPainter &p, QColor fill)
{
    QPainterPath path;
    path.moveTo(3.5, 1.5);
    path.lineTo(9.5, 1.5);
    path.lineTo(12.5, 4.5);
    path.lineTo(12.5, 14.5);
    path.lineTo(3.5, 14.5);
    path.closeSubpath();
    p.setPen(pen(QColor(70, 70, 90), 1));
    p.setBrush(fill);
    p.drawPath(path);
    p.drawLine(QPointF(9.5, 1.5), QPointF(9.5, 4.5));
    p.drawLine(QPointF(9.5, 4.5), QPointF(12.5, 4.5));
}

void floppy(QPainter &p)
{
    p.setPen(pen(QColor(20, 40, 90), 1));
    p.setBrush(QColor(60, 100, 190));
    p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 1.5, 1.5);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4.5, 1.5, 7, 5));
    p.setBrush(QColor(200, 200, 210));
    p.drawRect(QRectF(4, 9.5, 8, 5));
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");

    // Status images of the result rows: running, success, failure.
    save(dir, QStringLiteral("status-running"), 16, [](QPainter &p) {
        p.setPen(pen(QColor(30, 80, 160), 1.2));
        p.setBrush(QColor(200, 225, 255));
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        p.setPen(pen(QColor(30, 80, 160), 1.6));
        p.drawLine(QPointF(8, 8), QPointF(8, 4));
        p.drawLine(QPointF(8, 8), QPointF(11, 9.5));
    });
    save(dir, QStringLiteral("status-success"), 16, [](QPainter &p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 160, 60));
        p.drawEllipse(QRectF(1, 1, 14, 14));
        p.setPen(pen(Qt::white, 2.2));
        p.drawPolyline(QPolygonF({QPointF(4.5, 8.5), QPointF(7, 11), QPointF(11.5, 5)}));
    });
    save(dir, QStringLiteral("status-failure"), 16, [](QPainter &p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(200, 40, 40));
        p.drawEllipse(QRectF(1, 1, 14, 14));
        p.setPen(pen(Qt::white, 2.2));
        p.drawLine(QPointF(5.2, 5.2), QPointF(10.8, 10.8));
        p.drawLine(QPointF(10.8, 5.2), QPointF(5.2, 10.8));
    });

    // Tool bar images.
    save(dir, QStringLiteral("open"), 16, [](QPainter &p) {
        p.setPen(pen(QColor(140, 100, 20), 1));
        p.setBrush(QColor(240, 200, 90));
        p.drawPolygon(QPolygonF({QPointF(1.5, 3.5), QPointF(6, 3.5), QPointF(7.5, 5), QPointF(13.5, 5),
                                 QPointF(13.5, 13.5), QPointF(1.5, 13.5)}));
        p.setBrush(QColor(250, 220, 120));
        p.drawPolygon(QPolygonF({QPointF(3.5, 7.5), QPointF(15, 7.5), QPointF(13.5, 13.5), QPointF(1.5, 13.5)}));
    });
    save(dir, QStringLiteral("new"), 16, [](QPainter &p) {
        page(p, Qt::white);
        p.setPen(pen(QColor(230, 160, 0), 1.5));
        p.drawLine(QPointF(12.5, 9), QPointF(12.5, 15));
        p.drawLine(QPointF(9.5, 12), QPointF(15.5, 12));
    });
    save(dir, QStringLiteral("config"), 16, [](QPainter &p) {
        p.translate(8, 8);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(90, 90, 110));
        for (int i = 0; i < 8; ++i) {
            p.drawRect(QRectF(-1.5, -7.5, 3, 4));
            p.rotate(45);
        }
        p.drawEllipse(QRectF(-5.5, -5.5, 11, 11));
        p.setBrush(QColor(235, 235, 240));
        p.drawEllipse(QRectF(-2.2, -2.2, 4.4, 4.4));
    });
    save(dir, QStringLiteral("save"), 16, [](QPainter &p) { floppy(p); });
    save(dir, QStringLiteral("saveas"), 16, [](QPainter &p) {
        floppy(p);
        p.setPen(pen(QColor(200, 60, 20), 2));
        p.drawLine(QPointF(9, 14), QPointF(15, 8));
    });
    save(dir, QStringLiteral("update"), 16, [](QPainter &p) {
        p.setPen(pen(QColor(30, 130, 60), 2));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(2.5, 2.5, 11, 11), 30 * 16, 280 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 130, 60));
        p.drawPolygon(QPolygonF({QPointF(10, 1), QPointF(15, 4.5), QPointF(10, 7)}));
    });
    save(dir, QStringLiteral("help"), 16, [](QPainter &p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 90, 200));
        p.drawEllipse(QRectF(1, 1, 14, 14));
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(12);
        f.setBold(true);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRectF(1, 1, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
    });
    save(dir, QStringLiteral("home"), 16, [](QPainter &p) {
        p.setPen(pen(QColor(120, 50, 30), 1));
        p.setBrush(QColor(210, 80, 50));
        p.drawPolygon(QPolygonF({QPointF(1, 8), QPointF(8, 1.5), QPointF(15, 8)}));
        p.setBrush(QColor(245, 235, 210));
        p.drawRect(QRectF(3.5, 8, 9, 6.5));
        p.setBrush(QColor(120, 70, 40));
        p.drawRect(QRectF(6.5, 10.5, 3, 4));
    });
    save(dir, QStringLiteral("support"), 16, [](QPainter &p) {
        p.setPen(pen(QColor(60, 60, 80), 1));
        p.setBrush(QColor(255, 250, 230));
        p.drawRect(QRectF(1.5, 3.5, 13, 9));
        p.drawPolyline(QPolygonF({QPointF(1.5, 3.5), QPointF(8, 9), QPointF(14.5, 3.5)}));
    });
    save(dir, QStringLiteral("about"), 16, [](QPainter &p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 85, 255));
        p.drawEllipse(QRectF(1, 1, 14, 14));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(7, 3.5, 2.2, 2.2));
        p.drawRect(QRectF(7, 6.8, 2.2, 5.8));
    });
    return 0;
}
