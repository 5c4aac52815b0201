#pragma once

#include <QWidget>

/// The base of every window of the program: the common font, background and placement. It adds no
/// behaviour beyond that: an outer size of 1200 x 600, the button-face background and the program's
/// font, and the window is centred on its screen the first time it is shown.
///
/// Thread rules: window thread only, like every widget.
class TkvFrmBase : public QWidget
{
    Q_OBJECT

public:
    explicit TkvFrmBase(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::Window);

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool centred = false;
};
