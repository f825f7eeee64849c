#pragma once
// The program's window against the simulated cell, for whole-run tests: opened on the simulator's
// two ports (both instruments validate at start), and closed as the operator closes it.
#include "app/ExperimentDataPage.h"
#include "app/TRtDoubleEdit.h"
#include "app/TfrmOndrix.h"
#include "common/Synchronize.h"
#include "diagnostics/LogChannel.h"
#include "simulator/CellSimulator.h"
#include "tests/support/ScriptedDialogs.h"

#include <functional>
#include <memory>

// A fresh window on the ports of `smu` and `dmm`, with the simulated sensor's calibration and
// points of `pointSeconds`.
inline std::unique_ptr<TfrmOndrix> OpenSimulatedWindow(const QString& smu, const QString& dmm,
                                                       double pointSeconds) {
    InitializeLogChannels();
    auto w =
        std::make_unique<TfrmOndrix>([] { return QStringList(); }, TfrmOndrix::TSimulatedPorts{smu, dmm});
    TExperimentDataPage* d = w->ExperimentData;
    d->RtDoubleEditSensorAx->SetValue(20);
    d->RtDoubleEditSensorBx->SetValue(0.01);
    d->RtDoubleEditDataPointLength->SetValue(pointSeconds);
    return w;
}

inline std::unique_ptr<TfrmOndrix> OpenSimulatedWindow(TCellSimulator& sim, double pointSeconds) {
    return OpenSimulatedWindow(QString::fromStdString(sim.PortPath(TInstrumentId::Smu)),
                               QString::fromStdString(sim.PortPath(TInstrumentId::Dmm)), pointSeconds);
}

// Closes as the operator does (answering Yes), waiting for both workers, then frees the window.
inline void CloseWindow(std::unique_ptr<TfrmOndrix>& w, TScriptedDialogs& dialogs) {
    if (!w)
        return;
    dialogs.answers = {true};
    w->close();
    w.reset();
}
