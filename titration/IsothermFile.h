#pragma once
// The isotherm of a run: one line per equilibrium point, written as a whole through QSaveFile (a
// complete file or none) each time a point is added.
//
// Name: beside the run's journal or data file, with ".isotherm.csv" in place of ".journal.csv" or
// ".csv", so "LSC 64_run-20240315-140509.isotherm.csv" sorts next to that run's journal and data
// files. Content: UTF-8, ',' between fields, '.' decimals, one header line:
//   time,elapsed_s,step,mode,direction,cell_T_degC,log10_pO2_atm,b,delta,charge_C,
//   charge_estimated_C,leak_current_A,alpha_mol_per_s_atm025,alpha_se
// time is ISO 8601 local time, direction "falling" or "rising" (pO2 during the step), mode
// "PIDStep" or "PPS"; b and delta are worked out with the alpha of the latest fit, so every line of
// a file agrees with the others; an unknown value is an empty field.
#include <QString>
#include <string>

class TOxygenBalance;

class TIsothermFile {
public:
    // The isotherm beside `runFile` (a journal, a data file or a titration balance file).
    static QString PathFor(const QString& runFile);
    // The whole file's text.
    static std::string Text(const TOxygenBalance& balance);
    // Writes it; on failure false with the path and the reason in `error`.
    static bool Write(const QString& path, const TOxygenBalance& balance, QString* error = nullptr);
};
