#include "kvFormCfg.h"

#include "kvInfo.h"
#include "kvProject.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>

TkvFrmCfg *kvFrmCfg = nullptr;

TkvFrmCfg::TkvFrmCfg(QWidget *parent)
    : TkvFrmBase(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                             Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("kvFrmCfg"));
    setWindowTitle(QStringLiteral("Config"));
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(292, 273);

    txtCfg = new QPlainTextEdit(this);
    txtCfg->setObjectName(QStringLiteral("txtCfg"));
    txtCfg->setGeometry(16, 16, 256, 200);
    txtCfg->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtCfg->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtCfg->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtCfg->setToolTip(QStringLiteral("Please add/delete/modify the options by yourself"));

    btnHelp = new QPushButton(QStringLiteral("Help"), this);
    btnHelp->setObjectName(QStringLiteral("btnHelp"));
    btnHelp->setGeometry(16, 233, 72, 25);
    btnHelp->setToolTip(QStringLiteral("Click here to see the details about the options"));

    btnOk = new QPushButton(QStringLiteral("&Ok"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setGeometry(120, 233, 72, 25);

    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(200, 233, 72, 25);

    connect(btnOk, &QPushButton::clicked, this, &TkvFrmCfg::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &TkvFrmCfg::close);
    connect(btnHelp, &QPushButton::clicked, this, &TkvFrmCfg::btnHelpClick);
}

void TkvFrmCfg::showEvent(QShowEvent *event)
{
    TkvFrmBase::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TkvFrmCfg::FormShow()
{
    if (!Project)
        return;
    Project->StoreOptions(false);
    txtCfg->setPlainText(Project->OptionLines().join(QLatin1Char('\n')));
    txtCfg->setFocus();
}

void TkvFrmCfg::btnOkClick()
{
    if (Project) {
        Project->SetOptionsText(txtCfg->toPlainText());
        Project->OptionsToControls();
    }
    close();
}

void TkvFrmCfg::btnHelpClick()
{
    if (Info)
        Info->OpenLink(QStringLiteral("h"), QString(), QString());
}

void TkvFrmCfg::closeEvent(QCloseEvent *event)
{
    TkvFrmBase::closeEvent(event);
    emit Closed();
}

void TkvFrmCfg::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    TkvFrmBase::keyPressEvent(event);
}
