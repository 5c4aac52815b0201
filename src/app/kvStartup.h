#pragma once

#include <QString>

#include <cstdio>
#include <functional>

class TkvConvertorClass;
class TkvProject;

/// How the process runs once the start project is loaded.
enum class TkvRunMode
{
    Console,           ///< PureConsole and a Source without "http": no window, one run
    Window,            ///< the main window, shown
    TransparentWindow, ///< PureConsole with "http" in Source: the window is never shown (offscreen)
};

/// Start-up and end of the process, in their fixed order:
///   TkvApp, TkvInfo, TkvProject, the console runner (CreateMain), the product descriptor and the
///   application name, ParseCommandLine (which loads the start project), the name matcher
///   (CreateMatcher); then the console run or the window run; then the release in reverse order:
///   ReleaseMatcher, ReleaseMain, TkvProject (writes the recent-projects list), TkvInfo, TkvApp, and
///   last ReleaseWindows (the windows outlive the store, which touches its bound controls when it ends).
/// The switches -I and -U end the process right after ParseCommandLine, through the same release.
/// `--help` and `--version` as the first parameter print their text to Out and touch no file.
///
/// The layers above the store are reached only through the hooks, which main() fills; an empty hook
/// is skipped. Main thread only; one instance per process (it sets the global App, Info, Project).
class TkvStartup
{
public:
    /// `argv` must stay valid for the life of this object.
    TkvStartup(int argc, char **argv);

    // ---- hook points ----
    const TkvConvertorClass *ConverterClass = nullptr; ///< the descriptor's converter class
    std::function<void()> CreateMain;                  ///< create the console runner TkvMain
    std::function<void()> ReleaseMain;
    std::function<void()> CreateMatcher; ///< create NameMatcher
    std::function<void()> ReleaseMatcher;
    /// The console run on this thread (Run of TkvMain); a QCoreApplication exists while it runs.
    std::function<void()> ConsoleRun;
    /// Window mode: create the QApplication (with argc/argv), the main window, the about box, call
    /// ShowAbout and run the message loop until the main window closes. The windows may stay alive
    /// until ReleaseWindows. In TransparentWindow mode QT_QPA_PLATFORM is already "offscreen".
    std::function<void(int &argc, char **argv, TkvRunMode mode)> WindowRun;
    std::function<void()> ReleaseWindows;

    std::FILE *Out = stdout; ///< where --help and --version print

    /// Runs the whole process life. Returns the exit code: 0 on every orderly path (after the
    /// message loop, after the console run, after -I/-U, after --help/--version); 1 when an error
    /// escaped start-up (its text goes to stderr and to the information object).
    int Run();

    /// The run mode the loaded project asks for.
    static TkvRunMode ChooseMode(const TkvProject &project);
    /// The text printed by --help.
    static QString UsageText();

private:
    int argc;
    char **argv;
};
