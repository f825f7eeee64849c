#pragma once
// The worker thread that drives the SourceMeter 2401: each cycle it sends the source command of
// its mode, reads the pump voltage and current, and hands every good pair to the main thread
// (UpdateResults), which takes over the operator's settings and the PID output, feeds the pump
// averages and completes data points.
#include "common/Clock.h"
#include "control/IThread2401Host.h"
#include "control/TRunState.h"
#include "instruments/TInstrumentWorker.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <mutex>

class TSerialPort;

// The SourceMeter's set-up sequence, each command without its carriage return.
const QStringList& SetUpSequence2401();
// Sends the SourceMeter's set-up sequence on `port`; outcomes are ignored.
void Initialize2401(const QString& port);
// The command that leaves the pump at 0 A, with its carriage return.
QByteArray ZeroCurrentCommand2401();

// One cycle's reading as the worker took it, handed to the update by value: the update may run
// later than the cycle (main thread busy), so it never reads the worker's changing fields.
struct TSMUReading {
    bool MeasurementsOK = false; // both values parsed
    double ResponseTime = 0;     // monotonic s when the reply was taken
    double HandedAt = 0;         // monotonic s when the cycle handed over (the end of the reading)
    TWallTime HandedAtWall;      // the same moment on the wall clock
    double VoltageMeasured = 0;  // V
    double CurrentMeasured = 0;  // A
};

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
    // Guards the settings the update writes and the worker's loop reads between updates.
    mutable std::mutex fDriveLock;
    double fCurrentMeasured = 0; // of the reading the last update took
    std::atomic<TMode> fModeEx{TMode::Uninitialized};
    std::atomic<TMode> fMode{TMode::Paused};
    std::atomic<TMode> fModeIntegrator{TMode::Paused};
    double fGSCurrentMicroA = 0;
    double fGSCurrentA = 0;
    QString fGSCurrentS;
    double fDataStartTime = 0; // monotonic s when integrating in the current mode began
    double fLimitCurrentForm = 0.005;
    double fLimitCurrentPID = 0.005;
    float fSourceVoltageDesired = 0;
    double fVoltageLimitDesired = 1.1;
    double fVoltageLimitApplied = 0;
    // What the point being integrated is measured under (taken between points).
    std::int32_t fPointStep = 0;
    double fPointSetPoint = 0;
};
