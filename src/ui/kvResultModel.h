#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QStringList>
#include <QTimer>

#include <mutex>
#include <vector>

/// The rows of the result list: row i shows the queue entry whose Index is i. Three columns: "@" (the
/// status image only), "File Name" and "Result" (the first line of the entry's message; the whole
/// message is the cell's tool tip).
///
/// Updates come from any thread (the search thread reports added entries, workers report finished
/// ones) through PostAdded / PostDone, which only append to a locked queue. The window thread applies
/// the queue in batches: a timer started by the first post after a flush, or an explicit Flush. The
/// queue is applied in post order, so the updates of one entry are seen in the order they were posted.
/// A finished entry whose added report has not arrived yet still lands in its own row: missing rows
/// up to its Index are created (empty, running) and filled when their reports come. An added report
/// never takes back a row's finished state.
///
/// Each Reset starts a new generation; posts tagged with an older generation are dropped, so a late
/// report of a replaced batch job never reaches the new list.
///
/// Thread rules: PostAdded, PostDone and Generation from any thread; everything else on the window
/// thread only.
class TkvResultModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    struct Row
    {
        int Status = 0;   ///< 0 running, 1 success, 2 failure
        QString FileName; ///< sub-item 0
        QString Message;  ///< the entry's whole message; sub-item 1 is its first line
        QString Result() const;
    };

    explicit TkvResultModel(QObject *parent = nullptr);

    // ---- any thread ----
    quint64 Generation() const;
    void PostAdded(quint64 generation, int index, const QString &fileName);
    void PostDone(quint64 generation, int index, int status, const QString &fileName, const QString &message);

    // ---- window thread ----
    /// Removes every row and drops what is queued; returns the new generation.
    quint64 Reset();
    /// Applies everything queued so far.
    void Flush();
    const Row &RowAt(int row) const { return rows[static_cast<size_t>(row)]; }
    /// One "[status] => file => result" line per row (TkvRun::ListLine), in row order.
    QStringList ListLines() const;
    /// Milliseconds between the first queued update and the batch that applies it.
    void SetBatchInterval(int ms) { timer.setInterval(ms); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    /// Emitted after a batch of updates has been applied (not after an empty Flush).
    void Flushed();

private:
    struct Update
    {
        quint64 generation;
        int index;
        bool done;
        int status;
        QString fileName;
        QString message;
    };

    void post(Update &&update);

    mutable std::mutex lock; // guards pending, flushPosted and generation
    std::vector<Update> pending;
    bool flushPosted = false;
    quint64 generation = 1;

    std::vector<Row> rows; // window thread only
    QIcon icons[3];
    QTimer timer;
};
