// Run control and result list of the main window: Search, Convert, Start, Pause, Stop, the finish of
// each converter, the unattended end of a run, and the list commands.
#include "kvFormMain.h"

#include "kvBatch.h"
#include "kvConvertor.h"
#include "kvEngineParts.h"
#include "kvFileError.h"
#include "kvFileName.h"
#include "kvInfo.h"
#include "kvMain.h"
#include "kvOpener.h"
#include "kvPath.h"
#include "kvProject.h"
#include "kvResultModel.h"
#include "kvRunContext.h"
#include "kvUiChooser.h"
#include "kvWindowInvoker.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <cerrno>

namespace {

QString withoutTrailingSlash(const QString &text)
{
    return text.endsWith(QLatin1Char('/')) && text.size() > 1 ? text.chopped(1) : text;
}

} // namespace

void TkvFrmMain::NewBatch()
{
    retireBatch();
    const quint64 generation = model->Reset();
    batchOwner = std::make_unique<TkvBatch>(Project ? TkvRunOptions::Take(*Project) : TkvRunOptions());
    Batch = batchOwner.get();
    Batch->OnNodeAdded = [this, generation](TkvBatch &, TkvNode &entry) { entryAdded(generation, entry); };
}

void TkvFrmMain::retireBatch()
{
    if (!batchOwner)
        return;
    Batch = nullptr;
    batchOwner->Terminate();
    retired.push_back(std::move(batchOwner));
    releaseRetired();
}

void TkvFrmMain::releaseRetired()
{
    // A converter counts itself in RunningConvertors until after its finish has been handled and may
    // touch its job until then, so a job is freed only once no converter runs; until then it waits here
    // and the check is repeated from a timer.
    if (retired.empty())
        return;
    if (RunningConvertors.load() > 0) {
        retireTimer->start();
        return;
    }
    try {
        retired.clear();
    } catch (...) {
        // Errors while a job is destroyed are of no interest to anyone.
    }
}

void TkvFrmMain::entryAdded(quint64 generation, TkvNode &entry)
{
    model->PostAdded(generation, entry.Index, entry.FileName);
}

void TkvFrmMain::entryDone(quint64 generation, TkvNode &entry)
{
    // Runs on the worker that has just finished this entry: it alone writes Status and Message.
    model->PostDone(generation, entry.Index, entry.Status, entry.FileName, entry.Message);
}

bool TkvFrmMain::search()
{
    const QString source = eSource->text();
    if (source.isEmpty()) {
        focusControl(eSource);
        AfterRun();
        return false;
    }
    NewBatch();
    // Pages on the web may have changed since the last search; cached files are checked on every use.
    engineParts->ResourceCache.ClearWebAddresses();
    if (source.startsWith(QLatin1String("http"))) {
        AddSourceFile(source);
        return true;
    }
    try {
        Batch->StartSearch(source, eTarget->text(), cSubdir->isChecked());
    } catch (...) {
        // A job whose search never started would keep its workers waiting for entries that never come:
        // it is dropped, so the next Convert searches again.
        retireBatch();
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
        const QString bare = withoutTrailingSlash(text);
        const bool wildcard = text.contains(QLatin1Char('?')) || text.contains(QLatin1Char('*'));
        const QFileInfo info(TkvBatch::UrlToPath(bare));
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
    TkvFileName::MakePath(TkvBatch::UrlToPath(target)); // a failure shows up per file
    if (!target.endsWith(QLatin1Char('/'))) {
        target += QLatin1Char('/');
        eTarget->setText(target);
    }
    if (Project)
        Project->StoreOptions(false);
    if (!Batch && !search())
        return;
    if (Batch && Batch->IsDrained() && !search())
        return;
    if (!Batch)
        return;

    aConvert->setEnabled(false);
    aSearchConvert->setEnabled(false);
    aSearch->setEnabled(false);
    const quint64 generation = model->Generation();
    Convertor = TkvConvertor::CreateChain(
        Batch, target, [this, generation](TkvBatch &, TkvNode &entry) { entryDone(generation, entry); },
        std::make_shared<TkvRunContext>(Project ? TkvRunOptions::Take(*Project) : TkvRunOptions(), engineParts));
    PendingFinishes = Convertor->ChainCount;
    Convertor->SetOnFinish([this] { guarded([this] { OnFinish(); }); }, invoker.get());
    aStop->setEnabled(true);
    carry(bCreate, aPause);
    aPause->setEnabled(true);
    carry(bSearchConvert, aStop);
    setRunning(true);
    Convertor->Start();
    if (Info)
        Info->AddCounter(QStringLiteral("C"), 1);
    StoppedByUser = false;
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
    if (Convertor)
        Convertor->Stop();
    StopTag = 0;
    StatusBar->showMessage(QStringLiteral("Pausing: the files in progress are finished first."));
}

void TkvFrmMain::aStopExecute()
{
    if (!running)
        return;
    StoppedByUser = true;
    aPause->setEnabled(false);
    aStop->setEnabled(false);
    if (Batch)
        Batch->Terminate();
    if (Convertor)
        Convertor->Stop();
    StopTag = 1;
    StatusBar->showMessage(QStringLiteral("Stopping: the files in progress are finished first."));
}

void TkvFrmMain::OnFinish()
{
    if (--PendingFinishes >= 1)
        return;
    model->Flush(); // every converter has reported its last entry before its finish
    carry(bCreate, aConvert);
    aConvert->setEnabled(true);
    carry(bSearchConvert, aSearchConvert);
    aSearchConvert->setEnabled(true);
    aSearch->setEnabled(true);
    setRunning(false);
    Convertor.reset();
    if (Batch) {
        if (Info) {
            Info->AddCounter(QStringLiteral("A"), Batch->NodeCount());
            Info->AddCounter(QStringLiteral("S"), Batch->Successes);
            Info->AddCounter(QStringLiteral("F"), Batch->Failures);
        }
        if (Batch->Failures > 0 && Info) {
            QStringList errors;
            {
                std::lock_guard guard(Batch->NodesLock());
                errors = Batch->Errors;
            }
            Info->OpenLink(QString(), TkvMain::FailureAction(errors), QString());
        }
        StatusBar->showMessage(QStringLiteral("%1 converted, %2 failed.").arg(Batch->Successes).arg(Batch->Failures));
    }
    if (StopTag == 1) {
        retireBatch();
        StopTag = 0;
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
            if (Info)
                Info->HandleAppException(QString::fromUtf8(e.what()));
        }
    }
    const int daemon = Project->GetDaemon();
    if (daemon < 1) {
        close();
        return;
    }
    if (StoppedByUser)
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
    const QByteArray bytes = model->ListText().toUtf8();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        const int error = errno;
        throw TkvFileError::FromErrno("create", path, error ? error : EIO);
    }
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const int error = errno;
        throw TkvFileError::FromErrno("write", path, error ? error : EIO);
    }
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
    ViewSource1->setEnabled(selected);
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
        // The workers need this window for their finish: stop them, and close once they have ended.
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
