#pragma once
// The sample's oxygen balance, fed row by row, from the rows and the experiment's details alone, so
// that a running experiment, its journal and any data file give the same numbers. Each row costs
// O(1): the balance keeps running sums, never a pass over the rows.
//
// Signs and units (all amounts in mol O2, positive = the quantity named):
//   Q     charge through the pump, C. A positive pump current moves oxygen OUT of the cell, so the
//         pump has taken Q / 4F mol O2 out. A row's current counts over the time since the row
//         before it (its Interval plus the moment between two points, which Interval leaves out).
//         A gap longer than the row's Interval (a dropped point, an outage: the pump kept driving)
//         is bridged with the mean of the two neighbouring currents and counted apart as estimated
//         charge; Q is the sum of both.
//   n_g   oxygen in the gas (GasPhaseOxygen.h) at the row's pO2 and cell temperature (the last
//         known when a row has none); n_g,start is that of the first row that has both, so what
//         the pump moved during the first row before its mean was reached is not seen.
//   L     leak into the cell, L = integral of J dt with J = alpha (FGpO2^1/4 - pO2^1/4) mol O2/s,
//         pO2 and FGpO2 in atm; kept as alpha times the integral of the drive, so a newly learned
//         alpha applies to the whole run.
//   dn    oxygen the sample has taken up since the start:
//           dn = -Q / 4F + L - (n_g - n_g,start)
//         (what the pump and the leak brought in, less what stayed in the gas).
//   b     oxygen per formula unit, b = b0 + 2 dn / n0 (n0 = m0 / M0; two O per O2);
//   delta nonstoichiometry against the nominal compound, delta = bs - b.
// alpha: the least-squares fit over the equilibrium points so far (LeakFit.h); before there is one,
// the alpha the operator entered.
//
// Equilibrium points: a step program advances when the cell has settled, so the end of each step
// is a point of the isotherm. A step ends where the Step column changes within a run of PIDStep or
// PPS rows; the last step of a run counts when the run ends (another mode, a mode change, Finish())
// after the step lasted at least RCDuration and its last row carried the flags of an advance (PIDStep:
// Stable pO2 and Range pO2; PPS: Stable pO2 and Stable I). Its values are the time-weighted means
// over the step's last RCDuration seconds and the balance at its last row.
#include "common/DateTime.h"
#include "recording/DataRow.h"
#include "titration/LeakFit.h"
#include "titration/StepWindow.h"
#include "titration/TitrationSetup.h"

#include <vector>

// The running sums a balance is worked out from at one moment.
struct TBalanceSums {
    double Elapsed = 0;         // s since the first row began (gaps included)
    double ChargeMeasured = 0;  // C
    double ChargeEstimated = 0; // C, over gaps
    double LeakDriveTime = 0;   // atm^1/4 s, integral of (FGpO2^1/4 - pO2^1/4) dt
    double GasChangeMol = 0;    // mol O2, n_g - n_g,start
    double Charge() const { return ChargeMeasured + ChargeEstimated; }
};

// The balance after one data row, with the alpha in use then.
struct TBalanceRow {
    TDateTime Date = 0;
    double Duration = 0; // s, the row's Duration cell
    double Step = TDataRow::kEmpty;
    TBalanceSums Sums;
    double GasMol = TDataRow::kEmpty; // mol O2 in the gas now
    double LeakMol = 0;               // mol O2 leaked in so far
    double SampleMol = 0;             // dn, mol O2
    double b = TDataRow::kEmpty;      // mol O / mol compound; NaN without n0
    double Delta = TDataRow::kEmpty;  // bs - b
    double Alpha = 0;                 // mol O2 / (s atm^1/4)
};

struct TEquilibriumPoint {
    enum TDirection { Falling, Rising };
    TDateTime Date = 0;             // the step's last row
    int Step = 0;                   // the Step column (1-based)
    int Mode = 0;                   // 15 PIDStep, 16 PPS
    TStepMeans Means;               // over the step's last RCDuration
    TDirection Direction = Falling; // of pO2 during the step
    TBalanceSums Sums;
    // The leak current: the mean pump current that balances the leak, A.
    double LeakCurrent() const { return Means.PumpI; }
};

// The sample's state worked out from sums with a given alpha.
struct TSampleOxygen {
    double LeakMol = 0, SampleMol = 0;
    double b = TDataRow::kEmpty, Delta = TDataRow::kEmpty;
};

class TOxygenBalance {
public:
    explicit TOxygenBalance(const TTitrationSetup& setup);

    // One row of the experiment. Returns true (and fills `out` when given) for a data row; a
    // mode-change row only ends a run of rows.
    bool Add(const TDataRow& row, TBalanceRow* out = nullptr);
    // The rows have ended (the end of a file): the running step counts as above.
    void Finish();

    const TTitrationSetup& Setup() const { return fSetup; }
    const TBalanceSums& Sums() const { return fSums; }
    long long DataRows() const { return fDataRows; }
    // The alpha in use: fitted, else entered; 0 with the leak correction off.
    double Alpha() const;
    // The fit itself, whether or not it is used.
    const TLeakFit& LeakFit() const { return fLeakFit; }
    // The sample's state for `sums` with the alpha now in use.
    TSampleOxygen Evaluate(const TBalanceSums& sums) const;
    // The equilibrium points so far, in order.
    const std::vector<TEquilibriumPoint>& Points() const { return fPoints; }
    // The step's running means (the last RCDuration of the step in progress); false outside a step.
    bool StepMeans(TStepMeans& means) const;

private:
    void EndStepRun(bool requireSettled);
    void EmitPoint();

    TTitrationSetup fSetup;
    double fFlushRoot = 0; // FGpO2^1/4
    TBalanceSums fSums;
    TLeakFit fLeakFit;
    std::vector<TEquilibriumPoint> fPoints;
    long long fDataRows = 0;

    // The previous data row and what carries over rows without a reading.
    bool fHavePrevious = false;
    bool fModeChangeSince = false; // a mode-change row since the previous data row
    double fPrevMode = 0, fPrevDuration = 0, fPrevDate = 0, fPrevCurrent = 0, fPrevDrive = 0;
    double fLastpO2 = TDataRow::kEmpty; // atm
    double fLastT = TDataRow::kEmpty;   // degC
    double fGasStartMol = TDataRow::kEmpty;

    // The step in progress of a PIDStep or PPS run.
    bool fInStep = false;
    int fStepMode = 0;
    double fStep = 0;
    double fStepStartElapsed = 0;
    double fStepStartLog = 0;
    bool fLastRowSettled = false;
    TDateTime fLastDate = 0;
    TStepWindow fWindow;
};
