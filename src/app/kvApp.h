#pragma once

#include <QString>

/// The application paths object: the running executable and the first command-line parameter.
/// Created first at start-up and released last; main thread only.
class TkvApp
{
public:
    /// Reads ExePath from the system (falling back to argv[0] made absolute) and FirstParam from
    /// argv[1]. Parameter bytes are decoded as file names (QFile::decodeName).
    TkvApp(int argc, char **argv);

    QString ExePath;    ///< full path of the running executable
    QString FirstParam; ///< argv[1], or empty when there is none; later parameters are ignored
};

/// The one process-wide paths object; null before start-up and after the end of the process.
extern TkvApp *App;
