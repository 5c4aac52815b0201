#include "kvRenderClient.h"

#include "kvMhtMessage.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <set>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

class KvRenderClientTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    TkvRenderClient::TOptions options(int pagesPerHelper = 100, std::chrono::milliseconds margin = 2000ms)
    {
        TkvRenderClient::TOptions result;
        result.program = QStringLiteral(FAKE_RENDER_HELPER);
        result.arguments = {startsFile()};
        result.pagesPerHelper = pagesPerHelper;
        result.replyMargin = margin;
        return result;
    }

    QString startsFile() const { return dir.filePath(QStringLiteral("starts")); }

    /// How often a helper was started, as the helpers themselves counted it.
    int helperStarts() const
    {
        QFile file(startsFile());
        return file.open(QIODevice::ReadOnly) ? int(file.readAll().count('\n')) : 0;
    }

    static QString failureOf(TkvRenderClient &client, const QString &address, std::chrono::milliseconds limit = 1000ms)
    {
        try {
            client.Render(address, limit);
        } catch (const EMhtError &error) {
            return QString::fromUtf8(error.what());
        }
        return QString();
    }

    QTemporaryDir dir;
};

TEST_F(KvRenderClientTest, HandsEveryThreadItsOwnReplyFromOneHelper)
{
    TkvRenderClient client(options());
    std::vector<std::future<QByteArray>> results;
    for (int i = 0; i < 8; ++i) {
        // Later pages answer sooner, so replies come back out of order.
        results.push_back(std::async(std::launch::async, [&client, i] {
            client.Render(QStringLiteral("fake:slow/%1").arg((8 - i) * 30), 2000ms);
            return client.Render(QStringLiteral("fake:ok/page%1").arg(i), 2000ms).documents.at(0).html;
        }));
    }
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(results[i].get(), QByteArray("<p>page") + QByteArray::number(i) + "</p>");
    EXPECT_EQ(client.HelpersStarted(), 1);
}

TEST_F(KvRenderClientTest, APageTheHelperFailsOnFailsWithTheHelpersText)
{
    TkvRenderClient client(options());
    EXPECT_EQ(failureOf(client, QStringLiteral("fake:fail")),
              QStringLiteral("Cannot load \"fake:fail\": it failed on purpose."));
    EXPECT_EQ(client.Render(QStringLiteral("fake:ok/next"), 1000ms).documents.size(), 1u);
    EXPECT_EQ(helperStarts(), 1);
}

TEST_F(KvRenderClientTest, AHelperThatCrashesCostsThatPageAndIsRestarted)
{
    TkvRenderClient client(options());
    const QString failure = failureOf(client, QStringLiteral("fake:crash"));
    EXPECT_TRUE(failure.startsWith(QStringLiteral("The page renderer ended while rendering \"fake:crash\"")))
        << failure.toStdString();
    EXPECT_TRUE(failure.contains(QStringLiteral("exit code 3"))) << failure.toStdString();
    // Tried once more on a new helper (another page may have been the cause), then given up.
    EXPECT_EQ(helperStarts(), 2);
    EXPECT_EQ(client.Render(QStringLiteral("fake:ok/after"), 1000ms).documents.at(0).html, QByteArray("<p>after</p>"));
    EXPECT_EQ(helperStarts(), 3);
}

TEST_F(KvRenderClientTest, PagesUnderWayWhenAnotherCrashesTheHelperAreSentAgain)
{
    TkvRenderClient client(options());
    auto slow = std::async(std::launch::async, [&client] { return client.Render(QStringLiteral("fake:slow/400"), 3000ms); });
    // Most likely the slow page is at the helper when the crash takes it down; if not, it simply goes to
    // the next helper: either way it must come back rendered.
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(failureOf(client, QStringLiteral("fake:crash")).isEmpty());
    EXPECT_EQ(slow.get().documents.at(0).html, QByteArray("<p>slow</p>"));
}

TEST_F(KvRenderClientTest, AHelperThatDoesNotAnswerIsKilledAndThePageFails)
{
    TkvRenderClient client(options(100, 300ms));
    const QString failure = failureOf(client, QStringLiteral("fake:hang"), 200ms);
    EXPECT_TRUE(failure.startsWith(QStringLiteral("The page renderer did not answer for \"fake:hang\" within 0.5 s")))
        << failure.toStdString();
    EXPECT_EQ(client.Render(QStringLiteral("fake:ok/next"), 1000ms).documents.size(), 1u);
    EXPECT_EQ(helperStarts(), 2);
}

TEST_F(KvRenderClientTest, AHelperThatTalksNonsenseIsReplaced)
{
    TkvRenderClient client(options());
    const QString failure = failureOf(client, QStringLiteral("fake:garbage"));
    EXPECT_TRUE(failure.contains(QStringLiteral("malformed reply"))) << failure.toStdString();
    EXPECT_EQ(client.Render(QStringLiteral("fake:ok/next"), 1000ms).documents.size(), 1u);
}

TEST_F(KvRenderClientTest, RecyclesTheHelperAfterItsShareOfPages)
{
    TkvRenderClient client(options(3));
    std::set<QByteArray> pids;
    for (int i = 0; i < 7; ++i)
        pids.insert(client.Render(QStringLiteral("fake:pid"), 1000ms).documents.at(0).html);
    EXPECT_EQ(pids.size(), 3u);
    EXPECT_EQ(client.HelpersStarted(), 3);
}

TEST_F(KvRenderClientTest, RecyclingWaitsForThePagesUnderWay)
{
    TkvRenderClient client(options(2));
    std::vector<std::future<TkvRenderedPage>> pages;
    for (int i = 0; i < 6; ++i)
        pages.push_back(std::async(std::launch::async,
                                   [&client] { return client.Render(QStringLiteral("fake:slow/150"), 3000ms); }));
    for (auto &page : pages)
        EXPECT_EQ(page.get().documents.at(0).html, QByteArray("<p>slow</p>"));
    EXPECT_EQ(client.HelpersStarted(), 3);
}

TEST_F(KvRenderClientTest, StopEndsRendersUnderWayAndRefusesLaterOnes)
{
    TkvRenderClient client(options(100, 60000ms));
    auto hanging = std::async(std::launch::async, [&client] { return failureOf(client, QStringLiteral("fake:hang"), 60000ms); });
    std::this_thread::sleep_for(100ms); // usually under way by now; a Render that starts after Stop fails alike
    client.Stop();
    const auto ended = hanging.wait_for(10s);
    ASSERT_EQ(ended, std::future_status::ready);
    EXPECT_EQ(hanging.get(), QStringLiteral("Rendering \"fake:hang\" was stopped."));
    EXPECT_FALSE(failureOf(client, QStringLiteral("fake:ok/late")).isEmpty());
}

TEST_F(KvRenderClientTest, AMissingHelperIsAClearError)
{
    TkvRenderClient::TOptions missing = options();
    missing.program = dir.filePath(QStringLiteral("no-such-renderer"));
    TkvRenderClient client(missing);
    const QString failure = failureOf(client, QStringLiteral("fake:ok/x"));
    EXPECT_EQ(failure, QStringLiteral("Cannot run scripts: Cannot start \"%1\": No such file or directory")
                           .arg(missing.program));
}

} // namespace
