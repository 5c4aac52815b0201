#pragma once

#include "kvProject.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

/// Lets GoogleTest show QString values as text.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

/// A store with the product's descriptor values and a private home folder (WEB2ARC_HOME), so the
/// default project and the recent-projects list live in a temporary folder.
class KvProjectFixture : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        savedHome = qgetenv("WEB2ARC_HOME");
        hadHome = qEnvironmentVariableIsSet("WEB2ARC_HOME");
        qputenv("WEB2ARC_HOME", QFile::encodeName(home.path()));
        store = MakeStore();
    }

    void TearDown() override
    {
        store.reset();
        if (hadHome) {
            qputenv("WEB2ARC_HOME", savedHome);
        } else {
            qunsetenv("WEB2ARC_HOME");
        }
    }

    static std::unique_ptr<TkvProject> MakeStore()
    {
        auto project = std::make_unique<TkvProject>();
        project->FileMask = QStringLiteral("*.htm?");
        project->OpenFilter = QStringLiteral("HTML File (*.htm;*.html)|*.htm;*.html");
        project->TargetExt = QStringLiteral(".mht");
        project->ShortName = QStringLiteral("web2arc");
        project->ProjectExt = QStringLiteral(".batch-") + project->ShortName;
        project->ProjectFilter = QStringLiteral("Batch WEB2ARC Project|*") + project->ProjectExt;
        project->Title = QStringLiteral("Batch WEB2ARC Converter");
        project->Version = QStringLiteral("2024.16.511.3122");
        return project;
    }

    QString HomeFile(const QString &name) const { return home.path() + QLatin1Char('/') + name; }

    static QByteArray ReadAll(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    static void WriteAll(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QTemporaryDir home;
    std::unique_ptr<TkvProject> store;

private:
    QByteArray savedHome;
    bool hadHome = false;
};
