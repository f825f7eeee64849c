#pragma once
// What the benchmarks that run both workers against the simulator share: the event loop the
// hand-overs need, the wire-time paced simulator, fixed answers to the workers' questions, and
// both workers started on one simulator and stopped and freed at the end.
#include "acquisition/TThread2000.h"
#include "common/FreeAndNil.h"
#include "control/TPID.h"
#include "control/TRunState.h"
#include "control/TThread2401.h"
#include "simulator/CellSimulator.h"

#include <QEventLoop>
#include <QTimer>
#include <string>

// Runs the event loop for `ms` milliseconds.
inline void Serve(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The simulator with wire-time pacing and a quiet cell.
inline TSimOptions Paced() {
    TSimOptions o;
    o.controlFifo = false;
    o.wireTime = true;
    o.cell.noise = false;
    return o;
}

class THost2401 : public IThread2401Host {
public:
    double pointLength = 10; // s
    double DataPointLength() const override { return pointLength; }
    int SetVoltagemV() const override { return 0; }
    void ShowPIDListing(const QStringList&) override {}
};

class THost2000 : public IThread2000Host {
public:
    bool fast = false;
    double CellTemperatureOverride() const override { return 0; }
    bool FastMode() const override { return fast; }
    int FastModeCount() const override { return 20; }
};

// Both workers against one simulator, started and running in GS mode; stopped and freed at the
// end. `failed` says why the simulator did not start.
class TBothWorkers {
public:
    explicit TBothWorkers(const TSimOptions& options, bool fastMode = false) : sim(options) {
        host2000.fast = fastMode;
        std::string error;
        if (!sim.Start(error)) {
            failed = error;
            return;
        }
        const QString smuPort = QString::fromStdString(sim.PortPath(TInstrumentId::Smu));
        const QString dmmPort = QString::fromStdString(sim.PortPath(TInstrumentId::Dmm));
        Initialize2401(smuPort);
        Initialize2000(dmmPort);
        run.PID = new TPID();
        smu.Port = smuPort;
        smu.SetModeEx(TMode::SetCurrent);
        dmm.Port = dmmPort;
        dmm.SetToPauseEx(false);
        smu.start();
        dmm.start();
        while (smu.ModeIntegrator() != TMode::SetCurrent || dmm.TickCount() < 2)
            Serve(50);
        Serve(500);
    }
    ~TBothWorkers() {
        if (!failed.empty())
            return;
        smu.SetToStopEx(true);
        dmm.SetToPauseEx(false);
        dmm.SetToStopEx(true);
        while (!smu.IsStopped() || !dmm.IsStopped())
            Serve(20);
        smu.wait();
        dmm.wait();
        FreeAndNil(run.PID);
    }

    TCellSimulator sim;
    std::string failed;
    THost2401 host2401;
    THost2000 host2000;
    TRunState run; // the run both workers serve
    TThread2401 smu{&host2401, run};
    TThread2000 dmm{&host2000, run};
};
