#include "kvMain.h"

#include "kvBatch.h"
#include "kvConsole.h"
#include "kvPath.h"
#include "kvProject.h"
#include "kvRun.h"
#include "kvStopSignals.h"

#include <QDir>

TkvMain *Main = nullptr;

TkvMain::TkvMain() = default;

TkvMain::~TkvMain() = default;

TkvBatch *TkvMain::Batch() const
{
    return run ? &run->Job() : nullptr;
}

QStringList TkvMain::Results() const
{
    return run ? run->Results() : QStringList();
}

namespace {

void say(const QString &text)
{
    TkvConsole::WriteStderr(QStringLiteral("web2arc: ") + text + QLatin1Char('\n'));
}

} // namespace

int TkvMain::Run()
{
    const TkvStopSignals stopSignals; // from here on a stop signal ends the run in order
    const TkvRunOptions options = TkvRunOptions::Take(*Project);
    QString target = Project->GetTargetDir();
    const QString source = Project->PagesSource(options.Text(TkvOption::Source));
    const QString regExtProblem = TkvRun::RegExtProblem(options.Text(TkvOption::RegExt));
    if (!regExtProblem.isEmpty())
        say(regExtProblem);
    if (target.isEmpty()) {
        // No target: every archive goes beside its source, so the source's folder is the target; a web
        // address's archive goes to the current folder, as a download does.
        if (!TkvPath::IsWebAddress(source))
            target = TkvPath::FolderPart(TkvPath::UrlToPath(source));
        if (target.isEmpty())
            target = QDir::currentPath() + QLatin1Char('/');
    }
    run = std::make_unique<TkvRun>(options, *this);
    run->LogFile = options.Text(TkvOption::LogFile);
    if (!run->LogFile.isEmpty())
        TkvRun::MakeLogFolder(run->LogFile); // a log that cannot be placed stops the run before any work
    run->Search(source, target, options.Boolean(TkvOption::Subdir));
    run->Convert(options, target);
    terminal = TkvConsole::StderrIsTerminal();
    const auto start = std::chrono::steady_clock::now();
    try {
        run->Wait([this, start] {
            checkSignals();
            showProgress(start);
        });
    } catch (...) {
        clearProgress(); // before the error is printed
        throw;
    }
    clearProgress();
    bool sourceWrong = false;
    if (run->Job().NodeCount() == 0 && run->InterruptedBy().isEmpty())
        say(run->NothingFound(sourceWrong));
    say(run->Summary(run->LogFile));
    if (const int signal = TkvStopSignals::Received())
        return 128 + signal;
    return sourceWrong ? 1 : 0;
}

void TkvMain::checkSignals()
{
    const int signal = TkvStopSignals::Received();
    if (signal && run->InterruptedBy().isEmpty())
        run->Interrupt(TkvStopSignals::Name(signal));
}

void TkvMain::clearProgress() const
{
    if (terminal)
        TkvConsole::ClearProgress();
}

void TkvMain::showProgress(std::chrono::steady_clock::time_point start) const
{
    if (!terminal)
        return;
    const TkvBatch &job = run->Job();
    const int done = job.Successes + job.Failures;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const QString rate = seconds > 0.5 ? QString::number(done / seconds, 'f', 1) : QStringLiteral("-");
    TkvConsole::ShowProgress(QStringLiteral("web2arc: %1 found, %2 converted, %3 failed, %4 files/s")
                                 .arg(job.NodeCount())
                                 .arg(int(job.Successes))
                                 .arg(int(job.Failures))
                                 .arg(rate));
}

void TkvMain::EntryAdded(TkvRun &, TkvNode &)
{}

void TkvMain::EntryDone(TkvRun &, TkvNode &)
{}

void TkvMain::RunFinished(TkvRun &)
{}
