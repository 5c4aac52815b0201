#pragma once

#include "kvFormBase.h"

class QLabel;

/// The about box: a borderless, partly transparent (200 of 255) box with the product's picture, title
/// and version. It has no buttons: once it is shown by the About command, any click on it and any key
/// close it.
///
/// `ShowAbout` is called once at start-up and then by every About command. The start-up call shows
/// nothing; in a pure console project it makes the main window fully transparent for the rest of the
/// process. Every later call shows the box application-modal, without a nested event loop.
///
/// Thread rules: window thread only. REQUIRES: the global `Project` exists when ShowAbout or a show
/// runs.
class TkvFrmAbout : public TkvFrmBase
{
    Q_OBJECT

public:
    /// `mainForm` is the program's main window (also the box's parent); not owned.
    explicit TkvFrmAbout(QWidget *mainForm);

    QLabel *img = nullptr;
    QLabel *lblProduct = nullptr;
    QLabel *lblVersion = nullptr;
    QLabel *lblCopright = nullptr;

    /// Number of ShowAbout calls and shows so far.
    int ShowCount = 0;

    void ShowAbout();

public slots:
    void FormShow();
    void FormClick();
    void FormKeyPress();

protected:
    void showEvent(QShowEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *mainForm;
};
