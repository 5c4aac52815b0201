// Program entry of web2arc.
#include "kvStartup.h"

int main(int argc, char **argv)
{
    TkvStartup startup(argc, argv);
    // Hook points for the layers above the options store, filled in as they are linked in:
    //   startup.ConverterClass  the converter class of the archive conversion
    //   startup.CreateMain / ReleaseMain        the console runner TkvMain
    //   startup.CreateMatcher / ReleaseMatcher  the name matcher NameMatcher
    //   startup.ConsoleRun      Run of TkvMain
    //   startup.WindowRun       QApplication, TkvFrmMain, TkvFrmWeb2ArcAbout, ShowAbout, message loop
    //   startup.ReleaseWindows  the windows and the QApplication
    return startup.Run();
}
