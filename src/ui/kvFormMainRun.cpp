// Run control and result list of the main window: Search, Convert, Start, Pause, Stop, the end of a
// run, the unattended end of a run, and the list commands.
#include "kvFormMain.h"

#include "kvBatch.h"
#include "kvConsole.h"
#include "kvFileName.h"
#include "kvInfo.h"
#include "kvOpener.h"
#include "kvPath.h"
#include "kvProject.h"
#include "kvResultModel.h"
#include "kvRun.h"
#include "kvRunView.h"
#include "kvUiChooser.h"
#include "kvWindowInvoker.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

namespace {

TkvRunOptions projectOptions()
{
    return Project ? TkvRunOptions::Take(*Project) : TkvRunOptions();
}

} // namespace

void TkvFrmMain::NewBatch()
{
    dropRun();
    model->Reset();
    view = std::make_unique<TkvRunView>(
        *model, [this] { guarded([this] { OnFinish(); }); }, projectOptions(), invoker.get(),
        [this] { searchEnded(); });
}

void TkvFrmMain::dropRun()
{
    if (!view)
        return;
    view->Run().Job().Terminate(); // its search ends now, whenever the run is freed
    dropped = std::move(view);
    dropTimer->start();
}

TkvBatch *TkvFrmMain::Job() const
{
    return view ? &view->Run().Job() : nullptr;
}

int TkvFrmMain::ConvertorsRunning() const
{
    return view ? view->Run().ConvertorsRunning() : 0;
}

void TkvFrmMain::expandSource()
{
    if (!Project)
        return;
    const QString pages = Project->PagesSource(eSource->text());
    if (pages == eSource->text())
        return;
    eSource->setText(pages);
    SetDefaultTarget(TkvPath::FolderPart(pages));
}

void TkvFrmMain::searchEnded()
{
    // While converting, the status bar speaks of the run; its end says how it went.
    if (view && !running && view->Run().Job().IsSearchDone()) // not a dropped run's search
        StatusBar->showMessage(view->Run().SearchReport());
}

bool TkvFrmMain::search()
{
    expandSource();
    const QString source = eSource->text();
    if (source.isEmpty()) {
        focusControl(eSource);
        AfterRun();
        return false;
    }
    NewBatch();
    if (source.startsWith(QLatin1String("http")) && !TkvBatch::IsSite(source)) {
        AddSourceFile(source);
        return true;
    }
    try {
        view->Run().Search(source, eTarget->text(), cSubdir->isChecked());
    } catch (...) {
        // A job whose search never started would keep its workers waiting for entries that never come:
        // it is dropped, so the next Convert searches again.
        dropRun();
        throw;
    }
    return true;
}

void TkvFrmMain::aSearchExecute()
{
    search();
}

bool TkvFrmMain::cleanTarget()
{
    for (;;) {
        const QString text = eTarget->text();
        if (text.isEmpty())
            return false;
        const QString bare = TkvPath::WithoutTrailingSlash(text);
        const bool wildcard = text.contains(QLatin1Char('?')) || text.contains(QLatin1Char('*'));
        const QFileInfo info(TkvPath::UrlToPath(bare));
        const bool namesFile = info.exists() && !info.isDir();
        if (!wildcard && !namesFile)
            return true;
        const QString shorter = TkvPath::FolderPart(bare);
        if (shorter.isEmpty() || shorter.size() >= text.size())
            return false;
        eTarget->setText(shorter);
    }
}

void TkvFrmMain::aConvertExecute()
{
    if (running)
        return;
    expandSource();
    if (eTarget->text().isEmpty() && TkvPath::IsWebAddress(eSource->text())) {
        // A web address's archive goes to the current folder, as a download does.
        eTarget->setText(QDir::currentPath() + QLatin1Char('/'));
    }
    if (!cleanTarget()) {
        focusControl(eTarget);
        AfterRun();
        return;
    }
    QString target = eTarget->text();
    TkvFileName::MakePath(TkvPath::UrlToPath(target)); // a failure shows up per file
    if (!target.endsWith(QLatin1Char('/'))) {
        target += QLatin1Char('/');
        eTarget->setText(target);
    }
    if (Project)
        Project->StoreOptions(false);
    if (!prepareLog())
        return;
    if (!view && !search())
        return;
    if (view && view->Run().Job().IsDrained() && !search())
        return;
    if (!view)
        return;

    // The converters start now; their end reaches OnFinish through the event loop, after this returns.
    view->Run().Convert(projectOptions(), target);
    aConvert->setEnabled(false);
    aSearchConvert->setEnabled(false);
    aSearch->setEnabled(false);
    aStop->setEnabled(true);
    carry(bCreate, aPause);
    aPause->setEnabled(true);
    carry(bSearchConvert, aStop);
    setRunning(true);
    stoppedByUser = false;
    paused = false;
}

bool TkvFrmMain::prepareLog()
{
    const QString logFile = Project && Project->GetRunAndClose() ? Project->Text(TkvOption::LogFile) : QString();
    if (logFile.isEmpty())
        return true;
    try {
        TkvRun::MakeLogFolder(logFile);
        return true;
    } catch (const std::exception &e) {
        // Nothing is converted into a run whose log has nowhere to go.
        unattendedError(QString::fromUtf8(e.what()));
        close();
        return false;
    }
}

void TkvFrmMain::unattendedError(const QString &text)
{
    reportsFromProject();
    if (Info)
        Info->HandleAppException(text);
    StatusBar->showMessage(text);
    TkvConsole::WriteStderr(QStringLiteral("web2arc: ") + text + QLatin1Char('\n'));
    exitCode = 1;
}

void TkvFrmMain::aSearchConvertExecute()
{
    if (search())
        aConvertExecute();
}

void TkvFrmMain::aPauseExecute()
{
    if (!running)
        return;
    aPause->setEnabled(false);
    aStop->setEnabled(false);
    view->Run().Pause();
    dropAfterRun = false;
    paused = true;
    StatusBar->showMessage(QStringLiteral("Pausing: the files in progress are finished first."));
}

void TkvFrmMain::aStopExecute()
{
    if (!running)
        return;
    stoppedByUser = true;
    aPause->setEnabled(false);
    aStop->setEnabled(false);
    view->Run().Stop();
    dropAfterRun = true;
    paused = false;
    StatusBar->showMessage(QStringLiteral("Stopping: the files in progress are finished first."));
}

void TkvFrmMain::OnFinish()
{
    // The run has counted its numbers and sent its failure report; every converter has reported its
    // last entry before it ended.
    model->Flush();
    carry(bCreate, aConvert);
    aConvert->setEnabled(true);
    carry(bSearchConvert, aSearchConvert);
    aSearchConvert->setEnabled(true);
    aSearch->setEnabled(true);
    setRunning(false);
    if (view) {
        const TkvBatch &job = view->Run().Job();
        bool sourceWrong = false;
        if (paused)
            StatusBar->showMessage(QStringLiteral("Paused. Convert goes on with the rest."));
        else if (job.NodeCount() == 0 && job.IsSearchDone())
            StatusBar->showMessage(view->Run().NothingFound(sourceWrong) + QLatin1Char('.'));
        else
            StatusBar->showMessage(QStringLiteral("%1 converted, %2 failed.").arg(job.Successes).arg(job.Failures));
    }
    if (dropAfterRun) {
        dropRun();
        dropAfterRun = false;
    }
    if (closeAfterRun) {
        close();
        return;
    }
    AfterRun();
}

void TkvFrmMain::setRunning(bool on)
{
    running = on;
    // Commands that would replace the job the workers use, or the project they read, wait for the end.
    for (QAction *a : {aOpen, aNew, aConfig, BrowseFiles1})
        a->setEnabled(!on);
    bSourceFile->setEnabled(!on);
    if (on)
        StatusBar->showMessage(QStringLiteral("Converting. Files, Open, New, recent projects, Config and drops onto "
                                              "the list are off until the run ends."));
}

void TkvFrmMain::AutoRun()
{
    if (Project && Project->GetRunAndClose())
        aConvertExecute();
}

void TkvFrmMain::AfterRun()
{
    if (!Project || !Project->GetRunAndClose())
        return;
    const QString logFile = Project->Text(TkvOption::LogFile);
    if (!logFile.isEmpty()) {
        // A log that cannot be written is reported, and the unattended run still closes or repeats.
        try {
            SaveListToFile(logFile);
        } catch (const std::exception &e) {
            unattendedError(QString::fromUtf8(e.what()));
        }
    }
    if (Project->GetPureConsole() && view && exitCode == 0) // the hidden window ends as the console run does
        TkvConsole::WriteStderr(QStringLiteral("web2arc: ") + view->Run().Summary(logFile) + QLatin1Char('\n'));
    const int daemon = Project->GetDaemon();
    if (daemon < 1) {
        close();
        return;
    }
    if (stoppedByUser)
        return;
    // The next run starts from the event loop: the window stays responsive while it waits.
    daemonTimer->start(daemon);
    StatusBar->showMessage(QStringLiteral("Waiting %1 ms for the next run.").arg(daemon));
}

bool TkvFrmMain::DaemonWaiting() const
{
    return daemonTimer->isActive();
}

void TkvFrmMain::SaveListToFile(const QString &path)
{
    model->Flush();
    TkvRun::WriteLog(path, model->ListLines());
}

void TkvFrmMain::ExportList1Click()
{
    QString path;
    if (chooser->SaveFileDialog(QStringLiteral("Log File|*.log"), QStringLiteral(".log"), path))
        SaveListToFile(path);
}

void TkvFrmMain::aViewExecute()
{
    if (eTarget->text().isEmpty()) {
        focusControl(eTarget);
        return;
    }
    kvOpener::OpenAddress(eTarget->text());
}

void TkvFrmMain::pm1Popup()
{
    const bool selected = lViewer->selectionModel() && lViewer->selectionModel()->hasSelection();
    OpenSource1->setEnabled(selected);
    OpenArchive1->setEnabled(selected);
    ViewSource1->setEnabled(selected);
}

void TkvFrmMain::OpenArchiveAt(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    const TkvResultModel::Row &row = model->RowAt(index.row());
    if (row.Status == TkvNode::Success && !row.Message.isEmpty())
        kvOpener::OpenAddress(row.Message);
    else
        StatusBar->showMessage(row.Status == TkvNode::Failure ? QStringLiteral("This page failed: it has no archive.")
                                                              : QStringLiteral("This page has no archive yet."),
                               8000);
}

void TkvFrmMain::OpenArchive1Click()
{
    QItemSelectionModel *selection = lViewer->selectionModel();
    if (selection && !selection->selectedRows().isEmpty())
        OpenArchiveAt(selection->selectedRows().first());
}

void TkvFrmMain::OpenSelectedSource(bool folderOnly)
{
    QItemSelectionModel *selection = lViewer->selectionModel();
    if (!selection)
        return;
    const QModelIndexList rows = selection->selectedRows();
    if (rows.isEmpty())
        return;
    int first = rows.first().row();
    for (const QModelIndex &i : rows)
        first = std::min(first, i.row());
    QString path = model->RowAt(first).FileName;
    if (folderOnly)
        path = TkvPath::FolderPart(path);
    kvOpener::OpenAddress(path);
}

void TkvFrmMain::ViewSource1Click()
{
    OpenSelectedSource(true);
}

void TkvFrmMain::OpenSource1Click()
{
    OpenSelectedSource(false);
}

void TkvFrmMain::closeEvent(QCloseEvent *event)
{
    if (running) {
        // The run tells this window when it has ended: stop it, and close then.
        closeAfterRun = true;
        aStopExecute();
        event->ignore();
        return;
    }
    daemonTimer->stop();
    TkvFrmBase::closeEvent(event);
    if (!closed) {
        closed = true;
        emit Closed();
    }
}
