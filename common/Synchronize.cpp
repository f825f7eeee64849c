#include "common/Synchronize.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

bool IsMainThread() {
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void Synchronize(const std::function<void()>& fn) {
    auto* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(app, fn, Qt::BlockingQueuedConnection);
}

void SleepProcessingEvents(int ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    int left = ms;
    while (left > 0) {
        const int step = left < 10 ? left : 10;
        QThread::msleep(step);
        left -= step;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}
