// Program entry of web2arc: fills the start-up's hook points with the layers above the options store.
#include "kvStartup.h"

#include "kvMain.h"
#include "kvMatch.h"
#include "kvWEB2ARC.h"
#include "kvWindowMode.h"

int main(int argc, char **argv)
{
    TkvStartup startup(argc, argv);
    startup.ConverterClass = &TkvWEB2ARC::Class();
    startup.CreateMain = [] { Main = new TkvMain(); };
    startup.ReleaseMain = [] {
        delete Main;
        Main = nullptr;
    };
    startup.CreateMatcher = [] { NameMatcher = new TkvMatch(); };
    startup.ReleaseMatcher = [] {
        delete NameMatcher;
        NameMatcher = nullptr;
    };
    startup.ConsoleRun = [] { return Main->Run(); };
    startup.WindowRun = [](int &count, char **values, TkvRunMode, const std::function<void()> &releaseGlobals) {
        return RunWindowMode(count, values, releaseGlobals);
    };
    return startup.Run();
}
