#include "kvStartup.h"

#include "kvApp.h"
#include "kvConsole.h"
#include "kvHomePath.h"
#include "kvInfo.h"
#include "kvOptionTable.h"
#include "kvProduct.h"
#include "kvProject.h"
#include "kvRuntimeFolder.h"

#include <QCoreApplication>
#include <QFile>

#include <exception>
#include <memory>

namespace {

void print(std::FILE *out, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
    std::fflush(out);
}

} // namespace

TkvStartup::TkvStartup(int argc, char **argv) : argc(argc), argv(argv)
{}

TkvRunMode TkvStartup::ChooseMode(const TkvProject &project)
{
    if (!project.GetPureConsole()) {
        return TkvRunMode::Window;
    }
    return project.GetSource().contains(QLatin1String("http"), Qt::CaseSensitive) ? TkvRunMode::TransparentWindow
                                                                                  : TkvRunMode::Console;
}

QString TkvStartup::UsageText()
{
    return QStringLiteral(
               "%1 %2\n"
               "Converts HTML pages (%3) into single-file MHT web archives (%4).\n"
               "\n"
               "Usage: web2arc [FIRST-PARAMETER]\n"
               "Only the first parameter counts; any further ones are ignored.\n"
               "  (none)                  load the default project, if it exists\n"
               "  FILE.batch-web2arc      load that project file (the extension in exactly this case)\n"
               "  PATH or ADDRESS         take it as Source: a page, a folder followed by %3, or an\n"
               "                          http(s) address; Target becomes its folder when empty (an\n"
               "                          address's archive goes to the current folder instead)\n"
               "  -P:KEY=VALUE,KEY=VALUE  inline options; ',' and ';' separate them (no value can hold\n"
               "                          either); Target becomes the folder of Source when empty\n"
               "  -I[TEXT]                open the installation report address and end\n"
               "  -U                      open the uninstallation report address and end\n"
               "  --help or -h, --version print this text or the version and end\n"
               "Switch letters may be lower case; '/' works instead of '-' in the short forms\n"
               "(/U, /I, /P, /P:...). Any other switch letter, and a parameter of one character, is ignored.\n"
               "\n"
               "Option keys (KEY=VALUE lines of a project; names in any letter case):\n"
               "%6"
               "Booleans: True/False, Yes/No, On/Off in any case, or a number (0 is false). Integers:\n"
               "decimal, or hex after $, x or 0x. Blanks around keys and values do not count.\n"
               "\n"
               "Per-user files (folder: $WEB2ARC_HOME when set, else $XDG_CONFIG_HOME/web2arc, else\n"
               "~/.config/web2arc; now %5):\n"
               "  web2arc.batch-web2arc   the default project\n"
               "  web2arc.log             the recent-projects list\n"
               "  web2arc.ext             usage counters\n")
        .arg(QLatin1String(TkvProductValues::Title), QLatin1String(TkvProductValues::Version),
             QLatin1String(TkvProduct::FileMask), QLatin1String(TkvProduct::TargetExt), TkvHomePath::Folder(),
             TkvOptionTable::HelpText());
}

bool TkvStartup::WindowCanShow()
{
    // Another platform plug-in (offscreen, vnc, ...) needs no desktop session.
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const bool needsSession = platform.isEmpty() || platform.startsWith("xcb") || platform.startsWith("wayland");
    return !needsSession || TkvConsole::DesktopSession();
}

QString TkvStartup::NoWindowText(const TkvProject &project)
{
    QString problem;
    if (!project.LoadError.isEmpty())
        problem = project.LoadError;
    else if (!project.ProjectFile.isEmpty() && project.IsProjectFile(project.ProjectFile))
        problem = QStringLiteral("The project \"%1\" does not set PureConsole=True.").arg(project.ProjectFile);
    else
        problem = QStringLiteral("No project with PureConsole=True was given.");
    return problem + QStringLiteral(" The window needs a graphical session (DISPLAY or WAYLAND_DISPLAY is not "
                                    "set); without one, run a project with PureConsole=True, or see web2arc --help.");
}

int TkvStartup::Run()
{
    const QByteArray first = argc > 1 && argv && argv[1] ? QByteArray(argv[1]) : QByteArray();
    if (first == "--help" || first == "-h") {
        print(Out, UsageText());
        return 0;
    }
    if (first == "--version") {
        print(Out, QStringLiteral("%1 %2\n").arg(QLatin1String(TkvProductValues::Title),
                                                 QLatin1String(TkvProductValues::Version)));
        return 0;
    }
    int code = 1;
    try {
        code = StartAndRun();
    } catch (const std::exception &error) {
        if (Info) {
            Info->HandleAppException(error);
        }
        std::fprintf(stderr, "web2arc: %s\n", error.what());
        code = 1;
    }
    try {
        ReleaseGlobals();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "web2arc: %s\n", error.what());
    }
    if (ReleaseWindows) {
        ReleaseWindows();
    }
    return code;
}

void TkvStartup::ReleaseGlobals()
{
    while (!releases.empty()) {
        const std::function<void()> release = std::move(releases.back());
        releases.pop_back();
        release();
    }
}

int TkvStartup::StartAndRun()
{
    App = new TkvApp(argc, argv);
    releases.emplace_back([] {
        delete App;
        App = nullptr;
    });
    Info = new TkvInfo(TkvProduct::Info());
    Info->ExePath = App->ExePath;
    releases.emplace_back([] {
        delete Info;
        Info = nullptr;
    });
    Project = new TkvProject();
    releases.emplace_back([] {
        delete Project;
        Project = nullptr;
    });
    if (CreateMain) {
        CreateMain();
        if (ReleaseMain) {
            releases.emplace_back(ReleaseMain);
        }
    }
    TkvProduct::Describe(*Project, ConverterClass);
    QCoreApplication::setApplicationName(QLatin1String(TkvProductValues::ShortName));
    QCoreApplication::setApplicationVersion(QLatin1String(TkvProductValues::Version));

    if (!Project->ParseCommandLine(App->FirstParam)) {
        return 0; // -I or -U: their link is open; the process ends through the normal release
    }
    if (CreateMatcher) {
        CreateMatcher();
        if (ReleaseMatcher) {
            releases.emplace_back(ReleaseMatcher);
        }
    }

    const TkvRunMode mode = ChooseMode(*Project);
    if (Info)
        Info->Reports = Project->Value(TkvOption::Reports) != 0;
    if (mode != TkvRunMode::Window) {
        // Nobody sees the options of an unattended run: whatever in them was not understood is said.
        for (const QString &problem : TkvOptionTable::Problems(Project->OptionLines()))
            TkvConsole::WriteStderr(QStringLiteral("web2arc: ") + problem + QLatin1Char('\n'));
    }
    if (mode == TkvRunMode::Console) {
        std::unique_ptr<QCoreApplication> core;
        if (!QCoreApplication::instance()) {
            core = std::make_unique<QCoreApplication>(argc, argv);
        }
        return ConsoleRun ? ConsoleRun() : 0;
    }
    if (mode == TkvRunMode::TransparentWindow) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    } else if (!WindowCanShow()) {
        // Qt would abort the process with a message about its display plug-in, which says nothing of
        // what the user can do about it. Not an error of the program: no error report.
        TkvConsole::WriteStderr(QStringLiteral("web2arc: ") + NoWindowText(*Project) + QLatin1Char('\n'));
        return 1;
    }
    // The window's platform looks for the session's runtime folder as it starts; an unattended run
    // has no session, and Qt would warn on stderr about the folder it falls back to.
    TkvRuntimeFolder::Provide();
    return WindowRun ? WindowRun(argc, argv, mode, [this] { ReleaseGlobals(); }) : 0;
}
