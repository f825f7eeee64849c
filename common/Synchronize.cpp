#include "common/Synchronize.h"

#include <QCoreApplication>
#include <QThread>

bool IsMainThread() {
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
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
