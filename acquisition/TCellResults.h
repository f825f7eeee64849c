#pragma once
// The multimeter's results step, on the main thread: each cycle's reading the worker hands over
// takes over the operator's override and fast mode for the next cycle, feeds the temperature and
// pO2 averages and hands the pO2 to the PID controller.
#include "acquisition/CellHandOver.h"
#include "acquisition/IThread2000Host.h"
#include "control/TRunState.h"
#include "instruments/StopRequest.h"
#include "recording/InstrumentReadings.h"

class TCellResults {
public:
    // `run` is the run whose temperature and pO2 averages the step feeds; `shared` and `stop` are
    // what it shares with the worker. All must outlive it.
    TCellResults(IThread2000Host* host, TRunState& run, TCellHandOver& shared, TStopRequest& stop);

    // One cycle's reading handed over by the worker.
    void Update(const TDMMReading& reading);
    // A paused second has passed: the temperature and pO2 averages go.
    void UpdatePaused(const TDMMReading& none);
    // A link fault began: the open data point must not span it.
    void LinkFault();

private:
    IThread2000Host* fHost;
    TRunState& fRun;
    TCellHandOver& fShared;
    TStopRequest& fStop;
};
