#include "kvFormMain.h"

#include "kvDialogSeam.h"
#include "kvFormCfg.h"
#include "kvInfo.h"
#include "kvPath.h"
#include "kvProject.h"
#include "kvResultModel.h"
#include "kvRun.h"
#include "kvRunView.h"
#include "kvUiChooser.h"
#include "kvWeb2ArcAbout.h"
#include "kvWindowInvoker.h"

#include <QAction>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

TkvFrmMain *kvFrmMain = nullptr;

TkvFrmMain::TkvFrmMain(std::unique_ptr<TkvDialogSeam> seam, QWidget *parent) : TkvFrmBase(parent)
{
    setObjectName(QStringLiteral("kvFrmMain"));
    if (!seam)
        seam = std::make_unique<TkvQtDialogs>(this);
    chooser = std::make_unique<TkvUiChooser>(std::move(seam));
    model = new TkvResultModel(this);
    invoker = std::make_unique<TkvWindowInvoker>(this);
    daemonTimer = new QTimer(this);
    daemonTimer->setSingleShot(true);
    connect(daemonTimer, &QTimer::timeout, this, [this] { guarded([this] { AutoRun(); }); });
    dropTimer = new QTimer(this);
    dropTimer->setSingleShot(true);
    dropTimer->setInterval(0);
    connect(dropTimer, &QTimer::timeout, this, [this] { dropped.reset(); });

    createActions();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    createToolBar();
    layout->addWidget(ToolBar);
    createRows();
    layout->addWidget(pSource->parentWidget());
    auto *pSpacer = new QFrame(this);
    pSpacer->setObjectName(QStringLiteral("pSpacer"));
    pSpacer->setFixedHeight(2);
    layout->addWidget(pSpacer);
    createViewer();
    layout->addWidget(lViewer->parentWidget(), 1);
    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setSizeGripEnabled(false);
    layout->addWidget(StatusBar);
    setAcceptDrops(true);

    // FormCreate
    if (Project)
        Project->Chooser = chooser.get();
    BindWindowControls();
    if (Project)
        Project->LoadStartProject();
    UpdateCaption();
}

TkvFrmMain::~TkvFrmMain()
{
    // FormDestroy. A window destroyed during a run (not through close, which waits for the run) stops
    // the run and waits for its converters, which never wait for this window; the end they would post
    // is dropped.
    invoker->Detach();
    view.reset();
    dropped.reset();
    if (Project && Project->Chooser == chooser.get())
        Project->Chooser = nullptr;
    if (kvFrmMain == this)
        kvFrmMain = nullptr;
}

void TkvFrmMain::BindWindowControls()
{
    if (!Project)
        return;
    Project->BindControl(eSource);
    Project->BindControl(cSubdir);
    Project->BindControl(eTarget);
}

void TkvFrmMain::showEvent(QShowEvent *event)
{
    TkvFrmBase::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TkvFrmMain::FormShow()
{
    if (shown)
        return;
    guarded([this] { AutoRun(); });
    shown = true;
}

void TkvFrmMain::UpdateCaption()
{
    const QString title = Project ? Project->Title : QString();
    const QString file = Project && !Project->ProjectFile.isEmpty() ? Project->ProjectFile : QStringLiteral("None");
    setWindowTitle(title + QStringLiteral(" - ") + file);
}

void TkvFrmMain::SetDefaultTarget(const QString &folder)
{
    // The "folder" of a web address is no place to write to: the target then stays for the user to
    // choose, or the current folder when Convert starts without one.
    if (TkvPath::IsWebAddress(folder))
        return;
    if (Project && Project->TargetFollowsSource && eTarget->text().isEmpty())
        eTarget->setText(folder);
}

void TkvFrmMain::AddSourceFile(const QString &path)
{
    SetDefaultTarget(TkvPath::FolderPart(path));
    if (view)
        view->Run().AddSingleFile(path);
}

void TkvFrmMain::bSourceClick()
{
    QString folder = chooser->BrowseForFolder(TkvPath::FolderPart(eSource->text()));
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    eSource->setText(folder + (Project ? Project->FileMask : QString()));
    SetDefaultTarget(folder);
}

void TkvFrmMain::bSourceFileClick()
{
    if (refuseDuringRun(QStringLiteral("Choosing files")))
        return;
    QString text = eSource->text();
    if (!chooser->OpenFileDialog(Project ? Project->OpenFilter : QString(), text, true))
        return;
    text = text.trimmed();
    if (!text.contains(QLatin1Char('\n')))
        eSource->setText(text);
    NewBatch();
    for (const QString &piece : text.split(QLatin1Char('\n'))) {
        const QString path = piece.trimmed();
        if (!path.isEmpty())
            AddSourceFile(path);
    }
}

void TkvFrmMain::bTargetClick()
{
    QString folder = chooser->BrowseForFolder(eTarget->text());
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    eTarget->setText(folder);
}

bool TkvFrmMain::DropFiles(QWidget *target, const QStringList &paths)
{
    QWidget *control = nullptr;
    for (QWidget *w = target; w && w != this; w = w->parentWidget())
        if (w == lViewer || w == eSource || w == eTarget) {
            control = w;
            break;
        }
    if (!control || paths.isEmpty())
        return false;
    if (paths.size() == 1 && Project && Project->IsProjectFile(paths[0])) {
        if (refuseDuringRun(QStringLiteral("Opening a project")))
            return false;
        Project->ProjectFile = paths[0];
        Project->OpenProject(true);
        UpdateCaption();
        return true;
    }
    if (auto *edit = qobject_cast<QLineEdit *>(control)) {
        // A folder dropped on Source means its pages, as the Folder button makes it.
        const QString text = edit == eSource && Project ? Project->PagesSource(paths[0]) : paths[0];
        edit->setText(text);
        SetDefaultTarget(TkvPath::FolderPart(text));
        return true;
    }
    if (refuseDuringRun(QStringLiteral("Dropping files onto the list")))
        return false;
    NewBatch();
    for (const QString &path : paths)
        AddSourceFile(path);
    return true;
}

QWidget *TkvFrmMain::dropTargetAt(const QPoint &pos) const
{
    QWidget *w = childAt(pos);
    for (; w && w != this; w = w->parentWidget())
        if (w == lViewer || w == eSource || w == eTarget)
            return w;
    return nullptr;
}

void TkvFrmMain::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TkvFrmMain::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->mimeData()->hasUrls() && dropTargetAt(event->position().toPoint()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TkvFrmMain::dropEvent(QDropEvent *event)
{
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls())
        paths << (url.isLocalFile() ? url.toLocalFile() : url.toString());
    bool used = false;
    guarded([&] { used = DropFiles(dropTargetAt(event->position().toPoint()), paths); });
    if (used)
        event->acceptProposedAction();
    else
        event->ignore();
}

bool TkvFrmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == eSource) {
            guarded([this] { bSourceFileClick(); });
            return true;
        }
        if (watched == eTarget) {
            guarded([this] { bTargetClick(); });
            return true;
        }
    }
    return TkvFrmBase::eventFilter(watched, event);
}

void TkvFrmMain::aOpenExecute()
{
    if (refuseDuringRun(QStringLiteral("Opening a project")) || !Project)
        return;
    Project->OpenProject(false);
    UpdateCaption();
}

void TkvFrmMain::pm2Popup()
{
    pm2->clear();
    if (!Project)
        return;
    for (const QString &path : Project->RecentFiles) {
        // The caption is exactly the path: an "&" in it is doubled so it is not taken as a mnemonic.
        QAction *item = pm2->addAction(QString(path).replace(QLatin1Char('&'), QStringLiteral("&&")));
        item->setData(path);
        item->setEnabled(QFileInfo::exists(path) && !running);
    }
}

void TkvFrmMain::RecentProjectClick(QAction *item)
{
    if (!item || !Project || refuseDuringRun(QStringLiteral("Opening a project")))
        return;
    Project->ProjectFile = item->data().toString();
    Project->OpenProject(true);
    UpdateCaption();
}

void TkvFrmMain::aNewExecute()
{
    if (refuseDuringRun(QStringLiteral("A new project")) || !Project)
        return;
    Project->NewProject();
    UpdateCaption();
}

void TkvFrmMain::aConfigExecute()
{
    if (refuseDuringRun(QStringLiteral("Editing the options")))
        return;
    if (!kvFrmCfg) {
        kvFrmCfg = new TkvFrmCfg(this);
        connect(kvFrmCfg, &TkvFrmCfg::Closed, this, &TkvFrmMain::UpdateCaption);
        connect(kvFrmCfg, &QObject::destroyed, [] { kvFrmCfg = nullptr; });
    }
    kvFrmCfg->show();
    kvFrmCfg->raise();
    kvFrmCfg->activateWindow();
}

void TkvFrmMain::aSaveExecute()
{
    if (!Project)
        return;
    Project->SaveProject();
    UpdateCaption();
}

void TkvFrmMain::aSaveAsExecute()
{
    if (!Project)
        return;
    Project->SaveProjectAs();
    UpdateCaption();
}

void TkvFrmMain::reportsFromProject() const
{
    if (Info && Project)
        Info->Reports = Project->Value(TkvOption::Reports) != 0;
}

void TkvFrmMain::aUpdateExecute()
{
    reportsFromProject();
    if (Info)
        Info->OpenLink(QStringLiteral("download"), QString(), QString());
}

void TkvFrmMain::aHelpExecute()
{
    if (!Info)
        return;
    Info->OpenLink(QStringLiteral("h"), QString(), QString());
    Info->AddCounter(QStringLiteral("H"), 1);
}

void TkvFrmMain::aHomePageExecute()
{
    reportsFromProject();
    if (Info)
        Info->OpenLink(QString(), QString(), QString());
}

void TkvFrmMain::aSupportsExecute()
{
    if (Info)
        Info->OpenLink(QStringLiteral("supports"), QString(), QString());
}

void TkvFrmMain::aAboutExecute()
{
    if (kvFrmWeb2ArcAbout)
        kvFrmWeb2ArcAbout->ShowAbout();
}

bool TkvFrmMain::refuseDuringRun(const QString &what)
{
    if (!running)
        return false;
    StatusBar->showMessage(what + QStringLiteral(" waits until the run has ended: the running conversion uses the "
                                                 "current list and project. Pause or stop it first."),
                           8000);
    return true;
}

void TkvFrmMain::focusControl(QWidget *control)
{
    if (control->isVisible())
        control->setFocus();
}

void TkvFrmMain::guarded(const std::function<void()> &command)
{
    try {
        command();
    } catch (const std::exception &e) {
        reportsFromProject();
        if (Info)
            Info->HandleAppException(QString::fromUtf8(e.what()));
        StatusBar->showMessage(QString::fromUtf8(e.what()), 10000);
    }
}
