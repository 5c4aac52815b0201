#include "kvWeb2ArcAbout.h"

#include <QLabel>
#include <QPixmap>

TkvFrmWeb2ArcAbout *kvFrmWeb2ArcAbout = nullptr;

TkvFrmWeb2ArcAbout::TkvFrmWeb2ArcAbout(QWidget *mainForm) : TkvFrmAbout(mainForm)
{
    setObjectName(QStringLiteral("kvFrmWeb2ArcAbout"));
    const QPixmap picture(QStringLiteral(":/ui/product.png"));
    img->setPixmap(picture);
    img->setAttribute(Qt::WA_TranslucentBackground);
    img->setGeometry(16, 16, picture.width(), picture.height());
}
