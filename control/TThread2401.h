#pragma once
// The worker thread that drives the SourceMeter 2401: each cycle it sends the source command of
// its mode, reads the pump voltage and current, and hands every good pair to its results step on
// the main thread (TPumpResults), whose newest source command it takes at the start of a cycle.
#include "common/Clock.h"
#include "control/IThread2401Host.h"
#include "control/PumpHandOver.h"
#include "control/TPumpResults.h"
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
    // `run` is the run whose settings the results step takes over and whose data points it
    // completes; it must outlive the thread.
    TThread2401(IThread2401Host* host, TRunState& run, QObject* parent = nullptr);
    ~TThread2401() override;

    // The mode the tick asks for, taken over by the results step.
    TMode ModeEx() const { return fShared.ModeEx.load(); }
    void SetModeEx(TMode m) { fShared.ModeEx.store(m); }

    // The mode the results step integrates in (public for tests).
    TMode ModeIntegrator() const { return fShared.ModeIntegrator.load(); }
    // Good readings the loop has handed over to the main thread since it started.
    std::uint64_t ReadingsHandedOver() const { return fReadingsHandedOver.load(); }

protected:
    void Execute() override;
    void Initialize() override;
    std::function<void()> LinkFaultUpdate() override;
    bool Paused() const override;
    std::function<void()> PausedUpdate() override;
    void PausedSecondStarts() override;

private:
    // All the worker shares with its results step besides the stop request.
    TPumpHandOver fShared;
    // Main thread only: the hand-overs run it.
    TPumpResults fResults;
    // Worker only: the voltage protection goes out with the next command (after the set-up).
    bool fVoltageProtectionDue = true;
    std::atomic<std::uint64_t> fReadingsHandedOver{0};
};
