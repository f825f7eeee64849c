#include "app/RunStatus.h"

#include "app/StatusHints.h"
#include "common/Clock.h"
#include "common/NumberFormat.h"
#include "control/TPID.h"
#include "control/TRunState.h"
#include "experiment/StepStatus.h"
#include "experiment/TExperimentModel.h"
#include "instruments/TLinkMonitor.h"
#include "recording/ColumnTable.h"
#include "recording/TDataGridModel.h"

#include <QStringList>
#include <cmath>

namespace {
bool StepProgramRuns(TProgramState s) {
    return s == TProgramState::PIDStep || s == TProgramState::PPS;
}
} // namespace

QString TRunStatus::ModeText(const TRunState& run, const TExperimentModel& model) {
    const int count = model.StepCount();
    const bool running = StepProgramRuns(run.ProgramState) && run.CurrentStep >= 0 && run.CurrentStep < count;
    QString text = QStringLiteral("Mode: ");
    if (running && run.ProgramState == TProgramState::PIDStep)
        text += QStringLiteral("Step:") + model.StepProgram()[run.CurrentStep].Text().left(4);
    else
        text += ProgramStateName(run.ProgramState);
    if (running)
        text += QStringLiteral("  Step %1 of %2").arg(run.CurrentStep + 1).arg(count);
    return text + TStatusHints::ModePaneHint(run.ProgramState, run.PID && run.PID->Calibration.Valid);
}

TMonitorStatus TRunStatus::Make(const TRunStatusSources& in) {
    const TRunState& run = in.Run;
    const TExperimentModel& model = in.Model;
    TMonitorStatus s;
    s.Experiment = model.Sample().Name;
    s.Delta = in.Delta;
    s.State = ProgramStateName(run.ProgramState);
    s.ModeText = ModeText(run, model);
    const int steps = model.StepCount();
    if (StepProgramRuns(run.ProgramState) && run.CurrentStep >= 0 && run.CurrentStep < steps) {
        s.Step = run.CurrentStep + 1;
        s.StepCount = steps;
    }
    s.InstrumentsValid = run.ProgramState != TProgramState::Uninitialized;
    s.SMU = in.SMU.State();
    s.DMM = in.DMM.State();
    s.SMUText = in.SMU.StatusText();
    s.DMMText = in.DMM.StatusText();
    s.Notice = in.Notice;
    s.LastSaveFile = run.LastSavedFile;
    s.LastSaveTime = run.LastSavedTime;
    s.JournalFile = in.JournalFile;
    s.RCDurationS = run.RCDuration;

    using TQuantity = TMonitorStatus::TSetpointQuantity;
    double setpoint = 0; // log10 pO2 (atm) in the PID modes, V in PPS
    if (run.ProgramState == TProgramState::PIDSet) {
        s.SetpointQuantity = TQuantity::PO2;
        s.Setpoint = std::pow(10.0, in.PIDSetSetpoint); // atm
    } else if (model.StepSetpoint(setpoint)) {
        const bool pps = run.ProgramState == TProgramState::PPS;
        s.SetpointQuantity = pps ? TQuantity::PumpV : TQuantity::PO2;
        s.Setpoint = pps ? setpoint : std::pow(10.0, setpoint);
    }
    if (in.Step.Running()) {
        s.StepSeconds = in.Step.StepSeconds();
        const TShownCriteria c = in.Step.Shown(model.Cell().RCAppliesToCurrent);
        s.StepInRange = c.InRange;
        s.StepPO2Stable = c.PO2Stable;
        s.StepCurrentStable = c.CurrentStable;
    }

    // A temperature the multimeter has not renewed for two data point lengths is no valid value;
    // while paused none is shown at all.
    const bool paused = run.ProgramState == TProgramState::Paused;
    const bool fresh = paused || run.ProgramState == TProgramState::Uninitialized ||
                       (run.LastCellTempTime > 0 &&
                        MonotonicSeconds() - run.LastCellTempTime <= 2 * model.DataPointLength());
    s.CellTempC = paused ? std::nan("") : run.LastCellTemp;
    s.CellTempValid = fresh && run.LastCellTemp > 500 && run.LastCellTemp < 1055;
    // Only the caption row: there is no relative change to show yet.
    const TDataGridModel& rows = model.Rows();
    if (rows.RowCount() > 1)
        s.RCpO2Text = rows.Cell(rows.RowCount() - 1, ColumnOf(TProperty::RCpO2));
    s.FlushText = in.FlushText;
    return s;
}

TStatusBarTexts TRunStatus::StatusBar(const TMonitorStatus& s) {
    TStatusBarTexts t;
    // A link fault is named for as long as it lasts.
    QStringList faults;
    if (s.InstrumentsValid) {
        if (s.SMU != TLinkState::OK)
            faults << s.SMUText;
        if (s.DMM != TLinkState::OK)
            faults << s.DMMText;
    }
    t.LinkFault = !faults.isEmpty();
    if (t.LinkFault)
        t.Links = faults.join(QStringLiteral("; "));
    else
        t.Links =
            s.InstrumentsValid ? QStringLiteral("Valid instruments") : QStringLiteral("Invalid instruments");
    t.LinksImage = s.InstrumentsValid && !t.LinkFault ? 2 : 0;

    if (std::isnan(s.CellTempC)) {
        t.Temperature = QStringLiteral("T, ºC: paused");
        t.TemperatureImage = -1;
    } else {
        t.Temperature = QStringLiteral("T, ºC: 500 < ") + FormatFloat(QStringLiteral("0.0"), s.CellTempC) +
                        QStringLiteral(" < 1055");
        t.TemperatureImage = s.CellTempValid ? 2 : 0;
    }
    t.Flush = s.FlushText;
    if (!s.RCpO2Text.isEmpty())
        t.RC = QStringLiteral("pO2 relative change last ") + FormatGeneral(s.RCDurationS) +
               QStringLiteral("s: ") + s.RCpO2Text + QStringLiteral(" %");
    t.Mode = s.ModeText;
    if (s.StepSeconds >= 0)
        t.Step =
            TStepStatus::Text(s.Step, s.StepSeconds, {s.StepInRange, s.StepPO2Stable, s.StepCurrentStable});
    t.Notice = s.Notice;
    return t;
}
