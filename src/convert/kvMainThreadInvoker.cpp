#include "kvMainThreadInvoker.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

void TkvQtMainThreadInvoker::Invoke(const std::function<void()> &call)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        call();
        return;
    }
    QMetaObject::invokeMethod(
        app, [&call] { call(); }, Qt::BlockingQueuedConnection);
}
