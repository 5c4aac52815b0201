#pragma once

#include "kvFormAbout.h"

/// The program's about box: the generic box with the product picture (128 x 128, drawn with its
/// transparency) at 16, 16.
///
/// Thread rules: window thread only.
class TkvFrmWeb2ArcAbout : public TkvFrmAbout
{
    Q_OBJECT

public:
    explicit TkvFrmWeb2ArcAbout(QWidget *mainForm);
};

/// The one about box, created at start-up right after the main window (may be null in tests).
extern TkvFrmWeb2ArcAbout *kvFrmWeb2ArcAbout;
