#include "kvResultModel.h"

#include "kvRun.h"
#include "uiTestSupport.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <thread>
#include <vector>

namespace {

struct ResultModelTest : ::testing::Test
{
    TkvResultModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

TEST_F(ResultModelTest, RowIsTheEntryIndexWhenAFinishArrivesBeforeItsAddedReport)
{
    const quint64 g = model.Generation();
    model.PostAdded(g, 0, QStringLiteral("/in/a.htm"));
    model.PostDone(g, 3, 2, QStringLiteral("/in/d.htm"), QStringLiteral("Cannot open \"/in/d.htm\".\r\nmore"));
    model.Flush();
    ASSERT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.RowAt(0).FileName, QStringLiteral("/in/a.htm"));
    EXPECT_EQ(model.RowAt(1).FileName, QString()); // held for entry 1 until its report arrives
    EXPECT_EQ(model.RowAt(3).Status, 2);
    EXPECT_EQ(model.data(model.index(3, 2)).toString(), QStringLiteral("Cannot open \"/in/d.htm\"."));
    EXPECT_EQ(model.data(model.index(3, 2), Qt::ToolTipRole).toString(),
              QStringLiteral("Cannot open \"/in/d.htm\".\r\nmore"));

    // The late added reports fill their rows; the one for the finished entry does not undo its result.
    model.PostAdded(g, 1, QStringLiteral("/in/b.htm"));
    model.PostAdded(g, 2, QStringLiteral("/in/c.htm"));
    model.PostAdded(g, 3, QStringLiteral("/in/other.htm"));
    model.PostDone(g, 0, 1, QStringLiteral("/in/a.htm"), QStringLiteral("/out/a.mht"));
    model.Flush();
    ASSERT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.RowAt(1).FileName, QStringLiteral("/in/b.htm"));
    EXPECT_EQ(model.RowAt(2).FileName, QStringLiteral("/in/c.htm"));
    EXPECT_EQ(model.RowAt(3).FileName, QStringLiteral("/in/d.htm"));
    EXPECT_EQ(model.RowAt(3).Status, 2);
    EXPECT_EQ(model.RowAt(0).Status, 1);
    EXPECT_EQ(model.ListLines(),
              (QStringList{QStringLiteral("[Success] => /in/a.htm => /out/a.mht"),
                           QStringLiteral("[Running] => /in/b.htm => "), QStringLiteral("[Running] => /in/c.htm => "),
                           QStringLiteral("[Failure] => /in/d.htm => Cannot open \"/in/d.htm\".")}));
}

TEST_F(ResultModelTest, ResetDropsQueuedAndLateReportsOfTheOldJob)
{
    const quint64 old = model.Generation();
    model.PostAdded(old, 0, QStringLiteral("/old/a.htm"));
    const quint64 fresh = model.Reset();
    EXPECT_NE(fresh, old);
    model.PostDone(old, 0, 1, QStringLiteral("/old/a.htm"), QStringLiteral("/out/a.mht")); // late worker
    model.PostAdded(fresh, 0, QStringLiteral("/new/x.htm"));
    model.Flush();
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.RowAt(0).FileName, QStringLiteral("/new/x.htm"));
    EXPECT_EQ(model.RowAt(0).Status, 0);
    EXPECT_EQ(model.ListLines(), QStringList{QStringLiteral("[Running] => /new/x.htm => ")});
}

TEST_F(ResultModelTest, ReportsFromManyThreadsArriveInBatchesThroughTheEventLoop)
{
    QSignalSpy flushed(&model, &TkvResultModel::Flushed);
    const quint64 g = model.Generation();
    constexpr int perThread = 5000, threads = 4;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&, t] {
            for (int i = t; i < perThread * threads; i += threads) {
                const QString name = QStringLiteral("/in/%1.htm").arg(i);
                model.PostAdded(g, i, name);
                model.PostDone(g, i, 1 + i % 2, name, QStringLiteral("r%1").arg(i));
            }
        });
    for (auto &w : workers)
        w.join();
    // Posting never touches the rows: they change only on the window thread.
    EXPECT_EQ(model.rowCount(), 0);
    ASSERT_TRUE(WaitUntil([&] { return model.rowCount() == perThread * threads; }));
    for (int i = 0; i < perThread * threads; ++i) {
        ASSERT_EQ(model.RowAt(i).FileName, QStringLiteral("/in/%1.htm").arg(i));
        ASSERT_EQ(model.RowAt(i).Status, 1 + i % 2);
        ASSERT_EQ(model.RowAt(i).Result(), QStringLiteral("r%1").arg(i));
    }
    EXPECT_GE(flushed.count(), 1);
}

TEST_F(ResultModelTest, StatusImageAndWordFollowTheEntryStatus)
{
    const quint64 g = model.Generation();
    model.PostDone(g, 0, 7, QStringLiteral("/in/a.htm"), QString());
    model.Flush();
    EXPECT_EQ(TkvRun::StatusWord(7), QStringLiteral("Running"));
    EXPECT_EQ(TkvRun::StatusWord(1), QStringLiteral("Success"));
    EXPECT_EQ(TkvRun::StatusWord(2), QStringLiteral("Failure"));
    EXPECT_FALSE(model.data(model.index(0, 0), Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_TRUE(model.data(model.index(0, 0), Qt::DisplayRole).isNull()); // the "@" column has no text
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("File Name"));
}

} // namespace
