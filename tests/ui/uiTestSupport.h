#pragma once

// Shared set-up of the window tests: a per-user folder in a temporary directory, the options store and
// the information object with the product's descriptor values, a recording address opener, and a
// dialog seam that answers from a script.

#include "kvDialogSeam.h"
#include "kvInfo.h"
#include "kvOpener.h"
#include "kvProject.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <deque>
#include <memory>

/// Answers dialog requests from a queue of scripted answers (an empty answer is a cancel) and keeps
/// every request it was asked.
class TkvScriptedDialogs : public TkvDialogSeam
{
public:
    struct Shared
    {
        std::deque<QStringList> answers;
        std::vector<TkvDialogRequest> requests;
    };
    explicit TkvScriptedDialogs(std::shared_ptr<Shared> shared) : shared(std::move(shared)) {}
    QStringList Ask(const TkvDialogRequest &request) override
    {
        shared->requests.push_back(request);
        if (shared->answers.empty())
            return {};
        QStringList answer = shared->answers.front();
        shared->answers.pop_front();
        return answer;
    }

private:
    std::shared_ptr<Shared> shared;
};

/// Creates Project and Info for one test and removes them afterwards.
class UiTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        qputenv("WEB2ARC_HOME", home.filePath(QStringLiteral("web2arc")).toUtf8());
        qunsetenv("WEB2ARC_OPENER");
        qApp->setQuitOnLastWindowClosed(false);
        opened = std::make_shared<QStringList>();
        kvOpener::SetOpenHook([list = opened](const QString &address) { list->append(address); });
        Info = new TkvInfo(TkvProductInfo{QStringLiteral("Batch WEB2ARC Converter"), QStringLiteral("2024.16.511.3122"),
                                          QStringLiteral("web2arc")});
        Project = new TkvProject();
        Project->FileMask = QStringLiteral("*.htm?");
        Project->OpenFilter = QStringLiteral("HTML File (*.htm;*.html)|*.htm;*.html");
        Project->TargetExt = QStringLiteral(".mht");
        Project->ShortName = QStringLiteral("web2arc");
        Project->ProjectExt = QStringLiteral(".batch-web2arc");
        Project->ProjectFilter = QStringLiteral("Batch WEB2ARC Project|*.batch-web2arc");
        Project->Title = QStringLiteral("Batch WEB2ARC Converter");
        Project->Version = QStringLiteral("2024.16.511.3122");
        dialogs = std::make_shared<TkvScriptedDialogs::Shared>();
    }

    void TearDown() override
    {
        delete Project;
        Project = nullptr;
        delete Info;
        Info = nullptr;
        kvOpener::SetOpenHook({});
    }

    std::unique_ptr<TkvDialogSeam> seam() { return std::make_unique<TkvScriptedDialogs>(dialogs); }

    /// A path inside the test's temporary folder.
    QString path(const QString &name) const { return home.filePath(name); }

    QTemporaryDir home;
    std::shared_ptr<QStringList> opened;
    std::shared_ptr<TkvScriptedDialogs::Shared> dialogs;
};

/// Processes events until `condition` holds or `ms` pass; returns whether it holds.
template <typename F> bool WaitUntil(F condition, int ms = 20000)
{
    return QTest::qWaitFor(condition, ms);
}

/// The child of `parent` whose objectName is `name` (the window's controls are found this way); a
/// test that asks for one that does not exist fails.
template <typename T> T *Child(const QObject *parent, const char *name)
{
    T *child = parent->findChild<T *>(QLatin1String(name));
    EXPECT_NE(child, nullptr) << "no " << name;
    return child;
}
