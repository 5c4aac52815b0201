#include "kvFormBase.h"

#include <QGuiApplication>
#include <QScreen>

// The images of the window live in this library's resource file; a static library must register it.
static void initUiResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(web2arcUi);
        return true;
    }();
    (void)done;
}

TkvFrmBase::TkvFrmBase(QWidget *parent, Qt::WindowFlags flags) : QWidget(parent, flags)
{
    initUiResources();
    setGeometry(100, 100, 1200, 600);
    // "Tahoma" 8 points; where it is missing the font matcher picks the nearest sans-serif face.
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(8);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
    setAutoFillBackground(true);
}

void TkvFrmBase::showEvent(QShowEvent *event)
{
    if (!centred && isWindow()) {
        centred = true;
        const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    QWidget::showEvent(event);
}
