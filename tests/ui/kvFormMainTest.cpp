#include "windowTestSupport.h"

#include "kvUiChooser.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

namespace {

using MainWindowTest = WindowTest;

TEST_F(MainWindowTest, StartsWithTheStartProjectInItsBoundControls)
{
    write(Project->DefaultProjectPath(), "Source=/web/*.htm?\r\nSubdir=TRUE\r\neTarget.Text=/out/\r\n");
    TkvFrmMain *w = open();
    EXPECT_EQ(Child<QLineEdit>(w, "eSource")->text(), QStringLiteral("/web/*.htm?"));
    EXPECT_TRUE(Child<QCheckBox>(w, "cSubdir")->isChecked());
    EXPECT_EQ(Child<QLineEdit>(w, "eTarget")->text(), QStringLiteral("/out/"));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Batch WEB2ARC Converter - ") + Project->DefaultProjectPath());
    for (QWidget *bound : {static_cast<QWidget *>(Child<QLineEdit>(w, "eSource")),
                           static_cast<QWidget *>(Child<QCheckBox>(w, "cSubdir")),
                           static_cast<QWidget *>(Child<QLineEdit>(w, "eTarget"))}) {
        EXPECT_TRUE(bound->toolTip().isEmpty()) << bound->objectName().toStdString();
        EXPECT_FALSE(bound->property("hint").toString().isEmpty());
    }
    EXPECT_EQ(Child<QLineEdit>(w, "eSource")->property("hint").toString(), QStringLiteral("Text"));
    EXPECT_EQ(Child<QCheckBox>(w, "cSubdir")->property("hint").toString(), QStringLiteral("Checked"));

    // New empties the controls and the caption says there is no project file.
    Child<QAction>(w, "aNew")->trigger();
    EXPECT_TRUE(Child<QLineEdit>(w, "eSource")->text().isEmpty());
    EXPECT_FALSE(Child<QCheckBox>(w, "cSubdir")->isChecked());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Batch WEB2ARC Converter - None"));
}

TEST_F(MainWindowTest, LayoutHasTheControlsTheCommandsNeed)
{
    TkvFrmMain *w = open();
    w->show();
    for (const char *name :
         {"ToolBar",    "tbOpen",     "tbNew",   "tbConfig", "tbSave",  "tbSaveAs",       "tbUpdate", "tbHelp",
          "tbHomePage", "tbSupports", "tbAbout", "pSource",  "pTarget", "eSource",        "bSource",  "bSourceFile",
          "cSubdir",    "bSearch",    "eTarget", "bTarget",  "bView",   "bSearchConvert", "bCreate",  "lViewer"})
        EXPECT_NE(w->findChild<QWidget *>(QLatin1String(name)), nullptr) << name;
    EXPECT_EQ(Child<QToolButton>(w, "tbOpen")->menu(), Child<QMenu>(w, "pm2"));
    EXPECT_EQ(Child<QToolButton>(w, "tbOpen")->popupMode(), QToolButton::MenuButtonPopup);
    EXPECT_TRUE(Child<QToolButton>(w, "bSearchConvert")->isHidden());
    EXPECT_FALSE(Child<QToolButton>(w, "bCreate")->isHidden());
    EXPECT_EQ(Child<QToolButton>(w, "bCreate")->text(), QStringLiteral("Convert"));
    QHeaderView *header = Child<QTreeView>(w, "lViewer")->header();
    EXPECT_EQ(w->Model()->columnCount(), 3);
    EXPECT_EQ(header->sectionSize(0), 30);
    EXPECT_EQ(header->sectionSize(1), 370);
    EXPECT_EQ(Child<QTreeView>(w, "lViewer")->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(Child<QTreeView>(w, "lViewer")->editTriggers(), QAbstractItemView::NoEditTriggers);
    QStringList menu;
    for (QAction *a : Child<QMenu>(w, "pm1")->actions())
        menu << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(menu, (QStringList{"Browse Files", "-", "View  Source", "Open Source", "Open Archive", "-", "View  Output",
                                 "-", "Export the List"}));
}

TEST_F(MainWindowTest, EditsAndTheResultColumnTakeTheWidthTheWindowGives)
{
    TkvFrmMain *w = open();
    w->show();
    QHeaderView *header = Child<QTreeView>(w, "lViewer")->header();
    struct Seen
    {
        int source, target, search, create, subdir, columns, viewport, result;
    };
    auto at = [&](int width) {
        w->resize(width, 600);
        QApplication::processEvents();
        const auto rightGap = [](QWidget *b) { return b->parentWidget()->width() - b->geometry().right(); };
        return Seen{Child<QLineEdit>(w, "eSource")->width(),
                    Child<QLineEdit>(w, "eTarget")->width(),
                    rightGap(Child<QToolButton>(w, "bSearch")),
                    rightGap(Child<QToolButton>(w, "bCreate")),
                    rightGap(Child<QCheckBox>(w, "cSubdir")),
                    header->sectionSize(0) + header->sectionSize(1) + header->sectionSize(2),
                    Child<QTreeView>(w, "lViewer")->viewport()->width(),
                    header->sectionSize(2)};
    };
    const Seen narrow = at(800);
    const Seen wide = at(1600);
    // The boxes grow by what the window grows; the buttons keep their place at the right edge.
    EXPECT_EQ(wide.source - narrow.source, 800);
    EXPECT_EQ(wide.target - narrow.target, 800);
    EXPECT_EQ(wide.search, narrow.search);
    EXPECT_EQ(wide.create, narrow.create);
    EXPECT_EQ(wide.subdir, narrow.subdir);
    EXPECT_LT(Child<QLineEdit>(w, "eSource")->geometry().right(), Child<QPushButton>(w, "bSource")->x());
    // The columns fill the list at either width: "Result" takes the rest.
    EXPECT_EQ(narrow.columns, narrow.viewport);
    EXPECT_EQ(wide.columns, wide.viewport);
    EXPECT_GT(wide.result, narrow.result);

    // A width the user gives "File Name" stays when the window changes.
    header->resizeSection(1, 500);
    const Seen again = at(1200);
    EXPECT_EQ(header->sectionSize(1), 500);
    EXPECT_EQ(again.columns, again.viewport);

    // The Stop button that a run shows does not move the others.
    const QRect create = Child<QToolButton>(w, "bCreate")->geometry();
    const QRect view = Child<QToolButton>(w, "bView")->geometry();
    Child<QToolButton>(w, "bSearchConvert")->setVisible(true);
    QApplication::processEvents();
    EXPECT_EQ(Child<QToolButton>(w, "bCreate")->geometry(), create);
    EXPECT_EQ(Child<QToolButton>(w, "bView")->geometry(), view);
}

TEST_F(MainWindowTest, FolderChoosersAddTheMaskAndTheSeparatorAlsoWhenCancelled)
{
    TkvFrmMain *w = open();
    Child<QPushButton>(w, "bSource")->click(); // cancelled with an empty Source
    EXPECT_EQ(Child<QLineEdit>(w, "eSource")->text(), QStringLiteral("/*.htm?"));
    EXPECT_EQ(Child<QLineEdit>(w, "eTarget")->text(), QStringLiteral("/"));
    Child<QLineEdit>(w, "eTarget")->clear();
    Child<QPushButton>(w, "bTarget")->click(); // cancelled with an empty Target
    EXPECT_EQ(Child<QLineEdit>(w, "eTarget")->text(), QStringLiteral("/"));

    dialogs->answers.push_back({QStringLiteral("/web/site")});
    Child<QLineEdit>(w, "eSource")->setText(QStringLiteral("/start/*.htm?"));
    Child<QPushButton>(w, "bSource")->click();
    EXPECT_EQ(dialogs->requests.back().folder, QStringLiteral("/start/"));
    EXPECT_EQ(Child<QLineEdit>(w, "eSource")->text(), QStringLiteral("/web/site/*.htm?"));
    EXPECT_EQ(Child<QLineEdit>(w, "eTarget")->text(), QStringLiteral("/")); // a filled Target stays
    dialogs->answers.push_back({QStringLiteral("/out")});
    Child<QPushButton>(w, "bTarget")->click();
    EXPECT_EQ(dialogs->requests.back().folder, QStringLiteral("/"));
    EXPECT_EQ(Child<QLineEdit>(w, "eTarget")->text(), QStringLiteral("/out/"));
    EXPECT_EQ(TkvUiChooser::RememberedFolder(), QStringLiteral("/"));
}

TEST_F(MainWindowTest, ChosenFilesBecomeTheRowsAndOneFileTheSource)
{
    TkvFrmMain *w = open();
    Child<QLineEdit>(w, "eSource")->setText(QStringLiteral("/web/*.htm?"));
    dialogs->answers.push_back({QStringLiteral("/web/a.htm"), QStringLiteral("/web/b.htm")});
    Child<QPushButton>(w, "bSourceFile")->click();
    w->Model()->Flush();
    EXPECT_EQ(Child<QLineEdit>(w, "eSource")->text(), QStringLiteral("/web/*.htm?"));
    EXPECT_EQ(rowsText(), (QStringList{"/web/a.htm", "/web/b.htm"}));
    EXPECT_EQ(dialogs->requests.back().fileName, QStringLiteral("*.htm*"));
    EXPECT_EQ(dialogs->requests.back().kind, TkvDialogRequest::OpenFiles);

    dialogs->answers.push_back({QStringLiteral("/web/c.htm")});
    QTest::mouseDClick(Child<QLineEdit>(w, "eSource"), Qt::LeftButton);
    w->Model()->Flush();
    EXPECT_EQ(Child<QLineEdit>(w, "eSource")->text(), QStringLiteral("/web/c.htm"));
    EXPECT_EQ(rowsText(), QStringList{"/web/c.htm"});

    Child<QPushButton>(w, "bSourceFile")->click(); // cancelled: nothing changes
    w->Model()->Flush();
    EXPECT_EQ(rowsText(), QStringList{"/web/c.htm"});
}

TEST_F(MainWindowTest, DropsOpenAProjectFillAnEditOrQueueFiles)
{
    const QString project = path(QStringLiteral("dropped.batch-web2arc"));
    write(project, "Source=/dropped/*.htm?\r\nTarget=/dropped-out/\r\n");
    TkvFrmMain *w = open();

    EXPECT_TRUE(w->DropFiles(Child<QTreeView>(w, "lViewer")->viewport(), {project}));
    EXPECT_EQ(Project->ProjectFile, project);
    EXPECT_EQ(Child<QLineEdit>(w, "eSource")->text(), QStringLiteral("/dropped/*.htm?"));
    EXPECT_TRUE(w->windowTitle().endsWith(project));

    Child<QLineEdit>(w, "eTarget")->clear();
    EXPECT_TRUE(
        w->DropFiles(Child<QLineEdit>(w, "eSource"), {QStringLiteral("/x/one.htm"), QStringLiteral("/y/two.htm")}));
    EXPECT_EQ(Child<QLineEdit>(w, "eSource")->text(), QStringLiteral("/x/one.htm"));
    EXPECT_EQ(Child<QLineEdit>(w, "eTarget")->text(), QStringLiteral("/x/"));

    // With other files a project file is an ordinary path.
    EXPECT_TRUE(w->DropFiles(Child<QTreeView>(w, "lViewer"), {project, QStringLiteral("/x/one.htm")}));
    w->Model()->Flush();
    EXPECT_EQ(rowsText(), (QStringList{project, "/x/one.htm"}));

    EXPECT_FALSE(w->DropFiles(Child<QToolBar>(w, "ToolBar"), {QStringLiteral("/x/one.htm")}));
    EXPECT_FALSE(w->DropFiles(Child<QPushButton>(w, "bSource"), {QStringLiteral("/x/one.htm")}));
    EXPECT_FALSE(w->DropFiles(Child<QFrame>(w, "pTarget"), {QStringLiteral("/x/one.htm")}));
    EXPECT_EQ(Child<QLineEdit>(w, "eSource")->text(), QStringLiteral("/x/one.htm"));

    // A real drop event over the Target edit.
    w->show();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/z/folder"))});
    const QPoint at = Child<QLineEdit>(w, "eTarget")->mapTo(w, QPoint(5, 5));
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QApplication::sendEvent(w, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(Child<QLineEdit>(w, "eTarget")->text(), QStringLiteral("/z/folder"));
}

TEST_F(MainWindowTest, RecentProjectsMenuDisablesMissingFilesAndOpensWithoutADialog)
{
    const QString kept = path(QStringLiteral("kept & safe.batch-web2arc"));
    write(kept, "Source=/kept/*.htm?\r\n");
    Project->RecentFiles = {path(QStringLiteral("gone.batch-web2arc")), kept};
    TkvFrmMain *w = open();
    w->pm2Popup();
    ASSERT_EQ(Child<QMenu>(w, "pm2")->actions().size(), 2);
    EXPECT_FALSE(Child<QMenu>(w, "pm2")->actions()[0]->isEnabled());
    EXPECT_TRUE(Child<QMenu>(w, "pm2")->actions()[1]->isEnabled());
    EXPECT_EQ(Child<QMenu>(w, "pm2")->actions()[1]->iconText(), kept); // what the menu shows
    Child<QMenu>(w, "pm2")->actions()[1]->trigger();
    EXPECT_EQ(Project->ProjectFile, kept);
    EXPECT_EQ(Child<QLineEdit>(w, "eSource")->text(), QStringLiteral("/kept/*.htm?"));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Batch WEB2ARC Converter - ") + kept);
    EXPECT_TRUE(dialogs->requests.empty());
}

TEST_F(MainWindowTest, InformationCommandsOpenTheirLinks)
{
    TkvFrmMain *w = open();
    Child<QAction>(w, "aSupports")->trigger();
    EXPECT_TRUE(Info->LastLink.startsWith(QStringLiteral("mailto:"))) << Info->LastLink.toStdString();
    Child<QAction>(w, "aUpdate")->trigger();
    EXPECT_TRUE(Info->LastLink.contains(QStringLiteral("download"))) << Info->LastLink.toStdString();
    Child<QAction>(w, "aHomePage")->trigger();
    EXPECT_FALSE(Info->LastLink.contains(QStringLiteral("download")));
    EXPECT_EQ(counter(QStringLiteral("H")), QString());
    Child<QAction>(w, "aHelp")->trigger();
    EXPECT_EQ(counter(QStringLiteral("H")), QStringLiteral("1"));
    EXPECT_EQ(opened->size(), 4);

    // View opens the target folder; with no target it only focuses the field.
    Child<QAction>(w, "aView")->trigger();
    EXPECT_EQ(opened->size(), 4);
    Child<QLineEdit>(w, "eTarget")->setText(QStringLiteral("/out/"));
    Child<QAction>(w, "aView")->trigger();
    EXPECT_EQ(opened->back(), QStringLiteral("/out/"));
}

TEST_F(MainWindowTest, SourceCommandsOpenTheSelectedRowsFileOrFolder)
{
    TkvFrmMain *w = open();
    w->DropFiles(Child<QTreeView>(w, "lViewer"), {QStringLiteral("/web/a.htm"), QStringLiteral("/web/sub/b.htm")});
    w->Model()->Flush();
    w->pm1Popup();
    EXPECT_FALSE(Child<QAction>(w, "OpenSource1")->isEnabled());
    EXPECT_FALSE(Child<QAction>(w, "ViewSource1")->isEnabled());
    Child<QTreeView>(w, "lViewer")
        ->selectionModel()
        ->select(w->Model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    w->pm1Popup();
    EXPECT_TRUE(Child<QAction>(w, "OpenSource1")->isEnabled());
    Child<QAction>(w, "OpenSource1")->trigger();
    EXPECT_EQ(opened->back(), QStringLiteral("/web/sub/b.htm"));
    Child<QAction>(w, "ViewSource1")->trigger();
    EXPECT_EQ(opened->back(), QStringLiteral("/web/sub/"));
}

} // namespace
