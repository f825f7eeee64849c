#pragma once
// The worker thread that drives the SourceMeter 2401: each cycle it sends the source command of
// its mode, reads the pump voltage and current, and hands every good pair to the main thread
// (UpdateResults), which takes over the operator's settings and the PID output, feeds the pump
// averages and completes data points.
#include "common/Clock.h"
#include "common/LatestValue.h"
#include "control/IThread2401Host.h"
#include "control/PumpCommand.h"
#include "control/TRunState.h"
#include "instruments/TInstrumentWorker.h"
#include "recording/InstrumentReadings.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>

class TSerialPort;

// The SourceMeter's set-up sequence, each command without its carriage return.
const QStringList& SetUpSequence2401();
// Sends the SourceMeter's set-up sequence on `port`; outcomes are ignored.
void Initialize2401(const QString& port);
// The command that leaves the pump at 0 A, with its carriage return.
QByteArray ZeroCurrentCommand2401();

class TThread2401 : public TInstrumentWorker {
    Q_OBJECT
public:
    // `run` is the run whose settings the updates take over and whose data points they complete;
    // it must outlive the thread.
    TThread2401(IThread2401Host* host, TRunState& run, QObject* parent = nullptr);
    ~TThread2401() override;

    TMode ModeEx() const { return fModeEx.load(); }
    void SetModeEx(TMode m) { fModeEx.store(m); }

    // Runs on the main thread through the hand-over; never from the worker itself.
    void UpdateResults(const TSMUReading& reading);

    // What the worker loop reads (public for tests).
    TMode Mode() const { return fMode.load(); }
    TMode ModeIntegrator() const { return fModeIntegrator.load(); }
    // Good readings the loop has handed over to the main thread since it started.
    std::uint64_t ReadingsHandedOver() const { return fReadingsHandedOver.load(); }

protected:
    void Execute() override;
    void Initialize() override;
    void LinkFault() override;
    bool Paused() const override;
    std::function<void()> PausedUpdate() override;
    void PausedSecondStarts() override;

private:
    IThread2401Host* fHost;
    TRunState& fRun;
    // Main thread only: what the updates decide the drive from, and the current of the reading the
    // last update took (A).
    TPumpDemand fDemand;
    double fCurrentMeasured = 0;
    // The newest source command, set by the updates and taken by the loop at the start of a cycle.
    TLatestValue<TPumpCommand> fCommand;
    // Worker only: the voltage protection goes out with the next command (after the set-up).
    bool fVoltageProtectionDue = true;
    std::atomic<TMode> fModeEx{TMode::Uninitialized};
    std::atomic<TMode> fMode{TMode::Paused};
    std::atomic<TMode> fModeIntegrator{TMode::Paused};
    std::atomic<std::uint64_t> fReadingsHandedOver{0};
};
