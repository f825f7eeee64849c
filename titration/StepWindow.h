#pragma once
// Time-weighted means over the last stretch of a step (the relative-change duration): cell
// temperature, log10 pO2, pump current and leak drive. Each row enters once and leaves once, so a
// row costs O(1) however long the step runs.
#include <deque>

struct TStepMeans {
    double CellT = 0;    // degC
    double Log10pO2 = 0; // log10(atm)
    double PumpI = 0;    // A
    double Drive = 0;    // FGpO2^1/4 - pO2^1/4, atm^1/4
};

class TStepWindow {
public:
    // A row ending at `end` (s on the balance's clock) that stands for `weight` seconds.
    void Add(double end, double weight, const TStepMeans& values);
    // Keeps the rows that end after `end - length`; the last row always stays.
    void Trim(double end, double length);
    void Clear();
    bool Empty() const { return fRows.empty(); }
    TStepMeans Means() const;

private:
    struct TRow {
        double End, Weight;
        TStepMeans Values;
    };
    void Accumulate(const TRow& r, double sign);
    std::deque<TRow> fRows;
    double fWeight = 0;
    TStepMeans fSums;
};
