#include "kvUiChooser.h"

#include "uiTestSupport.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

namespace {

struct ChooserTest : ::testing::Test
{
    std::shared_ptr<TkvScriptedDialogs::Shared> script = std::make_shared<TkvScriptedDialogs::Shared>();
    TkvUiChooser chooser{std::make_unique<TkvScriptedDialogs>(script)};
    const QString htmlFilter = QStringLiteral("HTML File (*.htm;*.html)|*.htm;*.html");

    void TearDown() override { TkvUiChooser::ClearRememberedFolder(); }
};

TEST_F(ChooserTest, FiltersBecomeQtNameFilters)
{
    EXPECT_EQ(TkvUiChooser::ToNameFilters(htmlFilter), QStringList{QStringLiteral("HTML File (*.htm *.html)")});
    EXPECT_EQ(
        TkvUiChooser::ToNameFilters(QStringLiteral("Batch WEB2ARC Project|*.batch-web2arc|Log File|*.log")),
        (QStringList{QStringLiteral("Batch WEB2ARC Project (*.batch-web2arc)"), QStringLiteral("Log File (*.log)")}));
    EXPECT_TRUE(TkvUiChooser::ToNameFilters(QString()).isEmpty());
}

TEST_F(ChooserTest, OpenOpensInTheFolderWithTheMaskAsPatternAndListsEveryChosenFile)
{
    script->answers.push_back({QStringLiteral("/pages/a.htm"), QStringLiteral("/pages/b b.html")});
    QString path = QStringLiteral("/pages/*.htm?");
    ASSERT_TRUE(chooser.OpenFileDialog(htmlFilter, path, true));
    EXPECT_EQ(path, QStringLiteral("/pages/a.htm\r\n/pages/b b.html\r\n"));
    ASSERT_EQ(script->requests.size(), 1u);
    const TkvDialogRequest &r = script->requests[0];
    EXPECT_EQ(r.kind, TkvDialogRequest::OpenFiles);
    EXPECT_EQ(r.folder, QStringLiteral("/pages/"));
    EXPECT_EQ(r.fileName, QStringLiteral("*.htm*"));
    EXPECT_EQ(r.nameFilters, QStringList{QStringLiteral("HTML File (*.htm *.html)")});

    // One file, single selection: just the path. A cancel leaves the text alone.
    script->answers.push_back({QStringLiteral("/p/x.batch-web2arc")});
    QString one = QStringLiteral("/p/old.batch-web2arc");
    ASSERT_TRUE(chooser.OpenFileDialog(htmlFilter, one, false));
    EXPECT_EQ(one, QStringLiteral("/p/x.batch-web2arc"));
    EXPECT_EQ(script->requests[1].kind, TkvDialogRequest::OpenFile);
    EXPECT_EQ(script->requests[1].fileName, QStringLiteral("old.batch-web2arc"));
    QString kept = QStringLiteral("/keep/*.htm?");
    EXPECT_FALSE(chooser.OpenFileDialog(htmlFilter, kept, true));
    EXPECT_EQ(kept, QStringLiteral("/keep/*.htm?"));
    QString empty;
    EXPECT_FALSE(chooser.OpenFileDialog(htmlFilter, empty, true));
    EXPECT_TRUE(script->requests.back().folder.isEmpty());
}

TEST_F(ChooserTest, SaveAlwaysEndsWithTheDefaultExtension)
{
    const QString filter = QStringLiteral("Batch WEB2ARC Project|*.batch-web2arc");
    script->answers.push_back({QStringLiteral("/p/new")});
    script->answers.push_back({QStringLiteral("/p/Mine.BATCH-WEB2ARC")});
    script->answers.push_back({QStringLiteral("/p/notes.txt")});
    QString path = QStringLiteral("/p/old.batch-web2arc");
    ASSERT_TRUE(chooser.SaveFileDialog(filter, QStringLiteral(".batch-web2arc"), path));
    EXPECT_EQ(path, QStringLiteral("/p/new.batch-web2arc"));
    const TkvDialogRequest &r = script->requests[0];
    EXPECT_EQ(r.kind, TkvDialogRequest::SaveFile);
    EXPECT_EQ(r.folder, QStringLiteral("/p/"));
    EXPECT_EQ(r.fileName, QStringLiteral("old.batch-web2arc"));
    EXPECT_EQ(r.defaultSuffix, QStringLiteral("batch-web2arc"));
    // The extension in another letter case is put right: only the exact one opens as a project.
    ASSERT_TRUE(chooser.SaveFileDialog(filter, QStringLiteral(".batch-web2arc"), path));
    EXPECT_EQ(path, QStringLiteral("/p/Mine.batch-web2arc"));
    ASSERT_TRUE(chooser.SaveFileDialog(filter, QStringLiteral(".batch-web2arc"), path));
    EXPECT_EQ(path, QStringLiteral("/p/notes.txt.batch-web2arc"));
    QString kept = QStringLiteral("/p/keep.log");
    EXPECT_FALSE(chooser.SaveFileDialog(QStringLiteral("Log File|*.log"), QStringLiteral(".log"), kept));
    EXPECT_EQ(kept, QStringLiteral("/p/keep.log"));
}

TEST_F(ChooserTest, BrowseForFolderRemembersItsStartAndReturnsItOnCancel)
{
    EXPECT_EQ(chooser.BrowseForFolder(QStringLiteral("/a/")), QStringLiteral("/a/"));
    EXPECT_EQ(script->requests[0].folder, QStringLiteral("/a/"));
    EXPECT_EQ(script->requests[0].kind, TkvDialogRequest::Folder);
    EXPECT_EQ(TkvUiChooser::RememberedFolder(), QStringLiteral("/a/"));
    EXPECT_EQ(chooser.BrowseForFolder(QString()), QString());
    EXPECT_TRUE(script->requests[1].folder.isEmpty());
    EXPECT_EQ(TkvUiChooser::RememberedFolder(), QStringLiteral("/a/")); // an empty start leaves it
    script->answers.push_back({QStringLiteral("/b/c")});
    EXPECT_EQ(chooser.BrowseForFolder(QStringLiteral("/a/")), QStringLiteral("/b/c"));
}

/// Finds the dialog the real seam shows and types `name` into its name box, then presses Enter.
void answerFileDialog(const QString &name)
{
    QTimer::singleShot(0, [name] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog) {
            answerFileDialog(name); // not up yet
            return;
        }
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (!edit) {
            dialog->reject(); // the test then fails on the empty answer
            return;
        }
        edit->setText(name);
        QTest::keyClick(edit, Qt::Key_Return);
    });
}

TEST(QtDialogsTest, SaveDialogPutsTheSuffixOnEveryTypedNameBeforeAcceptingIt)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TkvQtDialogs dialogs(nullptr);
    TkvDialogRequest request;
    request.kind = TkvDialogRequest::SaveFile;
    request.folder = dir.path();
    request.nameFilters = {QStringLiteral("Log File (*.log)")};
    request.defaultSuffix = QStringLiteral("log");
    answerFileDialog(QStringLiteral("result.txt")); // Qt alone would keep this name
    const QStringList chosen = dialogs.Ask(request);
    ASSERT_EQ(chosen.size(), 1);
    EXPECT_EQ(chosen[0], dir.filePath(QStringLiteral("result.txt.log")));
    answerFileDialog(QStringLiteral("result.LOG")); // the overwrite prompt must concern result.log
    const QStringList recased = dialogs.Ask(request);
    ASSERT_EQ(recased.size(), 1);
    EXPECT_EQ(recased[0], dir.filePath(QStringLiteral("result.log")));
}

} // namespace
