#pragma once

#include <QString>

#include <cstdio>
#include <functional>
#include <vector>

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
///   last ReleaseWindows.
/// The switches -I and -U end the process right after ParseCommandLine, through the same release.
/// Window mode without a desktop session ends with exit code 1 and NoWindowText on stderr.
/// `--help` (or `-h`) and `--version` as the first parameter print their text to Out and touch no file.
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
    /// Returns the exit code.
    std::function<int()> ConsoleRun;
    /// Window mode: create the QApplication (with argc/argv), the main window, the about box, call
    /// ShowAbout and run the message loop until the main window closes; returns the exit code. It
    /// should call `releaseGlobals` after the message loop while the windows still exist (the store
    /// touches its bound controls when it ends); when it does not, the release follows its return.
    /// In TransparentWindow mode QT_QPA_PLATFORM is already "offscreen".
    std::function<int(int &argc, char **argv, TkvRunMode mode, const std::function<void()> &releaseGlobals)> WindowRun;
    /// Called last, after every process-wide object is released.
    std::function<void()> ReleaseWindows;

    std::FILE *Out = stdout; ///< where --help and --version print

    /// Runs the whole process life. Returns the exit code: 0 on every orderly path (after the
    /// message loop, after the console run, after -I/-U, after --help/--version) unless a run hook
    /// returned another; 1 when an error escaped (its text goes to stderr and, while it exists, to
    /// the information object).
    int Run();

    /// The run mode the loaded project asks for.
    static TkvRunMode ChooseMode(const TkvProject &project);
    /// The text printed by --help (and -h).
    static QString UsageText();
    /// False when a window could not be shown: no desktop session, and no Qt platform plug-in chosen
    /// that needs none (QT_QPA_PLATFORM=offscreen, for instance).
    static bool WindowCanShow();
    /// The error of window mode without a desktop session: what is wrong with the project (it could not
    /// be read, or it does not ask for a console run) and what to do.
    static QString NoWindowText(const TkvProject &project);

private:
    int StartAndRun();
    /// Runs the pending release steps, newest first; a second call does nothing.
    void ReleaseGlobals();

    int argc;
    char **argv;
    std::vector<std::function<void()>> releases;
};
