#pragma once
// The one way a test waits for something the program does on its own time (a worker's reading, a
// hand-over, a timer, a child process): it polls `done` with the event loop running, so
// hand-overs and timers of the main thread go on, until `done` holds or the deadline passes.
// Never a fixed sleep: the machine running the tests may be loaded, so deadlines are generous and
// a test that passes waits only as long as the program needs.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <functional>

// Generous: a loaded 2-core machine may run the suite twice in parallel.
constexpr int kWaitDeadlineMs = 60000;

// True as soon as `done` holds; false when `deadlineMs` passed first.
inline bool WaitUntil(const std::function<bool()>& done, int deadlineMs = kWaitDeadlineMs) {
    QDeadlineTimer deadline(deadlineMs);
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (done())
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(5);
    }
}
