#include "titration/StepWindow.h"

void TStepWindow::Accumulate(const TRow& r, double sign) {
    const double w = sign * r.Weight;
    fWeight += w;
    fSums.CellT += w * r.Values.CellT;
    fSums.Log10pO2 += w * r.Values.Log10pO2;
    fSums.PumpI += w * r.Values.PumpI;
    fSums.Drive += w * r.Values.Drive;
}

void TStepWindow::Add(double end, double weight, const TStepMeans& values) {
    fRows.push_back({end, weight > 0 ? weight : 1.0, values});
    Accumulate(fRows.back(), +1);
}

void TStepWindow::Trim(double end, double length) {
    bool removed = false;
    while (fRows.size() > 1 && fRows.front().End <= end - length) {
        Accumulate(fRows.front(), -1);
        fRows.pop_front();
        removed = true;
    }
    if (removed && fRows.size() == 1) { // start afresh from the one row: no rounding left behind
        const TRow r = fRows.front();
        Clear();
        fRows.push_back(r);
        Accumulate(r, +1);
    }
}

void TStepWindow::Clear() {
    fRows.clear();
    fWeight = 0;
    fSums = {};
}

TStepMeans TStepWindow::Means() const {
    if (!(fWeight > 0))
        return {};
    return {fSums.CellT / fWeight, fSums.Log10pO2 / fWeight, fSums.PumpI / fWeight, fSums.Drive / fWeight};
}
