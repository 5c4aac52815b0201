// RunScripts through the real programs: web2arc starts the page renderer beside it, and the archive
// holds what the page's scripts built; without the option (or without the renderer) it does not.
#include "e2eHarness.h"
#include "mimeReader.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

// The script writes its marker in two halves, so the marker is in the document only if the script ran;
// the image it adds is named nowhere in the markup but inside the script.
const QByteArray builtPage = R"(<!DOCTYPE html>
<html><head><title>built</title></head><body><div id="nav"></div>
<script>
alert('a dialog the renderer must dismiss');
const item = document.createElement('p');
item.textContent = 'BUILT-' + 'BY-SCRIPT';
const picture = document.createElement('img');
picture.src = 'dra' + 'wn.png';
document.getElementById('nav').append(item, picture);
</script></body></html>
)";

class RunScriptsE2eTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        env.WriteFile(QStringLiteral("site/built.html"), builtPage);
        env.WriteFile(QStringLiteral("site/drawn.png"), TkvE2eEnv::LogoPng());
        env.WritePage(QStringLiteral("site/plain.html"), QStringLiteral("PLAIN-PAGE"));
        env.WriteFile(QStringLiteral("site/logo.png"), TkvE2eEnv::LogoPng());
    }

    QStringList project(const QString &runScripts, const QString &extra = QString()) const
    {
        QStringList lines{QStringLiteral("Source=") + env.Path(QStringLiteral("site/*.html")),
                          QStringLiteral("Target=") + env.Path(QStringLiteral("out")), QStringLiteral("PureConsole=1"),
                          QStringLiteral("ThreadsCount=2"), QStringLiteral("LogFile=") + env.Path(QStringLiteral("run.log")),
                          QStringLiteral("RunScripts=") + runScripts};
        if (!extra.isEmpty())
            lines << extra;
        return lines;
    }

    QString log() const { return QString::fromUtf8(TkvE2eEnv::ReadAll(env.Path(QStringLiteral("run.log")))); }

    TMimeReadMessage archive(const QString &name) const
    {
        return ReadMimeFile(env.Path(QStringLiteral("out/") + name + QStringLiteral(".mht")));
    }

    static bool holdsImage(const TMimeReadMessage &m, const std::string &name)
    {
        for (const TMimeReadPart &part : m.parts)
            if (part.location.ends_with("/" + name) && part.data == TkvE2eEnv::LogoPng())
                return true;
        return false;
    }

    TkvE2eEnv env;
};

TEST_F(RunScriptsE2eTest, TheArchiveHoldsWhatTheScriptsBuiltAndABadPageCostsOnlyItself)
{
    // A script that never ends holds its renderer until the page's limit; the run goes on meanwhile.
    env.WriteFile(QStringLiteral("site/endless.html"), "<body><script>while (true) {}</script>");
    const TkvE2eResult r = env.RunProject(project(QStringLiteral("True")));
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();

    const TMimeReadMessage built = archive(QStringLiteral("built"));
    ASSERT_TRUE(built.ok) << built.error << "\n" << log().toStdString();
    EXPECT_TRUE(built.parts[0].data.contains("<p>BUILT-BY-SCRIPT</p>")) << built.parts[0].data.toStdString();
    EXPECT_FALSE(built.parts[0].data.contains("<script")) << "the archive must not run the scripts again";
    EXPECT_TRUE(holdsImage(built, "drawn.png"));

    const TMimeReadMessage plain = archive(QStringLiteral("plain"));
    ASSERT_TRUE(plain.ok) << plain.error;
    EXPECT_TRUE(holdsImage(plain, "logo.png"));

    const QString lines = log();
    EXPECT_TRUE(lines.contains(QStringLiteral("Success => ") + env.Path(QStringLiteral("site/built.html"))))
        << lines.toStdString();
    const QString endless = env.Path(QStringLiteral("site/endless.html"));
    EXPECT_TRUE(lines.contains(QStringLiteral("Failure => ") + endless + QStringLiteral(" => ")) &&
                lines.contains(QStringLiteral("page renderer")))
        << lines.toStdString();
    EXPECT_FALSE(QFileInfo::exists(env.Path(QStringLiteral("out/endless.mht"))));
}

TEST_F(RunScriptsE2eTest, WithoutTheOptionThePageIsArchivedAsStored)
{
    const TkvE2eResult r = env.RunProject(project(QStringLiteral("False")));
    ASSERT_TRUE(r.Finished);
    const TMimeReadMessage built = archive(QStringLiteral("built"));
    ASSERT_TRUE(built.ok) << built.error;
    EXPECT_FALSE(built.parts[0].data.contains("BUILT-BY-SCRIPT"));
    EXPECT_TRUE(built.parts[0].data.contains("<script>"));
    EXPECT_FALSE(holdsImage(built, "drawn.png"));
}

TEST_F(RunScriptsE2eTest, WithoutTheRendererAPageWithScriptsFailsSayingSoAndOneWithoutConverts)
{
    // A copy of the program in a folder of its own has no renderer beside it.
    const QString lonely = env.Path(QStringLiteral("bin/web2arc"));
    env.WriteFile(QStringLiteral("bin/.keep"), QByteArray());
    ASSERT_TRUE(QFile::copy(TkvE2eEnv::Executable(), lonely));
    env.WriteFile(QStringLiteral("job.batch-web2arc"), project(QStringLiteral("True")).join(QStringLiteral("\r\n")).toUtf8());
    const TkvE2eResult r = env.RunProgram(lonely, {env.Path(QStringLiteral("job.batch-web2arc"))});
    ASSERT_TRUE(r.Finished);
    const QString lines = log();
    EXPECT_TRUE(lines.contains(QStringLiteral("Failure => %1 => Cannot run scripts: the page renderer web2arc-render "
                                              "is not installed")
                                   .arg(env.Path(QStringLiteral("site/built.html")))))
        << lines.toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("Success => ") + env.Path(QStringLiteral("site/plain.html"))))
        << lines.toStdString();
}

} // namespace
