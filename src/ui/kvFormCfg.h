#pragma once

#include "kvFormBase.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

/// The options dialog: the whole current project as editable name=value text.
///
/// Showing it first copies the main window's bound controls into the options (StoreOptions without
/// writing the file), then fills the text box with every option line. Ok checks the typed lines
/// (TkvOptionTable::Problems): when something is not understood, the dialog stays open and lists it,
/// and a second Ok on the same text takes the lines as they are. Taking them replaces the options by
/// the typed lines and writes them back into the bound controls; Cancel (or Escape, or closing
/// the window) discards the edit. Neither writes the project file. Help opens the help document.
///
/// The dialog is application-modal but shown without a nested event loop: the caller shows it and
/// learns of its end through `Closed`.
///
/// REQUIRES: the global `Project` exists while the dialog is shown. Window thread only.
class TkvFrmCfg : public TkvFrmBase
{
    Q_OBJECT

public:
    explicit TkvFrmCfg(QWidget *parent = nullptr);

    QPlainTextEdit *txtCfg = nullptr;
    QPushButton *btnOk = nullptr;
    QPushButton *btnCancel = nullptr;
    QPushButton *btnHelp = nullptr;
    QLabel *lProblems = nullptr; ///< what Ok found not understood in the text

signals:
    /// Emitted once each time the dialog closes, whichever button closed it.
    void Closed();

public slots:
    void FormShow();
    void btnOkClick();
    void btnHelpClick();

private:
    QString warnedText; ///< the text whose problems were last shown

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};

/// The dialog of the main window's Config command; created on first use and kept (may be null).
extern TkvFrmCfg *kvFrmCfg;
