#include "control/TPumpResults.h"

#include "common/Clock.h"
#include "common/NumberFormat.h"
#include "control/TPID.h"
#include "diagnostics/LogChannel.h"
#include "instruments/InstrumentNumber.h"
#include "instruments/TLinkMonitor.h"

TPumpResults::TPumpResults(IThread2401Host* host, TRunState& run, TPumpHandOver& shared, TStopRequest& stop)
    : fHost(host), fRun(run), fShared(shared), fStop(stop) {}

void TPumpResults::UpdatePaused(const TSMUReading& none) {
    fRun.Points.DropPump();
    Update(none);
}

void TPumpResults::LinkFault() {
    fRun.Points.Drop();
}

void TPumpResults::Update(const TSMUReading& reading) {
    // The loop takes the command published here at the start of its next cycle.
    const double L = fHost ? fHost->DataPointLength() : 10.0;
    // The time of the reading, not of this call: the call may come late when the main thread was
    // busy, and the point's times must be those of its readings. Durations come from the
    // monotonic clock; the wall clock only names the moment.
    const bool stamped = reading.HandedAt > 0;
    const double now = stamped ? reading.HandedAt : MonotonicSeconds();
    const TWallTime wall = stamped ? reading.HandedAtWall : NowWithOffset();
    fStop.Take();
    fMode = fShared.ModeEx.load();
    if (fMode == TMode::Paused) {
        fShared.ModeIntegrator.store(TMode::Paused);
        fRun.Points.DropPump();
    }

    TPointIntegrator& points = fRun.Points;
    if (points.PointOpen()) {
        // A point is open: nothing of the operator's settings is taken over until it completes.
        LogThread2401.Send(QStringLiteral("IntegrateI.DurationS: ") +
                           FormatGeneral(points.Current().DurationS()) + QStringLiteral(" < ") +
                           FormatGeneral(L));
        if (!points.Temperature().Empty())
            LogThread2401.Send(QStringLiteral("IntegrateT.DurationS: ") +
                               FormatGeneral(points.Temperature().DurationS()) + QStringLiteral(" < ") +
                               FormatGeneral(L));
    } else {
        if (fShared.ModeIntegrator.load() != fMode) {
            points.BeginMode(now);
            fRun.DataPointDate = wall.Local;
            fShared.ModeIntegrator.store(fMode);
            if (fRun.ExperimentStartTime == 0)
                fRun.ExperimentStartTime = now;
        }
        // The setpoints the next point is driven and measured under.
        fDemand.SetVoltagemV = fHost ? fHost->SetVoltagemV() : 0;
        fDemand.PPSVoltageV = fRun.PID ? fRun.PID->Setpoint() : 0.0;
        fDemand.GSCurrentMicroA = fRun.GSCurrentMicroA;
        points.TakeConditions(fRun.CurrentStep, fRun.PID ? fRun.PID->Setpoint() : 0.0);
        LogThread2401.Send(QStringLiteral("Between integrations"));
    }

    const TMode integrating = fShared.ModeIntegrator.load();
    fDemand.Mode = integrating;
    fDemand.CurrentLimitMicroA = fRun.PID ? fRun.PID->A() : 1.0;
    fDemand.PIDDrives = fRun.PID != nullptr;
    if (reading.MeasurementsOK)
        fCurrentMeasured = reading.CurrentMeasured;
    if ((integrating == TMode::PIDSet || integrating == TMode::PIDStep) && fRun.PID) {
        fDemand.PIDFeedBackmV = fRun.PID->FeedBack();
        const float volts = float(fDemand.PIDFeedBackmV / 1000.0); // mV to V
        LogThread2401.Send(QStringLiteral("PID or PPID mode fSourceVoltageDesired = ") +
                           FormatGeneral(volts));
        fRun.PID->CurrentApplied = fCurrentMeasured;
        LogThread2401.Send(QStringLiteral("PID set mVolts ") +
                           FormatInstrumentNumber(QStringLiteral("0.000000"), volts));
        if (fHost)
            fHost->ShowPIDListing(fRun.PID->SL());
    }
    fShared.Command.Set(PumpCommand(fDemand));

    if (integrating == TMode::Paused || !reading.MeasurementsOK) {
        LogThread2401.Send(QStringLiteral("Thread was paused or bad data"));
        return;
    }
    if (!fRun.LinksDeliver()) {
        // An instrument is out: the point starts afresh once both deliver again.
        points.Drop();
        return;
    }

    points.AddPump(reading);
    if (!points.Complete(L)) {
        LogThread2401.Send(QStringLiteral("Skipped adding data"));
    } else {
        LogThread2401.Send(QStringLiteral("IntegrateI.DurationS: ") +
                           FormatGeneral(points.Current().DurationS()) + QStringLiteral(" > ") +
                           FormatGeneral(L));
        LogThread2401.Send(QStringLiteral("IntegrateT.DurationS: ") +
                           FormatGeneral(points.Temperature().DurationS()) + QStringLiteral(" > ") +
                           FormatGeneral(L));
        // CellpO2 carries over from the last point when this one has no fresh pO2 average.
        TDataPoint p = points.TakePoint(now, wall, std::int32_t(integrating), fRun.DataPoint);
        p.Galvanostatic = fRun.ProgramState == TProgramState::SetCurrent;
        p.GSCurrentMicroA = fRun.GSCurrentMicroA;
        fRun.DataPointDate = wall.Local;
        if (fMode != TMode::Paused)
            fRun.HandOverDataPoint(p);
    }
    LogThread2401.Send(QStringLiteral("5"));
}
