#include "kvWindowMode.h"

#include "kvDialogSeam.h"
#include "kvFormMain.h"
#include "kvOpener.h"
#include "kvProject.h"
#include "kvUiChooser.h"
#include "kvWeb2ArcAbout.h"

#include <QApplication>
#include <QDesktopServices>
#include <QThread>
#include <QTimer>
#include <QUrl>

namespace {

void openWithDesktop(const QString &address)
{
    const QUrl url = address.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(address) : QUrl(address);
    QDesktopServices::openUrl(url);
}

} // namespace

int RunWindowMode(int &argc, char **argv, const std::function<void()> &releaseGlobals)
{
    const bool transparent = Project && Project->GetPureConsole();
    if (transparent)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // No application display name: Qt would append it to every window title, and the main window's
    // caption already begins with the product's title.
    QApplication app(argc, argv);
    // The offscreen platform cannot open anything (Qt only prints that it cannot): a pure console run
    // opens its reports the way a run without a window does.
    if (!transparent) {
        kvOpener::SetOpenHook([](const QString &address) {
            if (QThread::currentThread() == qApp->thread())
                openWithDesktop(address);
            else
                QMetaObject::invokeMethod(
                    qApp, [address] { openWithDesktop(address); }, Qt::QueuedConnection);
        });
    }

    kvFrmMain = new TkvFrmMain();
    kvFrmWeb2ArcAbout = new TkvFrmWeb2ArcAbout(kvFrmMain);
    kvFrmWeb2ArcAbout->ShowAbout();
    QObject::connect(kvFrmMain, &TkvFrmMain::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    if (transparent)
        QTimer::singleShot(0, kvFrmMain, &TkvFrmMain::FormShow);
    else
        kvFrmMain->show();
    const int rc = app.exec();
    const int exitCode = kvFrmMain->ExitCode();

    if (releaseGlobals)
        releaseGlobals();
    kvOpener::SetOpenHook({});
    delete kvFrmMain; // also its about box and options dialog, which are its children
    kvFrmWeb2ArcAbout = nullptr;
    TkvUiChooser::ClearRememberedFolder();
    (void)rc;
    return exitCode;
}
