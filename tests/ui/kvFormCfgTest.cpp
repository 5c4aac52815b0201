#include "windowTestSupport.h"

#include "kvFormCfg.h"
#include "kvWeb2ArcAbout.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

struct FormsTest : WindowTest
{
    void TearDown() override
    {
        kvFrmWeb2ArcAbout = nullptr; // a child of the window
        WindowTest::TearDown();
    }

    TkvFrmCfg *config(TkvFrmMain *w)
    {
        Child<QAction>(w, "aConfig")->trigger();
        EXPECT_NE(kvFrmCfg, nullptr);
        EXPECT_TRUE(kvFrmCfg && kvFrmCfg->isVisible());
        return kvFrmCfg;
    }
};

TEST_F(FormsTest, OptionsDialogShowsWhatTheWindowShowsAndOkAppliesTheText)
{
    Project->SetOption(QStringLiteral("ThreadsCount"), QStringLiteral("1"));
    TkvFrmMain *w = open();
    Child<QLineEdit>(w, "eSource")->setText(QStringLiteral("/typed/*.htm?"));
    TkvFrmCfg *cfg = config(w);
    EXPECT_TRUE(cfg->isModal());
    const QStringList lines = cfg->txtCfg->toPlainText().split(QLatin1Char('\n'));
    EXPECT_TRUE(lines.contains(QStringLiteral("Source=/typed/*.htm?"))) << cfg->txtCfg->toPlainText().toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("ThreadsCount=1")));

    cfg->txtCfg->setPlainText(QStringLiteral("Source=/edited/*.htm?\nThreadsCount=4\nno equals sign"));
    cfg->btnOk->click(); // the line it does not understand is named first, and nothing is taken yet
    EXPECT_TRUE(cfg->isVisible());
    EXPECT_TRUE(cfg->lProblems->text().contains(QStringLiteral("\"no equals sign\" is not KEY=VALUE")))
        << cfg->lProblems->text().toStdString();
    EXPECT_EQ(Project->GetThreadsCount(), 1);
    cfg->btnOk->click(); // Ok again takes the text as it stands
    EXPECT_FALSE(cfg->isVisible());
    EXPECT_EQ(Project->GetThreadsCount(), 4);
    EXPECT_EQ(Child<QLineEdit>(w, "eSource")->text(), QStringLiteral("/edited/*.htm?"));
    EXPECT_TRUE(Project->OptionLines().contains(QStringLiteral("no equals sign")));
    EXPECT_FALSE(QFile::exists(Project->DefaultProjectPath())); // Ok does not save

    // The next Config starts again from the options, the same dialog kept.
    EXPECT_EQ(config(w), cfg);
    EXPECT_TRUE(cfg->txtCfg->toPlainText().contains(QStringLiteral("ThreadsCount=4")));
    cfg->close();
}

TEST_F(FormsTest, OptionsDialogCancelChangesNothingAndHelpOpensTheHelp)
{
    Project->SetOption(QStringLiteral("ThreadsCount"), QStringLiteral("2"));
    TkvFrmMain *w = open();
    Child<QLineEdit>(w, "eSource")->setText(QStringLiteral("/kept/*.htm?"));
    const QStringList before = (Project->StoreOptions(false), Project->OptionLines());
    TkvFrmCfg *cfg = config(w);
    cfg->txtCfg->setPlainText(QStringLiteral("Source=/other/\nThreadsCount=9"));
    cfg->btnHelp->click();
    EXPECT_EQ(Info->LastLink, Info->BuildLink(QStringLiteral("h"), QString(), QString()));
    EXPECT_EQ(counter(QStringLiteral("H")), QString()); // unlike the window's Help
    cfg->btnCancel->click();
    EXPECT_FALSE(cfg->isVisible());
    EXPECT_EQ(Project->OptionLines(), before);
    EXPECT_EQ(Child<QLineEdit>(w, "eSource")->text(), QStringLiteral("/kept/*.htm?"));
    EXPECT_EQ(Project->GetThreadsCount(), 2);
}

TEST_F(FormsTest, AboutBoxShowsNothingAtStartUpThenShowsAndClosesOnAnyClickOrKey)
{
    TkvFrmMain *w = open();
    kvFrmWeb2ArcAbout = new TkvFrmWeb2ArcAbout(w);
    TkvFrmWeb2ArcAbout *about = kvFrmWeb2ArcAbout;
    about->ShowAbout();
    EXPECT_FALSE(about->isVisible());
    EXPECT_DOUBLE_EQ(w->windowOpacity(), 1.0);

    Child<QAction>(w, "aAbout")->trigger();
    ASSERT_TRUE(about->isVisible());
    EXPECT_EQ(about->lblProduct->text(), QStringLiteral("Batch WEB2ARC Converter"));
    EXPECT_EQ(about->lblVersion->text(), QStringLiteral("2024.16.511.3122"));
    EXPECT_EQ(about->img->pixmap().size(), QSize(128, 128));
    EXPECT_NEAR(about->windowOpacity(), 200.0 / 255.0, 0.01);
    EXPECT_TRUE(about->windowFlags() & Qt::FramelessWindowHint);
    QTest::mouseClick(about->lblVersion, Qt::LeftButton);
    EXPECT_FALSE(about->isVisible());

    Child<QAction>(w, "aAbout")->trigger();
    ASSERT_TRUE(about->isVisible());
    QTest::keyClick(about, Qt::Key_A);
    EXPECT_FALSE(about->isVisible());
}

TEST_F(FormsTest, PureConsoleStartUpMakesTheMainWindowTransparent)
{
    Project->SetOption(QStringLiteral("PureConsole"), QStringLiteral("True"));
    TkvFrmMain *w = open();
    kvFrmWeb2ArcAbout = new TkvFrmWeb2ArcAbout(w);
    kvFrmWeb2ArcAbout->ShowAbout();
    EXPECT_DOUBLE_EQ(w->windowOpacity(), 0.0);
    EXPECT_FALSE(kvFrmWeb2ArcAbout->isVisible());
}

} // namespace
