#include "acquisition/TCellResults.h"

#include "acquisition/Thermocouples.h"
#include "common/Clock.h"
#include "control/TPID.h"
#include "diagnostics/LogChannel.h"
#include "instruments/TLinkMonitor.h"

#include <cmath>

TCellResults::TCellResults(IThread2000Host* host, TRunState& run, TCellHandOver& shared, TStopRequest& stop)
    : fHost(host), fRun(run), fShared(shared), fStop(stop) {}

void TCellResults::UpdatePaused(const TDMMReading& none) {
    fRun.Points.DropCell();
    Update(none);
}

void TCellResults::LinkFault() {
    fRun.Points.Drop();
}

void TCellResults::Update(const TDMMReading& reading) {
    LogK2000.EnterMethod(QStringLiteral("UpdateResults"));
    if (fHost) {
        fShared.CTO.store(fHost->CellTemperatureOverride());
        fShared.FastLogic.store(fHost->FastMode());
        fShared.FastCount.store(fHost->FastModeCount());
    }
    fStop.Take();
    const bool paused = fShared.ToPauseEx.load();
    fShared.ToPause.store(paused);
    if (paused) {
        LogK2000.Send(QStringLiteral("Thread was paused"));
    } else if (!fRun.LinksDeliver()) {
        // An instrument is out: the point starts afresh once both deliver again.
        fRun.Points.Drop();
    } else {
        // The sensor's pO2 (atm) is worked out only for a cycle that read it.
        const double pO2 =
            reading.TemperatureOK && reading.SensorOK
                ? SensorpO2(reading.CellTemp, reading.SensorVoltage, fRun.SensorAx, fRun.SensorBx)
                : 0.0;
        fRun.Points.AddCell(reading, pO2);
        if (reading.TemperatureOK && reading.SensorOK && fRun.PID)
            fRun.PID->SetProcessVariable(std::log10(pO2));
        fRun.LastCellTemp = reading.CellTemp;
        if (reading.TemperatureOK)
            fRun.LastCellTempTime = reading.HandedAt > 0 ? reading.HandedAt : MonotonicSeconds();
    }
    LogK2000.ExitMethod(QStringLiteral("UpdateResults"));
}
