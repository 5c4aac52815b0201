#include "kvResultModel.h"

#include "kvRun.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

QString firstLine(const QString &text)
{
    const qsizetype end = text.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
    return end < 0 ? text : text.left(end);
}

} // namespace

QString TkvResultModel::Row::Result() const
{
    return firstLine(Message);
}

TkvResultModel::TkvResultModel(QObject *parent) : QAbstractTableModel(parent)
{
    for (int i = 0; i < 3; ++i)
        icons[i] = QIcon(QStringLiteral(":/ui/status-%1.png").arg(i));
    timer.setSingleShot(true);
    timer.setInterval(50);
    connect(&timer, &QTimer::timeout, this, &TkvResultModel::Flush);
}

quint64 TkvResultModel::Generation() const
{
    std::lock_guard guard(lock);
    return generation;
}

void TkvResultModel::PostAdded(quint64 generation, int index, const QString &fileName)
{
    post(Update{generation, index, false, 0, fileName, QString()});
}

void TkvResultModel::PostDone(quint64 generation, int index, int status, const QString &fileName,
                              const QString &message)
{
    post(Update{generation, index, true, status, fileName, message});
}

void TkvResultModel::post(Update &&update)
{
    if (update.index < 0)
        return;
    bool wake = false;
    {
        std::lock_guard guard(lock);
        if (update.generation != generation)
            return;
        pending.push_back(std::move(update));
        wake = !flushPosted;
        flushPosted = true;
    }
    // One queued call per batch, whatever the number of posts; it only starts the batch timer.
    if (wake)
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!timer.isActive())
                    timer.start();
            },
            Qt::QueuedConnection);
}

quint64 TkvResultModel::Reset()
{
    quint64 next;
    {
        std::lock_guard guard(lock);
        pending.clear();
        next = ++generation;
    }
    beginResetModel();
    rows.clear();
    endResetModel();
    return next;
}

void TkvResultModel::Flush()
{
    std::vector<Update> batch;
    quint64 current;
    {
        std::lock_guard guard(lock);
        batch.swap(pending);
        flushPosted = false;
        current = generation;
    }
    if (batch.empty())
        return;
    int last = -1;
    for (const Update &u : batch)
        if (u.generation == current)
            last = std::max(last, u.index);
    const int oldCount = static_cast<int>(rows.size());
    const bool grow = last >= oldCount;
    if (grow)
        beginInsertRows(QModelIndex(), oldCount, last);
    if (grow)
        rows.resize(static_cast<size_t>(last) + 1);
    int changedFirst = oldCount, changedLast = -1;
    for (Update &u : batch) {
        if (u.generation != current)
            continue;
        Row &row = rows[static_cast<size_t>(u.index)];
        if (u.done) {
            row.Status = u.status;
            row.FileName = std::move(u.fileName);
            row.Message = std::move(u.message);
        } else if (row.FileName.isEmpty()) {
            row.FileName = std::move(u.fileName);
        }
        if (u.index < oldCount) {
            changedFirst = std::min(changedFirst, u.index);
            changedLast = std::max(changedLast, u.index);
        }
    }
    if (grow)
        endInsertRows();
    if (changedLast >= changedFirst)
        emit dataChanged(index(changedFirst, 0), index(changedLast, 2));
    emit Flushed();
}

QStringList TkvResultModel::ListLines() const
{
    QStringList lines;
    lines.reserve(qsizetype(rows.size()));
    for (const Row &row : rows)
        lines.append(TkvRun::ListLine(row.Status, row.FileName, row.Result()));
    return lines;
}

int TkvResultModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows.size());
}

int TkvResultModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 3;
}

QVariant TkvResultModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(rows.size()))
        return {};
    const Row &row = rows[static_cast<size_t>(index.row())];
    switch (index.column()) {
    case 0:
        if (role == Qt::DecorationRole)
            return icons[row.Status >= 0 && row.Status <= 2 ? row.Status : 0];
        if (role == Qt::ToolTipRole)
            return TkvRun::StatusWord(row.Status);
        break;
    case 1:
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
            return row.FileName;
        break;
    case 2:
        if (role == Qt::DisplayRole)
            return row.Result();
        if (role == Qt::ToolTipRole && !row.Message.isEmpty())
            return row.Message;
        break;
    }
    return {};
}

QVariant TkvResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case 0:
        return QStringLiteral("@");
    case 1:
        return QStringLiteral("File Name");
    case 2:
        return QStringLiteral("Result");
    }
    return {};
}
