#include "instruments/TInstrumentWorker.h"

#include "diagnostics/LogChannel.h"
#include "instruments/TSerialPort.h"

#include <QElapsedTimer>

TInstrumentWorker::TInstrumentWorker(const QString& name, LogChannel& log, TLinkMonitor& link,
                                     QObject* parent)
    : QThread(parent), fName(name), fLog(log), fLink(link) {
    setObjectName(name);
}

TInstrumentWorker::~TInstrumentWorker() {
    // The owner frees a worker only after it reported IsStopped; make sure its body has returned.
    wait();
}

void TInstrumentWorker::run() {
    SetLogThreadName(fName);
    Execute();
}

void TInstrumentWorker::SleepUnlessStopping(int ms) const {
    for (int slept = 0; slept < ms && !StopRequested(); slept += 20)
        QThread::msleep(20);
}

bool TInstrumentWorker::WaitWhilePaused() {
    while (Paused()) {
        PausedSecondStarts();
        SleepUnlessStopping(1000);
        HandOver(PausedUpdate(), 1000);
        if (StopRequested())
            return false;
    }
    return true;
}

void TInstrumentWorker::PauseAfterUnopenablePort(const TSerialPort& COM) const {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < qint64(COM.ReadoutTimeoutMS()) && !StopRequested())
        QThread::msleep(20);
}

void TInstrumentWorker::StartLink() {
    fIsStopped.store(false);
    fLink.Reset();
}

bool TInstrumentWorker::ReinitializeIfDue() {
    if (!fLink.ReinitDue())
        return false;
    fLog.Send(QStringLiteral("Re-initialising the instrument"));
    Initialize();
    return true;
}

void TInstrumentWorker::LinkFailure(const TLinkInstant& began, const QString& reason, bool answered) {
    // An exchange cut short because the worker is stopping is no fault of the instrument.
    if (StopRequested())
        return;
    if (fLink.Failure(began, reason, answered))
        fHandOver.Post(LinkFaultUpdate(), 0);
}
