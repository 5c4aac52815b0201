#include "kvFormMain.h"

#include "kvBatch.h"
#include "kvConvertor.h"
#include "kvDialogSeam.h"
#include "kvFormCfg.h"
#include "kvInfo.h"
#include "kvPath.h"
#include "kvProject.h"
#include "kvResultModel.h"
#include "kvUiChooser.h"
#include "kvWeb2ArcAbout.h"
#include "kvWindowInvoker.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

TkvFrmMain *kvFrmMain = nullptr;

namespace {

QFrame *makePanel(QWidget *parent, const char *name, int height, QFrame::Shadow shadow)
{
    auto *panel = new QFrame(parent);
    panel->setObjectName(QLatin1String(name));
    panel->setFrameShape(shadow == QFrame::Plain ? QFrame::NoFrame : QFrame::StyledPanel);
    panel->setFrameShadow(shadow);
    if (height > 0)
        panel->setFixedHeight(height);
    return panel;
}

/// A bound control: the property name in "hint" (never shown), the binding cache mark in "tag".
void markBound(QWidget *control, const char *property)
{
    control->setProperty("hint", QLatin1String(property));
    control->setProperty("tag", -1);
}

} // namespace

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
    retireTimer = new QTimer(this);
    retireTimer->setSingleShot(true);
    retireTimer->setInterval(20);
    connect(retireTimer, &QTimer::timeout, this, &TkvFrmMain::releaseRetired);

    createActions();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    createToolBar();
    layout->addWidget(ToolBar);
    createRows();
    layout->addWidget(pSource->parentWidget());
    layout->addWidget(makePanel(this, "pSpacer", 2, QFrame::Plain));
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
    // FormDestroy. A window destroyed during a run (not through close, which waits for the run) first
    // stops the chain and lets its members end without it, so the job outlives every converter.
    invoker->Detach();
    if (running || RunningConvertors.load() > 0) {
        if (Batch)
            Batch->Terminate();
        if (Convertor)
            Convertor->Stop();
        while (RunningConvertors.load() > 0) {
            QCoreApplication::removePostedEvents(this, QEvent::MetaCall); // frees finishes queued to us
            QThread::yieldCurrentThread();
        }
    }
    Convertor.reset();
    // The job goes first (its search thread is ended and joined), then the retired ones.
    Batch = nullptr;
    batchOwner.reset();
    retired.clear();
    if (Project && Project->Chooser == chooser.get())
        Project->Chooser = nullptr;
    if (kvFrmMain == this)
        kvFrmMain = nullptr;
}

QAction *TkvFrmMain::makeAction(const char *name, const QString &caption, const QString &hint, const QString &icon)
{
    auto *action = new QAction(caption, this);
    action->setObjectName(QLatin1String(name));
    action->setToolTip(hint.isEmpty() ? QString(caption).remove(QLatin1Char('&')) : hint);
    action->setStatusTip(hint);
    if (!icon.isEmpty())
        action->setIcon(QIcon(QStringLiteral(":/ui/%1.png").arg(icon)));
    addAction(action);
    return action;
}

void TkvFrmMain::createActions()
{
    aConvert = makeAction("aConvert", QStringLiteral("&Convert"), QStringLiteral("Convert the file(s) instantly"), {});
    aStop = makeAction("aStop", QStringLiteral("Sto&p"), {}, {});
    aOpen =
        makeAction("aOpen", QStringLiteral("&Open"), QStringLiteral("Open a batch project"), QStringLiteral("open"));
    aNew = makeAction("aNew", QStringLiteral("&New"), QStringLiteral("New a batch project"), QStringLiteral("new"));
    aConfig = makeAction("aConfig", QStringLiteral("Config"), QStringLiteral("Config the options of the batch project"),
                         QStringLiteral("config"));
    aSave =
        makeAction("aSave", QStringLiteral("Sa&ve"), QStringLiteral("Save the batch project"), QStringLiteral("save"));
    aSaveAs = makeAction("aSaveAs", QStringLiteral("Save &As"), QStringLiteral("Save the batch project as ..."),
                         QStringLiteral("saveas"));
    aUpdate = makeAction("aUpdate", QStringLiteral("Check &Update"), {}, QStringLiteral("update"));
    aHelp = makeAction("aHelp", QStringLiteral("&Help"), {}, QStringLiteral("help"));
    aHomePage = makeAction("aHomePage", QStringLiteral("Home"), {}, QStringLiteral("home"));
    aSupports = makeAction("aSupports", QStringLiteral("Support"), QStringLiteral("Send us e-mail for support"),
                           QStringLiteral("support"));
    aAbout = makeAction("aAbout", QStringLiteral("About"), {}, QStringLiteral("about"));
    aSearch =
        makeAction("aSearch", QStringLiteral("Search"), QStringLiteral("Search files from the source folder"), {});
    aView = makeAction("aView", QStringLiteral("View"), QStringLiteral("View the convert result"), {});
    aSearchConvert = makeAction("aSearchConvert", QStringLiteral("Start"), {}, {});
    aSearchConvert->setVisible(false);
    aPause = makeAction("aPause", QStringLiteral("Pause"), {}, {});

    auto run = [this](QAction *action, void (TkvFrmMain::*slot)()) {
        connect(action, &QAction::triggered, this, [this, slot] { guarded([this, slot] { (this->*slot)(); }); });
    };
    run(aConvert, &TkvFrmMain::aConvertExecute);
    run(aStop, &TkvFrmMain::aStopExecute);
    run(aOpen, &TkvFrmMain::aOpenExecute);
    run(aNew, &TkvFrmMain::aNewExecute);
    run(aConfig, &TkvFrmMain::aConfigExecute);
    run(aSave, &TkvFrmMain::aSaveExecute);
    run(aSaveAs, &TkvFrmMain::aSaveAsExecute);
    run(aUpdate, &TkvFrmMain::aUpdateExecute);
    run(aHelp, &TkvFrmMain::aHelpExecute);
    run(aHomePage, &TkvFrmMain::aHomePageExecute);
    run(aSupports, &TkvFrmMain::aSupportsExecute);
    run(aAbout, &TkvFrmMain::aAboutExecute);
    run(aSearch, &TkvFrmMain::aSearchExecute);
    run(aView, &TkvFrmMain::aViewExecute);
    run(aSearchConvert, &TkvFrmMain::aSearchConvertExecute);
    run(aPause, &TkvFrmMain::aPauseExecute);
}

void TkvFrmMain::createToolBar()
{
    ToolBar = new QToolBar(this);
    ToolBar->setObjectName(QStringLiteral("ToolBar"));
    ToolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    ToolBar->setIconSize(QSize(16, 16));
    ToolBar->setMovable(false);
    ToolBar->setFloatable(false);
    pm2 = new QMenu(this);
    pm2->setObjectName(QStringLiteral("pm2"));
    connect(pm2, &QMenu::aboutToShow, this, &TkvFrmMain::pm2Popup);
    connect(pm2, &QMenu::triggered, this,
            [this](QAction *item) { guarded([this, item] { RecentProjectClick(item); }); });
    ToolBar->addAction(aOpen);
    tbOpen = qobject_cast<QToolButton *>(ToolBar->widgetForAction(aOpen));
    tbOpen->setObjectName(QStringLiteral("tbOpen"));
    tbOpen->setMenu(pm2);
    tbOpen->setPopupMode(QToolButton::MenuButtonPopup);
    const std::pair<const char *, QAction *> buttons[] = {
        {"tbNew", aNew},           {"tbConfig", aConfig},     {"tbSave", aSave},  {"tbSaveAs", aSaveAs},
        {"tb1", nullptr},          {"tbUpdate", aUpdate},     {"tb2", nullptr},   {"tbHelp", aHelp},
        {"tbHomePage", aHomePage}, {"tbSupports", aSupports}, {"tbAbout", aAbout}};
    for (const auto &[name, action] : buttons) {
        if (!action) {
            ToolBar->addSeparator()->setObjectName(QLatin1String(name));
            continue;
        }
        ToolBar->addAction(action);
        ToolBar->widgetForAction(action)->setObjectName(QLatin1String(name));
    }
}

void TkvFrmMain::createRows()
{
    QFrame *pAction = makePanel(this, "pAction", 70, QFrame::Sunken);
    auto *rows = new QVBoxLayout(pAction);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    pSource = makePanel(pAction, "pSource", 32, QFrame::Plain);
    pSource->setToolTip(QStringLiteral("Choose or drag & drop source folder or file(s)"));
    pTarget = makePanel(pAction, "pTarget", 30, QFrame::Plain);
    pTarget->setToolTip(QStringLiteral("Choose or drag & drop target folder"));
    rows->addWidget(pSource);
    rows->addWidget(pTarget);
    rows->addWidget(makePanel(pAction, "pOthers", 0, QFrame::Plain), 1);

    auto edit = [this](QFrame *panel, const char *name, const QString &caption, int top, QLabel *&label) {
        auto *e = new QLineEdit(panel);
        e->setObjectName(QLatin1String(name));
        e->setGeometry(50, top, 500, 21);
        e->setAcceptDrops(false); // drops go to the window, which knows what a dropped path means
        e->installEventFilter(this);
        markBound(e, "Text");
        label = new QLabel(caption, panel);
        label->setBuddy(e);
        label->adjustSize();
        label->move(50 - 4 - label->width(), top + (21 - label->height()) / 2);
        return e;
    };
    auto button = [](QFrame *panel, const char *name, const QString &caption, QRect place, const QString &hint) {
        auto *b = new QPushButton(caption, panel);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(place);
        b->setToolTip(hint);
        return b;
    };
    auto actionButton = [this](QFrame *panel, const char *name, QRect place, QAction *action) {
        auto *b = new QToolButton(panel);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(place);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        carry(b, action);
        return b;
    };

    eSource = edit(pSource, "eSource", QStringLiteral("&Source"), 10, eSourceLabel);
    bSource = button(pSource, "bSource", QStringLiteral("Folder"), QRect(550, 10, 38, 21),
                     QStringLiteral("Choose a folder and click \"Search\" to list files"));
    bSourceFile = button(pSource, "bSourceFile", QStringLiteral("Files"), QRect(588, 10, 38, 21),
                         QStringLiteral("Choose file(s) and click \"Convert\" to convert them"));
    cSubdir = new QCheckBox(QStringLiteral("Su&b folders"), pSource);
    cSubdir->setObjectName(QStringLiteral("cSubdir"));
    cSubdir->setLayoutDirection(Qt::RightToLeft); // text left of the box
    // Wider than the classic 72 pixels: the label must fit in the desktop's sans-serif font.
    cSubdir->setGeometry(630, 12, 100, 17);
    markBound(cSubdir, "Checked");
    bSearch = actionButton(pSource, "bSearch", QRect(734, 10, 76, 21), aSearch);

    eTarget = edit(pTarget, "eTarget", QStringLiteral("&Target"), 6, eTargetLabel);
    bTarget = button(pTarget, "bTarget", QStringLiteral("Folder"), QRect(550, 6, 38, 21),
                     QStringLiteral("Choose a target folder to save the converted file(s)"));
    bView = actionButton(pTarget, "bView", QRect(588, 6, 38, 21), aView);
    bSearchConvert = actionButton(pTarget, "bSearchConvert", QRect(654, 6, 76, 21), aSearchConvert);
    bCreate = actionButton(pTarget, "bCreate", QRect(734, 6, 76, 21), aConvert);

    setTabOrder(eSource, bSource);
    setTabOrder(bSource, bSourceFile);
    setTabOrder(bSourceFile, cSubdir);
    setTabOrder(cSubdir, bSearch);
    setTabOrder(bSearch, eTarget);
    setTabOrder(eTarget, bTarget);
    setTabOrder(bTarget, bSearchConvert);
    setTabOrder(bSearchConvert, bCreate);
    setTabOrder(bCreate, bView);

    connect(bSource, &QPushButton::clicked, this, [this] { guarded([this] { bSourceClick(); }); });
    connect(bSourceFile, &QPushButton::clicked, this, [this] { guarded([this] { bSourceFileClick(); }); });
    connect(bTarget, &QPushButton::clicked, this, [this] { guarded([this] { bTargetClick(); }); });
}

void TkvFrmMain::createViewer()
{
    QFrame *pViewer = makePanel(this, "pViewer", 0, QFrame::Sunken);
    auto *box = new QVBoxLayout(pViewer);
    box->setContentsMargins(0, 0, 0, 0);
    lViewer = new QTreeView(pViewer);
    lViewer->setObjectName(QStringLiteral("lViewer"));
    lViewer->setFrameShape(QFrame::NoFrame);
    lViewer->setRootIsDecorated(false);
    lViewer->setUniformRowHeights(true); // keeps 100,000 rows cheap to lay out
    lViewer->setItemsExpandable(false);
    lViewer->setAllColumnsShowFocus(true);
    lViewer->setSelectionBehavior(QAbstractItemView::SelectRows);
    lViewer->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lViewer->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lViewer->setIconSize(QSize(16, 16));
    lViewer->setToolTip(QStringLiteral("Drag & drop file(s) here and click \"Convert\" to convert them"));
    lViewer->setModel(model);
    QHeaderView *header = lViewer->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Fixed);
    header->setMinimumSectionSize(30);
    header->resizeSection(0, 30);
    header->resizeSection(1, 370);
    header->resizeSection(2, 370);
    box->addWidget(lViewer);

    pm1 = new QMenu(this);
    pm1->setObjectName(QStringLiteral("pm1"));
    BrowseFiles1 = pm1->addAction(QStringLiteral("Browse Files"));
    BrowseFiles1->setObjectName(QStringLiteral("BrowseFiles1"));
    pm1->addSeparator()->setObjectName(QStringLiteral("N1"));
    ViewSource1 = pm1->addAction(QStringLiteral("View  Source"));
    ViewSource1->setObjectName(QStringLiteral("ViewSource1"));
    OpenSource1 = pm1->addAction(QStringLiteral("Open Source"));
    OpenSource1->setObjectName(QStringLiteral("OpenSource1"));
    pm1->addSeparator()->setObjectName(QStringLiteral("N2"));
    ViewOutput1 = pm1->addAction(QStringLiteral("View  Output"));
    ViewOutput1->setObjectName(QStringLiteral("ViewOutput1"));
    pm1->addSeparator()->setObjectName(QStringLiteral("N3"));
    ExportList1 = pm1->addAction(QStringLiteral("Export the List"));
    ExportList1->setObjectName(QStringLiteral("ExportList1"));
    connect(BrowseFiles1, &QAction::triggered, this, [this] { guarded([this] { bSourceFileClick(); }); });
    connect(ViewSource1, &QAction::triggered, this, [this] { guarded([this] { ViewSource1Click(); }); });
    connect(OpenSource1, &QAction::triggered, this, [this] { guarded([this] { OpenSource1Click(); }); });
    connect(ViewOutput1, &QAction::triggered, aView, &QAction::trigger);
    connect(ExportList1, &QAction::triggered, this, [this] { guarded([this] { ExportList1Click(); }); });
    connect(pm1, &QMenu::aboutToShow, this, &TkvFrmMain::pm1Popup);
    lViewer->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lViewer, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { pm1->popup(lViewer->viewport()->mapToGlobal(pos)); });
}

void TkvFrmMain::carry(QToolButton *button, QAction *action)
{
    // A button carries one action at a time: its caption, hint, enabled state and visibility.
    const int slot = button == bCreate ? 0 : button == bSearchConvert ? 1 : -1;
    if (slot >= 0) {
        for (const auto &c : carried[slot])
            disconnect(c);
        carried[slot].clear();
    }
    if (QAction *old = button->defaultAction())
        button->removeAction(old);
    button->setDefaultAction(action);
    button->setVisible(action->isVisible());
    auto connection = connect(action, &QAction::changed, button, [button, action] {
        if (button->defaultAction() == action)
            button->setVisible(action->isVisible());
    });
    if (slot >= 0)
        carried[slot].push_back(connection);
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
    if (Shown)
        return;
    guarded([this] { AutoRun(); });
    Shown = true;
}

void TkvFrmMain::UpdateCaption()
{
    const QString title = Project ? Project->Title : QString();
    const QString file = Project && !Project->ProjectFile.isEmpty() ? Project->ProjectFile : QStringLiteral("None");
    setWindowTitle(title + QStringLiteral(" - ") + file);
}

void TkvFrmMain::SetDefaultTarget(const QString &folder)
{
    // The "folder" of a web address is no place to write to: it would become a relative folder named
    // after the address's scheme and host. The target then stays for the user to choose.
    if (folder.startsWith(QLatin1String("http"), Qt::CaseInsensitive) || folder.contains(QLatin1String("://")))
        return;
    if (Project && Project->TargetFollowsSource && eTarget->text().isEmpty())
        eTarget->setText(folder);
}

void TkvFrmMain::AddSourceFile(const QString &path)
{
    SetDefaultTarget(TkvPath::FolderPart(path));
    if (Batch)
        Batch->AddSingleFile(path);
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
        edit->setText(paths[0]);
        SetDefaultTarget(TkvPath::FolderPart(paths[0]));
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

void TkvFrmMain::aUpdateExecute()
{
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
        if (Info)
            Info->HandleAppException(QString::fromUtf8(e.what()));
        StatusBar->showMessage(QString::fromUtf8(e.what()), 10000);
    }
}
