#include "titration/TitrationRun.h"

#include "titration/IsothermFile.h"

void TTitrationRun::Start(const TTitrationSetup& setup, const QString& isothermPath) {
    fBalance = std::make_unique<TOxygenBalance>(setup);
    fDeltas.clear();
    fIsothermPath = isothermPath;
    fWriteError.clear();
    fWrittenPoints = fSeenPoints = 0;
}

bool TTitrationRun::Add(const TDataRow& row) {
    if (!fBalance)
        return false;
    TBalanceRow b;
    if (fBalance->Add(row, &b))
        fDeltas.push_back({b.Date, b.Delta});
    return WriteIfNewPoints();
}

bool TTitrationRun::Finish() {
    if (!fBalance)
        return false;
    fBalance->Finish();
    return WriteIfNewPoints();
}

double TTitrationRun::Delta() const {
    if (!fBalance || fBalance->DataRows() == 0)
        return TDataRow::kEmpty;
    return fBalance->Evaluate(fBalance->Sums()).Delta;
}

bool TTitrationRun::WriteIfNewPoints() {
    const std::size_t points = fBalance->Points().size();
    const bool newPoint = points != fSeenPoints;
    fSeenPoints = points;
    // The whole file each time: the latest alpha changes every point's b and delta. A write that
    // failed is tried again with each row until it succeeds.
    if (points != fWrittenPoints && !fIsothermPath.isEmpty()) {
        QString error;
        if (TIsothermFile::Write(fIsothermPath, *fBalance, &error)) {
            fWrittenPoints = points;
            fWriteError.clear();
        } else {
            fWriteError = error;
        }
    }
    return newPoint;
}
