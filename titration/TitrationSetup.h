#pragma once
// What the oxygen balance needs to know of the sample and the cell, in the units the "Experiment
// data" page and the data file give them.
#include "recording/CellDetails.h"
#include "recording/SampleDetails.h"

class TDataFileReader;

struct TTitrationSetup {
    double m0 = 0;              // g, sample mass
    double M0 = 0;              // g/mol, initial molar mass
    double b0 = 0;              // mol O per mol compound at the start
    double bs = 0;              // mol O per mol compound of the nominal stoichiometric compound
    double Vhp = 0.012;         // L, gas of the hot part around the sample, at the cell temperature
    double Vgp = 0.012;         // L, gas of the gradient part, from the cell temperature down to Tl
    double Tl = 30;             // degC, cold end
    double FGpO2 = 0.21;        // atm, flush gas outside the cell
    double RCDuration = 120;    // s, the stretch at a step's end that defines its equilibrium
    double EnteredAlpha = 0;    // mol O2 / (s atm^1/4), used until an equilibrium point gives one
    bool LeakCorrection = true; // false: the leak is left out of the balance (alpha still learned)

    // n0 = m0 / M0, mol of compound; 0 when M0 is not above 0 (as the "Experiment data" page does).
    double n0() const { return M0 > 0 ? m0 / M0 : 0; }

    static TTitrationSetup From(const TSampleDetails& sample, const TCellDetails& cell);
    // As a data file's (or journal's) variables give them, by their abbreviations; the defaults
    // above for those it lacks.
    static TTitrationSetup FromFile(const TDataFileReader& file);
};
