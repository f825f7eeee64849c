#pragma once
// The sample an experiment starts from, and the values derived from it.
#include <QString>

struct TSampleDetails {
    QString Name;    // the experiment name
    QString Formula; // nominal formula
    double bs = 0;   // g/mol, nominal stoichiometric molar content of oxygen (stored only)
    double M = 0;    // g/mol, nominal molar mass (stored only)
    double b0 = 0;   // mol/mol, initial molar content of oxygen
    double M0 = 0;   // g/mol, initial molar mass
    double d = 0;    // g/cm^3, initial density
    double m0 = 0;   // g, mass
};

struct TSampleValues {
    double Vs = 0;  // L, sample volume
    double n0 = 0;  // mol of compound
    double nO0 = 0; // mol of oxygen
    double mO0 = 0; // g of oxygen
    double mM = 0;  // g of everything but oxygen
    double Vhp = 0; // L, gas volume of the hot part around the sample
};

// Molar mass of oxygen, g/mol.
constexpr double kOxygenMolarMass = 15.9994;

// The derived values of a sample in a cell whose hot part holds vhpws litres without it. A density
// or molar mass that is zero or negative gives a zero volume or zero moles instead of a division.
TSampleValues CalculateSampleValues(const TSampleDetails& sample, double vhpws);
