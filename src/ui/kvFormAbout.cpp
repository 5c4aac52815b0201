#include "kvFormAbout.h"

#include "kvProject.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>

namespace {

QLabel *makeLabel(QWidget *parent, const char *name, QRect place, int points, bool bold)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(place);
    QFont font(QStringLiteral("Verdana"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(points);
    font.setBold(bold);
    label->setFont(font);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, QColor(221, 221, 221));
    label->setPalette(pal);
    label->setAttribute(Qt::WA_TranslucentBackground);
    return label;
}

} // namespace

TkvFrmAbout::TkvFrmAbout(QWidget *mainForm)
    : TkvFrmBase(mainForm, Qt::Dialog | Qt::FramelessWindowHint), mainForm(mainForm)
{
    setObjectName(QStringLiteral("kvFrmAbout"));
    setWindowModality(Qt::ApplicationModal);
    setWindowOpacity(200.0 / 255.0);
    setFixedSize(472, 243);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0, 85, 255));
    setPalette(pal);
    QFont font(QStringLiteral("Verdana"));
    font.setStyleHint(QFont::SansSerif);
    setFont(font);

    img = new QLabel(this);
    img->setObjectName(QStringLiteral("img"));
    img->setGeometry(40, 40, 80, 80);

    lblProduct = makeLabel(this, "lblProduct", QRect(163, 40, 250, 50), 16, true);
    lblProduct->setAlignment(Qt::AlignCenter);
    lblProduct->setWordWrap(true);
    lblVersion = makeLabel(this, "lblVersion", QRect(176, 96, 224, 16), 10, true);
    lblVersion->setAlignment(Qt::AlignCenter);
    lblCopright = makeLabel(this, "lblCopright", QRect(184, 208, 264, 16), 10, false);
    lblCopright->setText(QStringLiteral("Web pages kept as single files."));

    for (QLabel *label : {img, lblProduct, lblVersion, lblCopright})
        label->installEventFilter(this);
}

void TkvFrmAbout::ShowAbout()
{
    if (ShowCount == 0) {
        if (Project && Project->GetPureConsole() && mainForm)
            mainForm->setWindowOpacity(0.0);
    } else {
        show();
        raise();
        activateWindow();
    }
    ++ShowCount;
}

void TkvFrmAbout::showEvent(QShowEvent *event)
{
    TkvFrmBase::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TkvFrmAbout::FormShow()
{
    if (lblProduct->text().isEmpty() && Project) {
        // A label without a buddy shows "&" as it is, so the title goes in unchanged.
        lblProduct->setText(Project->Title);
        lblVersion->setText(Project->Version);
    }
    ++ShowCount;
}

void TkvFrmAbout::FormClick()
{
    if (ShowCount > 1)
        close();
}

void TkvFrmAbout::FormKeyPress()
{
    if (ShowCount > 1)
        close();
}

void TkvFrmAbout::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    FormClick();
}

void TkvFrmAbout::keyPressEvent(QKeyEvent *event)
{
    event->accept();
    FormKeyPress();
}

bool TkvFrmAbout::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        FormClick();
        return true;
    }
    return TkvFrmBase::eventFilter(watched, event);
}
