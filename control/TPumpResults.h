#pragma once
// The SourceMeter's results step, on the main thread: each reading the worker hands over takes
// over the operator's settings and the PID output between points, decides the next source command,
// feeds the pump averages and completes data points.
#include "control/IThread2401Host.h"
#include "control/PumpCommand.h"
#include "control/PumpHandOver.h"
#include "control/TRunState.h"
#include "instruments/StopRequest.h"
#include "recording/InstrumentReadings.h"

class TPumpResults {
public:
    // `run` is the run whose settings the step takes over and whose data points it completes;
    // `shared` and `stop` are what it shares with the worker. All must outlive it.
    TPumpResults(IThread2401Host* host, TRunState& run, TPumpHandOver& shared, TStopRequest& stop);

    // One reading handed over by the worker (a paused second's has MeasurementsOK false).
    void Update(const TSMUReading& reading);
    // A paused second has passed: the pump averages go, the step runs without a reading.
    void UpdatePaused(const TSMUReading& none);
    // A link fault began: the open data point must not span it.
    void LinkFault();

private:
    IThread2401Host* fHost;
    TRunState& fRun;
    TPumpHandOver& fShared;
    TStopRequest& fStop;
    // The mode taken over from the tick's request at the latest update.
    TMode fMode = TMode::Paused;
    // What the step decides the drive from, and the current of the reading it last took (A).
    TPumpDemand fDemand;
    double fCurrentMeasured = 0;
};
