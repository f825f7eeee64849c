#include "titration/TOxygenBalance.h"

#include "titration/GasPhaseOxygen.h"

#include <cmath>

namespace {

constexpr double kPIDStepRow = 15; // Mode of a data row integrated in PIDStep
constexpr double kPPSRow = 16;

double FourthRoot(double x) {
    return std::sqrt(std::sqrt(x));
}

} // namespace

TOxygenBalance::TOxygenBalance(const TTitrationSetup& setup)
    : fSetup(setup), fFlushRoot(setup.FGpO2 > 0 ? FourthRoot(setup.FGpO2) : 0) {}

double TOxygenBalance::Alpha() const {
    if (!fSetup.LeakCorrection)
        return 0;
    return fLeakFit.HasFit() ? fLeakFit.Alpha() : fSetup.EnteredAlpha;
}

TSampleOxygen TOxygenBalance::Evaluate(const TBalanceSums& sums) const {
    TSampleOxygen s;
    s.LeakMol = Alpha() * sums.LeakDriveTime;
    // Oxygen the sample took up, mol O2: in through the leak, out through the pump (positive
    // current = out), less what stayed in the gas.
    s.SampleMol = -sums.Charge() / (4 * kTitrationFaraday) + s.LeakMol - sums.GasChangeMol;
    const double n0 = fSetup.n0();
    if (n0 > 0) {
        s.b = fSetup.b0 + 2 * s.SampleMol / n0; // two O per O2
        s.Delta = fSetup.bs - s.b;
    }
    return s;
}

bool TOxygenBalance::StepMeans(TStepMeans& means) const {
    if (!fInStep || fWindow.Empty())
        return false;
    means = fWindow.Means();
    return true;
}

void TOxygenBalance::EmitPoint() {
    if (fWindow.Empty())
        return;
    TEquilibriumPoint p;
    p.Date = fLastDate;
    p.Step = int(fStep);
    p.Mode = fStepMode;
    p.Means = fWindow.Means();
    p.Direction = p.Means.Log10pO2 < fStepStartLog ? TEquilibriumPoint::Falling : TEquilibriumPoint::Rising;
    p.Sums = fSums;
    // In equilibrium the pump takes out what leaks in: I / 4F = alpha * drive.
    fLeakFit.Add(p.Means.Drive, p.Means.PumpI / (4 * kTitrationFaraday));
    fPoints.push_back(p);
}

void TOxygenBalance::EndStepRun(bool requireSettled) {
    if (!fInStep)
        return;
    const bool lastedLongEnough = fSums.Elapsed - fStepStartElapsed >= fSetup.RCDuration;
    if (!requireSettled || (fLastRowSettled && lastedLongEnough))
        EmitPoint();
    fInStep = false;
    fWindow.Clear();
}

void TOxygenBalance::Finish() {
    EndStepRun(true);
}

bool TOxygenBalance::Add(const TDataRow& row, TBalanceRow* out) {
    if (row.Kind == TRowKind::ModeChange) {
        EndStepRun(true);
        fModeChangeSince = true;
        return false;
    }
    const double mode = row[TProperty::Mode];
    const double interval = row[TProperty::Interval] > 0 ? row[TProperty::Interval] : 0; // NaN -> 0
    const double current =
        row.Has(TProperty::PumpI) ? row[TProperty::PumpI] : (fHavePrevious ? fPrevCurrent : 0);
    const bool stepRow = (mode == kPIDStepRow || mode == kPPSRow) && row.Has(TProperty::Step);
    const double step = row[TProperty::Step];

    // Where a step ended with the row before, its point is taken before this row counts.
    if (fInStep) {
        if (fModeChangeSince || mode != fStepMode || !stepRow)
            EndStepRun(true);
        else if (step != fStep) { // the program advanced
            EmitPoint();
            fInStep = false;
            fWindow.Clear();
        }
    }
    const double logBefore = fLastpO2 > 0 ? std::log10(fLastpO2) : TDataRow::kEmpty;
    if (row[TProperty::CellpO2] > 0)
        fLastpO2 = row[TProperty::CellpO2];
    if (row.Has(TProperty::Temp))
        fLastT = row[TProperty::Temp];

    // The time since the previous row ended: from the Duration cells within a run of one mode (they
    // do not jump with the wall clock), from the Time cells across a mode change.
    double span = interval;
    double gap = 0;
    if (fHavePrevious) {
        double dt = TDataRow::kEmpty;
        if (!fModeChangeSince && mode == fPrevMode && row[TProperty::Time] > fPrevDuration)
            dt = row[TProperty::Time] - fPrevDuration;
        else if (row.Has(TProperty::Date))
            dt = (row[TProperty::Date] - fPrevDate) * SecondsPerDay;
        if (dt > 0) {
            if (dt - interval > interval)
                gap = dt - interval;
            else
                span = dt;
        }
    }
    const double drive = fLastpO2 > 0 ? fFlushRoot - FourthRoot(fLastpO2) : 0; // atm^1/4
    fSums.ChargeMeasured += current * span;
    fSums.LeakDriveTime += drive * span;
    if (gap > 0) { // bridged: the pump kept driving while no point was taken
        fSums.ChargeEstimated += gap * 0.5 * (fPrevCurrent + current);
        fSums.LeakDriveTime += gap * 0.5 * (fPrevDrive + drive);
    }
    const double rowStart = fSums.Elapsed + gap;
    fSums.Elapsed += gap + span;

    const double gas = GasPhaseOxygenMol(fLastpO2, fLastT, fSetup.Vhp, fSetup.Vgp, fSetup.Tl);
    if (!std::isnan(gas)) {
        if (std::isnan(fGasStartMol))
            fGasStartMol = gas;
        fSums.GasChangeMol = gas - fGasStartMol;
    }

    if (stepRow) {
        if (!fInStep) {
            fInStep = true;
            fStepMode = int(mode);
            fStep = step;
            fStepStartElapsed = rowStart;
            fStepStartLog = !std::isnan(logBefore) ? logBefore : (fLastpO2 > 0 ? std::log10(fLastpO2) : 0);
            fWindow.Clear();
        }
        if (fLastpO2 > 0 && !std::isnan(fLastT)) {
            fWindow.Add(fSums.Elapsed, interval > 0 ? interval : span,
                        {fLastT, std::log10(fLastpO2), current, drive});
            fWindow.Trim(fSums.Elapsed, fSetup.RCDuration);
        }
        fLastRowSettled = mode == kPIDStepRow
                              ? row.IsTrue(TProperty::StablepO2) && row.IsTrue(TProperty::RangepO2)
                              : row.IsTrue(TProperty::StablepO2) && row.IsTrue(TProperty::StableI);
        fLastDate = row[TProperty::Date];
    }

    fHavePrevious = true;
    fModeChangeSince = false;
    fPrevMode = mode;
    fPrevDuration = row.Has(TProperty::Time) ? row[TProperty::Time] : fPrevDuration + gap + span;
    fPrevDate = row.Has(TProperty::Date) ? row[TProperty::Date] : fPrevDate + (gap + span) / SecondsPerDay;
    fPrevCurrent = current;
    fPrevDrive = drive;
    ++fDataRows;

    if (out) {
        const TSampleOxygen s = Evaluate(fSums);
        out->Date = row[TProperty::Date];
        out->Duration = row[TProperty::Time];
        out->Step = step;
        out->Sums = fSums;
        out->GasMol = gas;
        out->LeakMol = s.LeakMol;
        out->SampleMol = s.SampleMol;
        out->b = s.b;
        out->Delta = s.Delta;
        out->Alpha = Alpha();
    }
    return true;
}
