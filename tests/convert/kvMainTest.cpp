// The console run: the runner as start-up calls it.
#include "kvMain.h"

#include "kvBatch.h"
#include "kvInfo.h"
#include "kvOpener.h"
#include "kvProject.h"
#include "testHome.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

class KvMainTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        info = std::make_unique<TkvInfo>(TkvProductInfo{QStringLiteral("Batch WEB2ARC Converter"),
                                                        QStringLiteral("2024.16.511.3122"), QStringLiteral("web2arc")});
        Info = info.get();
        project = std::make_unique<TkvProject>();
        Project = project.get();
    }
    void TearDown() override
    {
        Project = nullptr;
        Info = nullptr;
    }

    TkvTestHome home;
    std::unique_ptr<TkvInfo> info;
    std::unique_ptr<TkvProject> project;
    TkvMain runner;
};

} // namespace

TEST_F(KvMainTest, AWebAddressWithoutTargetWritesToTheCurrentFolderNotToAFolderNamedAfterIt)
{
    // The console takes a source it does not recognise as a web address by its letter case.
    const QString work = home.path() + QStringLiteral("/work");
    ASSERT_TRUE(QDir().mkpath(work));
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(work));
    Project->SetOption(QStringLiteral("Source"), QStringLiteral("HTTPS://h.example/dir/a.htm"));
    runner.Run();
    QDir::setCurrent(previous);
    EXPECT_EQ(runner.Batch()->TargetDir, QDir(work).canonicalPath() + QLatin1Char('/'));
    EXPECT_EQ(QDir(work).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden), QStringList());
}
