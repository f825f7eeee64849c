#pragma once
// The equilibrium nonstoichiometry of the simulated sample, delta(pO2, T), from a table: rows of
// temperature (degC), log10 pO2 (atm) and delta. Between the rows of one temperature delta is
// linear in log10 pO2, between two temperatures linear in T; outside the table it is held at the
// nearest edge. Files are CSV with the header line "T_degC,log10_pO2,delta".
#include <string>
#include <vector>

class TSampleIsotherm {
public:
    struct TRow {
        double celsius, log10pO2, delta;
    };

    // A mixed-conducting perovskite oxide at 700, 800 and 900 degC: delta about 0.01 in air,
    // about 0.3 at 1e-20 atm, larger when hotter.
    static TSampleIsotherm Default();
    // From rows in any order; false with `error` when there are none, a value is not finite or a
    // (T, log10 pO2) pair is given twice.
    static bool FromRows(std::vector<TRow> rows, TSampleIsotherm& out, std::string& error);
    static bool Parse(const std::string& text, TSampleIsotherm& out, std::string& error);
    static bool Load(const std::string& path, TSampleIsotherm& out, std::string& error);

    double Delta(double log10pO2, double celsius) const;
    bool Empty() const { return fCurves.empty(); }

private:
    struct TCurve {
        double celsius;
        std::vector<double> log10pO2, delta; // ascending in log10pO2
        double At(double logp) const;
    };
    std::vector<TCurve> fCurves; // ascending in temperature
};
