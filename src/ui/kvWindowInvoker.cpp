#include "kvWindowInvoker.h"

#include <QMetaObject>

void TkvWindowInvoker::Post(std::function<void()> call)
{
    QObject *target = window.data();
    if (!target || detached)
        return;
    QMetaObject::invokeMethod(target, std::move(call), Qt::QueuedConnection);
}
