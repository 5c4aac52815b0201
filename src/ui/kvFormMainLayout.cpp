// Construction of the main window's controls: actions, tool bar, source and target rows, result list
// and its menu, and the buttons that carry an action.
#include "kvFormMain.h"

#include "kvResultModel.h"

#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

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

// The source and target rows: every control is this high, the labels stand right-aligned in the
// first column, and the buttons keep this distance from the right edge.
constexpr int kControlHeight = 21;
constexpr int kLabelColumn = 50;
constexpr int kLabelGap = 4;
constexpr int kRowRightMargin = 8;

/// A bound control: the property name in "hint" (never shown), the binding cache mark in "tag".
void markBound(QWidget *control, const char *property)
{
    control->setProperty("hint", QLatin1String(property));
    control->setProperty("tag", -1);
}

} // namespace

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

    // Each row: its label right-aligned in the first 50 pixels, the edit taking every pixel the
    // buttons leave, the buttons at the right edge with the gaps between them kept.
    auto row = [](QFrame *panel, int top) {
        auto *line = new QHBoxLayout(panel);
        line->setContentsMargins(0, top, kRowRightMargin, panel->height() - top - kControlHeight);
        line->setSpacing(0);
        return line;
    };
    auto edit = [this](QFrame *panel, QHBoxLayout *line, const char *name, const QString &caption, QLabel *&label) {
        label = new QLabel(caption, panel);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setMinimumWidth(kLabelColumn - kLabelGap);
        auto *e = new QLineEdit(panel);
        e->setObjectName(QLatin1String(name));
        e->setFixedHeight(kControlHeight);
        e->setMinimumWidth(120);
        e->setAcceptDrops(false); // drops go to the window, which knows what a dropped path means
        e->installEventFilter(this);
        markBound(e, "Text");
        label->setBuddy(e);
        line->addWidget(label);
        line->addSpacing(kLabelGap);
        line->addWidget(e, 1);
        return e;
    };
    auto button = [](QFrame *panel, QHBoxLayout *line, const char *name, const QString &caption, int width,
                     const QString &hint) {
        auto *b = new QPushButton(caption, panel);
        b->setObjectName(QLatin1String(name));
        b->setFixedSize(width, kControlHeight);
        b->setToolTip(hint);
        line->addWidget(b);
        return b;
    };
    auto actionButton = [this](QFrame *panel, QHBoxLayout *line, const char *name, int width, QAction *action) {
        auto *b = new QToolButton(panel);
        b->setObjectName(QLatin1String(name));
        b->setFixedSize(width, kControlHeight);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        // A hidden button keeps its place, so the others do not move when a run shows it.
        QSizePolicy policy = b->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        b->setSizePolicy(policy);
        carry(b, action);
        line->addWidget(b);
        return b;
    };

    QHBoxLayout *sourceRow = row(pSource, 10);
    eSource = edit(pSource, sourceRow, "eSource", QStringLiteral("&Source"), eSourceLabel);
    bSource = button(pSource, sourceRow, "bSource", QStringLiteral("Folder"), 38,
                     QStringLiteral("Choose a folder and click \"Search\" to list files"));
    bSourceFile = button(pSource, sourceRow, "bSourceFile", QStringLiteral("Files"), 38,
                         QStringLiteral("Choose file(s) and click \"Convert\" to convert them"));
    sourceRow->addSpacing(4);
    cSubdir = new QCheckBox(QStringLiteral("Su&b folders"), pSource);
    cSubdir->setObjectName(QStringLiteral("cSubdir"));
    cSubdir->setLayoutDirection(Qt::RightToLeft); // text left of the box
    // Wider than the classic 72 pixels: the label must fit in the desktop's sans-serif font.
    cSubdir->setFixedSize(100, 17);
    markBound(cSubdir, "Checked");
    sourceRow->addWidget(cSubdir, 0, Qt::AlignVCenter);
    sourceRow->addSpacing(4);
    bSearch = actionButton(pSource, sourceRow, "bSearch", 76, aSearch);

    QHBoxLayout *targetRow = row(pTarget, 6);
    eTarget = edit(pTarget, targetRow, "eTarget", QStringLiteral("&Target"), eTargetLabel);
    bTarget = button(pTarget, targetRow, "bTarget", QStringLiteral("Folder"), 38,
                     QStringLiteral("Choose a target folder to save the converted file(s)"));
    bView = actionButton(pTarget, targetRow, "bView", 38, aView);
    targetRow->addSpacing(28);
    bSearchConvert = actionButton(pTarget, targetRow, "bSearchConvert", 76, aSearchConvert);
    targetRow->addSpacing(4);
    bCreate = actionButton(pTarget, targetRow, "bCreate", 76, aConvert);

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
    // "Result" takes whatever width the other two leave, so long error texts show as far as the
    // window allows; a width the user drags stays while the window is open.
    QHeaderView *header = lViewer->header();
    header->setStretchLastSection(true);
    header->setSectionResizeMode(0, QHeaderView::Fixed);
    header->setMinimumSectionSize(30);
    header->resizeSection(0, 30);
    header->resizeSection(1, 370);
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
    OpenArchive1 = pm1->addAction(QStringLiteral("Open Archive"));
    OpenArchive1->setObjectName(QStringLiteral("OpenArchive1"));
    pm1->addSeparator()->setObjectName(QStringLiteral("N2"));
    ViewOutput1 = pm1->addAction(QStringLiteral("View  Output"));
    ViewOutput1->setObjectName(QStringLiteral("ViewOutput1"));
    pm1->addSeparator()->setObjectName(QStringLiteral("N3"));
    ExportList1 = pm1->addAction(QStringLiteral("Export the List"));
    ExportList1->setObjectName(QStringLiteral("ExportList1"));
    connect(BrowseFiles1, &QAction::triggered, this, [this] { guarded([this] { bSourceFileClick(); }); });
    connect(ViewSource1, &QAction::triggered, this, [this] { guarded([this] { ViewSource1Click(); }); });
    connect(OpenSource1, &QAction::triggered, this, [this] { guarded([this] { OpenSource1Click(); }); });
    connect(OpenArchive1, &QAction::triggered, this, [this] { guarded([this] { OpenArchive1Click(); }); });
    connect(lViewer, &QTreeView::doubleClicked, this,
            [this](const QModelIndex &index) { guarded([this, index] { OpenArchiveAt(index); }); });
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
