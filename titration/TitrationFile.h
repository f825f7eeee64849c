#pragma once
// The oxygen balance of a data file or journal, without a window (`ondrix --titration`): reads the
// file with the data-file reader, feeds its rows to a TOxygenBalance with the sample and cell values
// of its variables, and writes
//   <output>.csv          one line per data row: UTF-8, ',' between fields, '.' decimals, header
//     time,duration_s,step,charge_C,charge_estimated_C,gas_O2_mol,leak_O2_mol,sample_O2_mol,b,delta,
//     alpha_mol_per_s_atm025
//                         (time ISO 8601 local; the balance as it stood after that row, with the
//                         alpha known then, as a running experiment shows it);
//   the isotherm          beside it (TIsothermFile::PathFor(output)), with the final alpha.
#include <QString>

struct TTitrationFileOptions {
    double EnteredAlpha = 0; // mol O2 / (s atm^1/4), until an equilibrium point gives one
};

struct TTitrationFileResult {
    bool Ok = false;
    QString Message; // for the operator when it failed
    QString CsvPath, IsothermPath;
    long long DataRows = 0, SkippedLines = 0;
    int Points = 0;
    double Alpha = 0, AlphaError = 0, Delta = 0, Charge = 0, ChargeEstimated = 0;
};

class TTitrationFile {
public:
    // "<input without .csv and .journal>.titration.csv", beside the input.
    static QString DefaultOutput(const QString& inputPath);
    static TTitrationFileResult Run(const QString& inputPath, const QString& csvPath,
                                    const TTitrationFileOptions& options = {});
    // The isotherm of a run worked out again from its data file or journal (after recovery: the
    // rows the running program saw, and the step that was running when it stopped), written to
    // `isothermPath` (nothing when the rows hold no equilibrium point).
    static bool RecomputeIsotherm(const QString& runFile, const QString& isothermPath,
                                  QString* error = nullptr);
};
