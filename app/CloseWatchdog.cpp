#include "app/CloseWatchdog.h"

#include "control/TThread2401.h"
#include "diagnostics/EventLog.h"
#include "instruments/TSerialPort.h"

#include <QThread>
#include <cstdio>
#include <cstdlib>

TCloseWatchdog::TCloseWatchdog(std::chrono::milliseconds limit, TActions actions)
    : fActions(std::move(actions)), fThread([this, limit] { Watch(limit); }) {}

TCloseWatchdog::~TCloseWatchdog() {
    {
        std::lock_guard<std::mutex> lock(fMutex);
        fDisarmed = true;
    }
    fWake.notify_all();
    fThread.join();
}

void TCloseWatchdog::Watch(std::chrono::milliseconds limit) {
    {
        std::unique_lock<std::mutex> lock(fMutex);
        if (fWake.wait_for(lock, limit, [this] { return fDisarmed; }))
            return;
    }
    const QString byWorker = QStringLiteral("the SourceMeter's worker had sent the pump 0 A");
    QString pump = byWorker;
    if (fActions.PumpAtZero && !fActions.PumpAtZero()) {
        // The worker is stuck inside an exchange: 0 A goes out from here, on a thread of its own
        // so that a port that does not answer cannot hold the exit too.
        auto sent = std::make_shared<std::atomic<bool>>(false);
        QThread* sender = QThread::create([send = fActions.SendZero, sent] {
            if (send)
                send();
            sent->store(true);
        });
        sender->start();
        const auto deadline = std::chrono::steady_clock::now() + kSendZeroWait;
        while (!sent->load() && !fActions.PumpAtZero() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        pump = fActions.PumpAtZero() ? byWorker
               : sent->load()        ? QStringLiteral("0 A was sent to the SourceMeter directly")
                              : QStringLiteral("0 A could not be confirmed: check the SourceMeter's output");
        // A sender that hangs on its port is left behind with the process.
        if (sender->wait(sent->load() ? 1000 : 0))
            delete sender;
    }
    if (fActions.Report)
        fActions.Report(QStringLiteral("The close did not end within %1 s; %2. The program ends now (exit "
                                       "code %3); rows not in a data file stay in the journal for the next "
                                       "start to recover.")
                            .arg(std::chrono::duration_cast<std::chrono::seconds>(limit).count())
                            .arg(pump)
                            .arg(kTimedOutExitCode));
    if (fActions.Exit)
        fActions.Exit(kTimedOutExitCode);
}

TCloseWatchdog::TActions TCloseWatchdog::ProgramActions(std::shared_ptr<std::atomic<bool>> pumpAtZero,
                                                        QString smuPort) {
    TActions a;
    a.PumpAtZero = [pumpAtZero] { return pumpAtZero->load(); };
    a.SendZero = [smuPort] {
        TSerialPort com;
        com.SetDebug(false);
        com.SetPort(smuPort);
        com.Send2(ZeroCurrentCommand2401(), false);
    };
    a.Report = [](const QString& text) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        std::fflush(stderr);
        LogEvent(QStringLiteral("Close"), text);
        // The event log writes from its own thread a few times a second: give it the time.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    };
    a.Exit = [](int code) {
        std::fflush(nullptr);
        std::_Exit(code);
    };
    return a;
}
