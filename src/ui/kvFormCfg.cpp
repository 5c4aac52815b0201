#include "kvFormCfg.h"

#include "kvInfo.h"
#include "kvProject.h"

#include "kvOptionTable.h"
#include "kvTextFile.h"

#include <QKeyEvent>
#include <QLabel>
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
    setFixedSize(292, 333);

    txtCfg = new QPlainTextEdit(this);
    txtCfg->setObjectName(QStringLiteral("txtCfg"));
    txtCfg->setGeometry(16, 16, 256, 200);
    txtCfg->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtCfg->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtCfg->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtCfg->setToolTip(QStringLiteral("Please add/delete/modify the options by yourself"));

    lProblems = new QLabel(this);
    lProblems->setObjectName(QStringLiteral("lProblems"));
    lProblems->setGeometry(16, 220, 256, 64);
    lProblems->setWordWrap(true);
    lProblems->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    btnHelp = new QPushButton(QStringLiteral("Help"), this);
    btnHelp->setObjectName(QStringLiteral("btnHelp"));
    btnHelp->setGeometry(16, 293, 72, 25);
    btnHelp->setToolTip(QStringLiteral("Click here to see the details about the options"));

    btnOk = new QPushButton(QStringLiteral("&Ok"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setGeometry(120, 293, 72, 25);

    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(200, 293, 72, 25);

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
    lProblems->clear();
    warnedText.clear();
    txtCfg->setFocus();
}

void TkvFrmCfg::btnOkClick()
{
    const QString text = txtCfg->toPlainText();
    const QStringList problems = TkvOptionTable::Problems(TkvTextFile::SplitLines(text));
    if (!problems.isEmpty() && text != warnedText) {
        // Said once; Ok again takes the lines as they stand, as a project file would hold them.
        warnedText = text;
        lProblems->setText(problems.join(QLatin1Char('\n')) + QStringLiteral("\nOk again keeps them as they are."));
        return;
    }
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
