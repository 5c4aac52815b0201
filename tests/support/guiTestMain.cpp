// Test main for the window tests: widgets on Qt's offscreen platform unless the caller chose one.
#include "kvRuntimeFolder.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    TkvRuntimeFolder::Provide(); // as the program does, so Qt does not warn where no session runs
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
