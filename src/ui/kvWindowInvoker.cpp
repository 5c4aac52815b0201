#include "kvWindowInvoker.h"

#include <QMetaObject>
#include <QThread>

void TkvWindowInvoker::Invoke(const std::function<void()> &call)
{
    QObject *target = window.data();
    if (!target || detached)
        return;
    if (QThread::currentThread() == target->thread()) {
        call();
        return;
    }
    QMetaObject::invokeMethod(
        target, [&call] { call(); }, Qt::BlockingQueuedConnection);
}
