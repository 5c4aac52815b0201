#include "windowTestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QToolButton>
#include <QTreeView>

namespace {

using RunTest = WindowTest;

QString readAll(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QStringLiteral("<missing>");
}

TEST_F(RunTest, ConvertSearchesTheFolderAndShowsEveryOutcome)
{
    writePages();
    TkvFrmMain *w = open();
    Child<QLineEdit>(w, "eSource")->setText(pages + QStringLiteral("*.htm?"));
    Child<QLineEdit>(w, "eTarget")->setText(out.chopped(1)); // the run adds the separator
    Child<QAction>(w, "aConvert")->trigger();
    EXPECT_TRUE(w->IsRunning());
    EXPECT_EQ(Child<QToolButton>(w, "bCreate")->defaultAction(), Child<QAction>(w, "aPause"));
    EXPECT_EQ(Child<QToolButton>(w, "bSearchConvert")->defaultAction(), Child<QAction>(w, "aStop"));
    EXPECT_FALSE(Child<QToolButton>(w, "bSearchConvert")->isHidden());
    ASSERT_TRUE(waitIdle());

    EXPECT_EQ(Child<QLineEdit>(w, "eTarget")->text(), out);
    ASSERT_EQ(rowsText(), (QStringList{pages + "a.htm", pages + "b.html", pages + "bad.htm"}));
    const TkvResultModel &m = *w->Model();
    EXPECT_EQ(m.RowAt(0).Status, 1);
    EXPECT_EQ(m.RowAt(0).Result(), out + QStringLiteral("a.mht"));
    EXPECT_EQ(m.RowAt(1).Result(), out + QStringLiteral("b.mht"));
    EXPECT_EQ(m.RowAt(2).Status, 2);
    EXPECT_TRUE(m.RowAt(2).Result().startsWith(QStringLiteral("Cannot read")));
    EXPECT_TRUE(QFile::exists(out + QStringLiteral("a.mht")));
    EXPECT_FALSE(QFile::exists(out + QStringLiteral("sub/c.mht")));

    // Idle again: the buttons carry their own actions and the hidden Start.
    EXPECT_EQ(Child<QToolButton>(w, "bCreate")->defaultAction(), Child<QAction>(w, "aConvert"));
    EXPECT_EQ(Child<QToolButton>(w, "bSearchConvert")->defaultAction(), Child<QAction>(w, "aSearchConvert"));
    EXPECT_TRUE(Child<QToolButton>(w, "bSearchConvert")->isHidden());
    EXPECT_TRUE(Child<QAction>(w, "aSearch")->isEnabled());
    EXPECT_TRUE(Child<QAction>(w, "aConvert")->isEnabled());
    EXPECT_TRUE(Child<QAction>(w, "aNew")->isEnabled());

    EXPECT_EQ(counter(QStringLiteral("C")), QStringLiteral("1"));
    EXPECT_EQ(counter(QStringLiteral("A")), QStringLiteral("3"));
    EXPECT_EQ(counter(QStringLiteral("S")), QStringLiteral("2"));
    EXPECT_EQ(counter(QStringLiteral("F")), QStringLiteral("1"));
    // One failure report, carrying the failure text with its "?" escaped.
    ASSERT_EQ(opened->size(), 1);
    EXPECT_TRUE(Info->LastLink.contains(QStringLiteral("refused%3F")) ||
                Info->LastLink.contains(QStringLiteral("refused%253F")))
        << Info->LastLink.toStdString();
    EXPECT_TRUE(Info->LastLink.contains(QStringLiteral("err"))) << Info->LastLink.toStdString();
}

TEST_F(RunTest, SubfoldersKeepTheirPathBelowTheTargetAndACleanRunSendsNoReport)
{
    write(pages + QStringLiteral("a.htm"));
    write(pages + QStringLiteral("sub/c.htm"));
    TkvFrmMain *w = open();
    Child<QLineEdit>(w, "eSource")->setText(pages + QStringLiteral("*.htm?"));
    Child<QLineEdit>(w, "eTarget")->setText(out);
    Child<QCheckBox>(w, "cSubdir")->setChecked(true);
    Child<QAction>(w, "aSearchConvert")->trigger(); // Start: Search, then Convert
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(rowsText(), (QStringList{pages + "a.htm", pages + "sub/c.htm"}));
    EXPECT_EQ(w->Model()->RowAt(1).Result(), out + QStringLiteral("sub/c.mht"));
    EXPECT_TRUE(QFile::exists(out + QStringLiteral("sub/c.mht")));
    EXPECT_TRUE(opened->isEmpty());
    EXPECT_EQ(Project->GetOption(QStringLiteral("Subdir")), QStringLiteral("True")); // the run stored the controls
}

TEST_F(RunTest, PauseKeepsTheJobAndTheNextConvertGoesOnWithTheRest)
{
    for (int i = 0; i < 5; ++i)
        write(pages + QStringLiteral("p%1.htm").arg(i));
    TkvFrmMain *w = open();
    Child<QLineEdit>(w, "eSource")->setText(pages + QStringLiteral("*.htm?"));
    Child<QLineEdit>(w, "eTarget")->setText(out);
    gate.Limit(1);
    Child<QAction>(w, "aConvert")->trigger();
    // The worker converts p0, then waits at the gate with p1: pause, then let it finish p1.
    ASSERT_TRUE(WaitUntil([&] {
        w->Model()->Flush();
        return w->Model()->rowCount() == 5 && w->Model()->RowAt(0).Status == 1;
    }));
    TkvBatch *job = w->Job();
    Child<QAction>(w, "aPause")->trigger();
    EXPECT_FALSE(Child<QAction>(w, "aPause")->isEnabled());
    EXPECT_FALSE(Child<QAction>(w, "aStop")->isEnabled());
    gate.Open();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(w->Job(), job);
    ASSERT_EQ(w->Model()->rowCount(), 5);
    EXPECT_EQ(w->Model()->RowAt(1).Status, 1);
    for (int i = 2; i < 5; ++i)
        EXPECT_EQ(w->Model()->RowAt(i).Status, 0) << i;
    EXPECT_FALSE(QFile::exists(out + QStringLiteral("p2.mht")));
    EXPECT_TRUE(Child<QStatusBar>(w, "StatusBar")->currentMessage().startsWith(QStringLiteral("Paused")))
        << Child<QStatusBar>(w, "StatusBar")->currentMessage().toStdString();

    Child<QAction>(w, "aConvert")->trigger();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(w->Job(), job);
    ASSERT_EQ(w->Model()->rowCount(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(w->Model()->RowAt(i).Status, 1) << i;
    EXPECT_EQ(job->Successes, 5);
    EXPECT_EQ(counter(QStringLiteral("C")), QStringLiteral("2"));
}

TEST_F(RunTest, SearchSaysWhatItFoundAndARowOpensItsArchive)
{
    writePages();
    TkvFrmMain *w = open();
    Child<QLineEdit>(w, "eSource")->setText(pages.chopped(1)); // the folder itself, without a mask
    Child<QLineEdit>(w, "eTarget")->clear();
    Child<QAction>(w, "aSearch")->trigger();
    EXPECT_EQ(Child<QLineEdit>(w, "eSource")->text(), pages + QStringLiteral("*.htm?"));
    EXPECT_EQ(Child<QLineEdit>(w, "eTarget")->text(), pages); // the folder, not its parent
    ASSERT_TRUE(WaitUntil([&] { return Child<QStatusBar>(w, "StatusBar")->currentMessage() == QStringLiteral("3 pages found."); }))
        << Child<QStatusBar>(w, "StatusBar")->currentMessage().toStdString();

    Child<QLineEdit>(w, "eSource")->setText(pages + QStringLiteral("gone/*.htm?"));
    Child<QAction>(w, "aSearch")->trigger();
    ASSERT_TRUE(WaitUntil([&] { return Child<QStatusBar>(w, "StatusBar")->currentMessage().startsWith(QStringLiteral("no pages found")); }))
        << Child<QStatusBar>(w, "StatusBar")->currentMessage().toStdString();
    EXPECT_TRUE(Child<QStatusBar>(w, "StatusBar")->currentMessage().contains(QStringLiteral("does not exist")));

    Child<QLineEdit>(w, "eSource")->setText(pages + QStringLiteral("*.htm?"));
    Child<QLineEdit>(w, "eTarget")->setText(out);
    Child<QAction>(w, "aSearchConvert")->trigger();
    ASSERT_TRUE(waitIdle());
    opened->clear();
    emit Child<QTreeView>(w, "lViewer")->doubleClicked(w->Model()->index(0, 0));
    ASSERT_EQ(opened->size(), 1);
    EXPECT_EQ(opened->at(0), out + QStringLiteral("a.mht"));
    emit Child<QTreeView>(w, "lViewer")->doubleClicked(w->Model()->index(2, 0)); // the failed page has none
    EXPECT_EQ(opened->size(), 1);
    EXPECT_TRUE(Child<QStatusBar>(w, "StatusBar")->currentMessage().contains(QStringLiteral("no archive")));
}

TEST_F(RunTest, StopDropsTheJobAndTheNextConvertSearchesAfresh)
{
    for (int i = 0; i < 4; ++i)
        write(pages + QStringLiteral("p%1.htm").arg(i));
    TkvFrmMain *w = open();
    Child<QLineEdit>(w, "eSource")->setText(pages + QStringLiteral("*.htm?"));
    Child<QLineEdit>(w, "eTarget")->setText(out);
    gate.Limit(1);
    Child<QAction>(w, "aConvert")->trigger();
    ASSERT_TRUE(WaitUntil([&] {
        w->Model()->Flush();
        return w->Model()->rowCount() == 4 && w->Model()->RowAt(0).Status == 1;
    }));
    Child<QAction>(w, "aStop")->trigger();
    EXPECT_TRUE(w->StoppedByUser());
    gate.Open();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(w->Job(), nullptr);
    EXPECT_EQ(w->Model()->rowCount(), 4); // the rows stay until the next search

    write(pages + QStringLiteral("p4.htm"));
    Child<QAction>(w, "aConvert")->trigger();
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(w->Model()->rowCount(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(w->Model()->RowAt(i).Status, 1) << i;
    EXPECT_FALSE(w->StoppedByUser());
}

TEST_F(RunTest, ThreeConvertersFinishTheRunOnce)
{
    for (int i = 0; i < 12; ++i)
        write(pages + QStringLiteral("%1%2.htm").arg(i % 4 == 0 ? "bad" : "p").arg(i));
    Project->SetOption(QStringLiteral("ThreadsCount"), QStringLiteral("3"));
    TkvFrmMain *w = open();
    Child<QLineEdit>(w, "eSource")->setText(pages + QStringLiteral("*.htm?"));
    Child<QLineEdit>(w, "eTarget")->setText(out);
    gate.Limit(0);
    Child<QAction>(w, "aConvert")->trigger();
    EXPECT_EQ(w->ConvertorsRunning(), 3);
    gate.Open();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(w->ConvertorsRunning(), 0);
    ASSERT_EQ(w->Model()->rowCount(), 12);
    for (int i = 0; i < 12; ++i) {
        const TkvResultModel::Row &row = w->Model()->RowAt(i);
        EXPECT_EQ(row.Status, row.FileName.contains(QLatin1String("bad")) ? 2 : 1) << i;
    }
    EXPECT_EQ(counter(QStringLiteral("A")), QStringLiteral("12"));
    EXPECT_EQ(counter(QStringLiteral("S")), QStringLiteral("9"));
    EXPECT_EQ(counter(QStringLiteral("F")), QStringLiteral("3"));
    EXPECT_EQ(opened->size(), 1);
}

TEST_F(RunTest, FilesChosenAndConvertedOnceAreSearchedAgainByTheNextConvert)
{
    writePages();
    TkvFrmMain *w = open();
    Child<QLineEdit>(w, "eSource")->setText(pages + QStringLiteral("*.htm?"));
    dialogs->answers.push_back({pages + "a.htm", pages + "notes.txt"});
    Child<QPushButton>(w, "bSourceFile")->click();
    ASSERT_EQ(rowsText().size(), 0); // rows arrive through the event loop
    w->Model()->Flush();
    ASSERT_EQ(rowsText(), (QStringList{pages + "a.htm", pages + "notes.txt"}));
    EXPECT_EQ(Child<QLineEdit>(w, "eTarget")->text(), pages); // the target follows the source
    Child<QLineEdit>(w, "eTarget")->setText(out);
    Child<QAction>(w, "aConvert")->trigger();
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(QFile::exists(out + QStringLiteral("notes.mht"))); // chosen files skip the name test
    Child<QAction>(w, "aConvert")->trigger();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(rowsText(), (QStringList{pages + "a.htm", pages + "b.html", pages + "bad.htm"}));
}

TEST_F(RunTest, TargetIsCleanedBeforeTheRun)
{
    write(pages + QStringLiteral("a.htm"));
    TkvFrmMain *w = open();
    Child<QLineEdit>(w, "eSource")->setText(pages + QStringLiteral("*.htm?"));
    Child<QLineEdit>(w, "eTarget")->setText(out + QStringLiteral("*.mht"));
    Child<QAction>(w, "aConvert")->trigger();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(Child<QLineEdit>(w, "eTarget")->text(), out);
    EXPECT_TRUE(QFile::exists(out + QStringLiteral("a.mht")));

    // A target naming an existing file is cut back to the file's folder.
    Child<QLineEdit>(w, "eTarget")->setText(out + QStringLiteral("a.mht"));
    Child<QAction>(w, "aConvert")->trigger();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(Child<QLineEdit>(w, "eTarget")->text(), out);

    // Nothing left after the clean-up: no run.
    Child<QLineEdit>(w, "eTarget")->setText(QStringLiteral("*"));
    Child<QAction>(w, "aConvert")->trigger();
    EXPECT_FALSE(w->IsRunning());
    EXPECT_EQ(counter(QStringLiteral("C")), QStringLiteral("2"));
}

TEST_F(RunTest, SearchFailureGoesToTheErrorHandlerAndStartDoesNotConvert)
{
    write(pages + QStringLiteral("a.htm"));
    TkvFrmMain *w = open();
    Child<QLineEdit>(w, "eSource")->setText(pages + QStringLiteral("*.htm?"));
    Child<QAction>(w, "aSearchConvert")->trigger(); // empty target: the search cannot start
    EXPECT_FALSE(w->IsRunning());
    w->Model()->Flush();
    EXPECT_EQ(w->Model()->rowCount(), 0);
    EXPECT_EQ(counter(QStringLiteral("E")), QStringLiteral("1"));
    EXPECT_EQ(counter(QStringLiteral("C")), QString());

    EXPECT_EQ(w->Job(), nullptr); // a job whose search never started is not kept

    // With a target typed in, Convert searches again and converts.
    Child<QLineEdit>(w, "eTarget")->setText(out);
    Child<QAction>(w, "aConvert")->trigger();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(rowsText(), QStringList{pages + QStringLiteral("a.htm")});
    EXPECT_TRUE(QFile::exists(out + QStringLiteral("a.mht")));

    TkvBatch *job = w->Job();
    Child<QLineEdit>(w, "eSource")->clear();
    Child<QAction>(w, "aSearch")->trigger(); // empty source: nothing happens, no error
    EXPECT_EQ(w->Job(), job);
    EXPECT_EQ(counter(QStringLiteral("E")), QStringLiteral("1"));
}

TEST_F(RunTest, CommandsThatWouldReplaceTheJobWaitForTheRunToEnd)
{
    for (int i = 0; i < 3; ++i)
        write(pages + QStringLiteral("p%1.htm").arg(i));
    TkvFrmMain *w = open();
    Child<QLineEdit>(w, "eSource")->setText(pages + QStringLiteral("*.htm?"));
    Child<QLineEdit>(w, "eTarget")->setText(out);
    gate.Limit(0);
    Child<QAction>(w, "aConvert")->trigger();
    TkvBatch *job = w->Job();
    EXPECT_FALSE(Child<QAction>(w, "aOpen")->isEnabled());
    EXPECT_FALSE(Child<QAction>(w, "aNew")->isEnabled());
    EXPECT_FALSE(Child<QAction>(w, "aConfig")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(w, "bSourceFile")->isEnabled());
    EXPECT_FALSE(Child<QAction>(w, "BrowseFiles1")->isEnabled());
    EXPECT_FALSE(w->DropFiles(Child<QTreeView>(w, "lViewer"), {pages + "p0.htm"}));
    w->bSourceFileClick(); // a double-click in Source lands here too
    w->aNewExecute();
    EXPECT_EQ(w->Job(), job);
    EXPECT_EQ(Child<QLineEdit>(w, "eSource")->text(), pages + QStringLiteral("*.htm?"));
    EXPECT_TRUE(dialogs->requests.empty());
    EXPECT_FALSE(Child<QStatusBar>(w, "StatusBar")->currentMessage().isEmpty());
    gate.Open();
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(Child<QAction>(w, "aOpen")->isEnabled());
    EXPECT_TRUE(Child<QPushButton>(w, "bSourceFile")->isEnabled());
}

TEST_F(RunTest, ExportWritesEveryRowAndABadFileGoesToTheErrorHandler)
{
    writePages();
    TkvFrmMain *w = open();
    const QString list = path(QStringLiteral("list"));
    dialogs->answers.push_back({list});
    Child<QAction>(w, "ExportList1")->trigger(); // empty list: empty file
    EXPECT_EQ(readAll(list + QStringLiteral(".log")), QString());
    EXPECT_EQ(dialogs->requests.back().defaultSuffix, QStringLiteral("log"));

    Child<QLineEdit>(w, "eSource")->setText(pages + QStringLiteral("*.htm?"));
    Child<QLineEdit>(w, "eTarget")->setText(out);
    gate.Limit(1);
    Child<QAction>(w, "aConvert")->trigger();
    ASSERT_TRUE(WaitUntil([&] {
        w->Model()->Flush();
        return w->Model()->rowCount() == 3 && w->Model()->RowAt(0).Status == 1;
    }));
    Child<QTreeView>(w, "lViewer")->selectAll();
    dialogs->answers.push_back({list + QStringLiteral(".log")});
    Child<QAction>(w, "ExportList1")->trigger();
    EXPECT_EQ(readAll(list + QStringLiteral(".log")),
              QStringLiteral("[Success] => %1a.htm => %2a.mht\r\n[Running] => %1b.html => \r\n"
                             "[Running] => %1bad.htm => \r\n")
                  .arg(pages, out));
    gate.Open();
    ASSERT_TRUE(waitIdle());

    // A path below a regular file cannot be created: the error handler gets it, nothing is written.
    dialogs->answers.push_back({pages + QStringLiteral("a.htm/list.log")});
    Child<QAction>(w, "ExportList1")->trigger();
    EXPECT_EQ(counter(QStringLiteral("E")), QStringLiteral("1"));
    EXPECT_TRUE(Info->LastLink.contains(QStringLiteral("list.log"))) << Info->LastLink.toStdString();
}

TEST_F(RunTest, RunAndCloseConvertsWritesTheLogAndCloses)
{
    writePages();
    const QString log = path(QStringLiteral("run.log"));
    write(log, QByteArray(5000, 'x')); // replaced, not appended to
    Project->SetOption(QStringLiteral("Source"), pages + QStringLiteral("*.htm?"));
    Project->SetOption(QStringLiteral("Target"), out);
    Project->SetOption(QStringLiteral("RunAndClose"), QStringLiteral("True"));
    Project->SetOption(QStringLiteral("LogFile"), log);
    TkvFrmMain *w = open();
    Project->OptionsToControls();
    QSignalSpy closed(w, &TkvFrmMain::Closed);
    w->show();
    ASSERT_TRUE(WaitUntil([&] { return closed.count() == 1; }));
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(readAll(log),
              QStringLiteral("[Success] => %1a.htm => %2a.mht\r\n[Success] => %1b.html => %2b.mht\r\n"
                             "[Failure] => %1bad.htm => Cannot read \"%1bad.htm\": the page is refused?\r\n")
                  .arg(pages, out));
}

TEST_F(RunTest, DaemonRepeatsUntilStopped)
{
    write(pages + QStringLiteral("a.htm"));
    const QString log = path(QStringLiteral("daemon.log"));
    Project->SetOption(QStringLiteral("Source"), pages + QStringLiteral("*.htm?"));
    Project->SetOption(QStringLiteral("Target"), out);
    Project->SetOption(QStringLiteral("Daemon"), QStringLiteral("50"));
    Project->SetOption(QStringLiteral("LogFile"), log);
    TkvFrmMain *w = open();
    Project->OptionsToControls();
    QSignalSpy closed(w, &TkvFrmMain::Closed);
    w->show();
    ASSERT_TRUE(WaitUntil([&] { return counter(QStringLiteral("C")) == QStringLiteral("2"); }));
    EXPECT_EQ(readAll(log), QStringLiteral("[Success] => %1a.htm => %2a.mht\r\n").arg(pages, out));

    // A new page shows up in the next run's log, which replaces the previous one.
    write(pages + QStringLiteral("b.htm"));
    ASSERT_TRUE(WaitUntil([&] { return readAll(log).count(QStringLiteral("\r\n")) == 2; }));
    EXPECT_TRUE(readAll(log).startsWith(QStringLiteral("[Success] => %1a.htm").arg(pages)));

    // Hold the next run and stop it: no further run, and the window stays open.
    gate.Limit(0);
    ASSERT_TRUE(WaitUntil([&] { return w->IsRunning(); }));
    Child<QAction>(w, "aStop")->trigger();
    gate.Open();
    ASSERT_TRUE(waitIdle());
    EXPECT_FALSE(w->DaemonWaiting());
    EXPECT_EQ(closed.count(), 0);
    EXPECT_TRUE(w->isVisible());
}

} // namespace

namespace {

TEST_F(RunTest, ClosingDuringARunStopsItAndClosesWhenItHasEnded)
{
    for (int i = 0; i < 4; ++i)
        write(pages + QStringLiteral("p%1.htm").arg(i));
    TkvFrmMain *w = open();
    w->show();
    Child<QLineEdit>(w, "eSource")->setText(pages + QStringLiteral("*.htm?"));
    Child<QLineEdit>(w, "eTarget")->setText(out);
    QSignalSpy closed(w, &TkvFrmMain::Closed);
    gate.Limit(0);
    Child<QAction>(w, "aConvert")->trigger();
    EXPECT_FALSE(w->close()); // the workers still use the job
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->StoppedByUser());
    gate.Open();
    ASSERT_TRUE(WaitUntil([&] { return closed.count() == 1; }));
    EXPECT_FALSE(w->IsRunning());
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(QFile::exists(out + QStringLiteral("p3.mht"))); // stopped after the file in progress
}

TEST_F(RunTest, AnUnwritableLogIsReportedAndTheUnattendedRunStillCloses)
{
    write(pages + QStringLiteral("a.htm"));
    Project->SetOption(QStringLiteral("Source"), pages + QStringLiteral("*.htm?"));
    Project->SetOption(QStringLiteral("Target"), out);
    Project->SetOption(QStringLiteral("RunAndClose"), QStringLiteral("True"));
    Project->SetOption(QStringLiteral("LogFile"), pages + QStringLiteral("a.htm/run.log")); // below a file
    TkvFrmMain *w = open();
    Project->OptionsToControls();
    QSignalSpy closed(w, &TkvFrmMain::Closed);
    w->show();
    ASSERT_TRUE(WaitUntil([&] { return closed.count() == 1; }));
    EXPECT_EQ(counter(QStringLiteral("E")), QStringLiteral("1"));
    // The log's folder cannot be made: the run stops before it converts anything, and ends with 1.
    EXPECT_FALSE(QFile::exists(out + QStringLiteral("a.mht")));
    EXPECT_EQ(w->ExitCode(), 1);
}

TEST_F(RunTest, AWebAddressIsTheOnlyEntryAndLeavesTheTargetToTheUser)
{
    TkvFrmMain *w = open();
    Child<QLineEdit>(w, "eSource")->setText(QStringLiteral("http://127.0.0.1:1/dir/page.htm"));
    Child<QAction>(w, "aSearch")->trigger();
    w->Model()->Flush();
    EXPECT_EQ(rowsText(), QStringList{QStringLiteral("http://127.0.0.1:1/dir/page.htm")});
    EXPECT_TRUE(Child<QLineEdit>(w, "eTarget")->text().isEmpty());
    w->DropFiles(Child<QLineEdit>(w, "eSource"), {QStringLiteral("https://srv/a.htm")});
    EXPECT_TRUE(Child<QLineEdit>(w, "eTarget")->text().isEmpty());

    // Converted without a target, the archive goes to the current folder, as a download does.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(pages));
    Child<QLineEdit>(w, "eSource")->setText(QStringLiteral("http://127.0.0.1:1/dir/page.htm"));
    Child<QAction>(w, "aConvert")->trigger();
    const bool idle = waitIdle();
    QDir::setCurrent(previous);
    ASSERT_TRUE(idle);
    const QString here = QDir(pages).canonicalPath() + QLatin1Char('/');
    EXPECT_EQ(Child<QLineEdit>(w, "eTarget")->text(), here);
    EXPECT_EQ(w->Model()->RowAt(0).Result(), here + QStringLiteral("__127.0.0.1_1_dir_page.mht"));
    EXPECT_TRUE(QFile::exists(here + QStringLiteral("__127.0.0.1_1_dir_page.mht")));
}

} // namespace

namespace {

TEST_F(RunTest, AHiddenWindowOfAPureConsoleProjectRunsItsWebAddressAndCloses)
{
    Project->SetOption(QStringLiteral("Source"), QStringLiteral("http://127.0.0.1:9/dir/page.htm"));
    Project->SetOption(QStringLiteral("Target"), out);
    Project->SetOption(QStringLiteral("PureConsole"), QStringLiteral("True"));
    Project->SetOption(QStringLiteral("LogFile"), path(QStringLiteral("web.log")));
    TkvFrmMain *w = open();
    Project->OptionsToControls();
    QSignalSpy closed(w, &TkvFrmMain::Closed);
    w->FormShow(); // what window mode does instead of showing the window
    ASSERT_TRUE(WaitUntil([&] { return closed.count() == 1; }));
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(w->WasShown());
    EXPECT_EQ(
        readAll(path(QStringLiteral("web.log"))),
        QStringLiteral("[Success] => http://127.0.0.1:9/dir/page.htm => %1__127.0.0.1_9_dir_page.mht\r\n").arg(out));
}

} // namespace
