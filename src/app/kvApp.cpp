#include "kvApp.h"

#include "kvFileName.h"
#include "kvPath.h"

#include <QFile>
#include <QFileInfo>

TkvApp *App = nullptr;

TkvApp::TkvApp(int argc, char **argv)
{
    ExePath = TkvPath::ExecutablePath();
    if (ExePath.isEmpty() && argc > 0 && argv && argv[0]) {
        ExePath = QFileInfo(QFile::decodeName(argv[0])).absoluteFilePath();
    }
    if (argc > 1 && argv && argv[1]) {
        // A path whose bytes are not UTF-8 must still name the same file when it is opened again.
        FirstParam = TkvFileName::Decode(QByteArray(argv[1]));
    }
}
