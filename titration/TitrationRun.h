#pragma once
// The oxygen balance of the running experiment: fed each completed row (data and mode-change rows
// alike), it keeps the balance, the delta of every data row for the plot, and rewrites the run's
// isotherm file whenever a step advance (or the end of a program, or of the run) gives another
// equilibrium point. A plain class, so the window only hands rows to it.
#include "titration/TOxygenBalance.h"

#include <QString>

#include <memory>
#include <vector>

class TTitrationRun {
public:
    struct TDeltaAt {
        TDateTime Date; // the row's Date
        double Delta;   // as known after that row, with the alpha in use then
    };

    // A new run: the sample and cell as entered, the isotherm written to `isothermPath` (none when
    // empty). Whatever an earlier run held is dropped.
    void Start(const TTitrationSetup& setup, const QString& isothermPath);
    bool Running() const { return bool(fBalance); }
    // One completed row. True when it gave an equilibrium point.
    bool Add(const TDataRow& row);
    // The run has ended: its running step counts as a point when it had settled. True when it did.
    bool Finish();

    // Null before the first Start.
    const TOxygenBalance* Balance() const { return fBalance.get(); }
    const std::vector<TDeltaAt>& Deltas() const { return fDeltas; }
    // The sample's delta now, with the alpha now in use; NaN before a data row or without n0.
    double Delta() const;
    const QString& IsothermPath() const { return fIsothermPath; }
    // The last failed write of the isotherm (empty once a write succeeds again).
    const QString& WriteError() const { return fWriteError; }

private:
    bool WriteIfNewPoints();

    std::unique_ptr<TOxygenBalance> fBalance;
    std::vector<TDeltaAt> fDeltas;
    QString fIsothermPath, fWriteError;
    std::size_t fWrittenPoints = 0, fSeenPoints = 0;
};
