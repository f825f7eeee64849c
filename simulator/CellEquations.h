#pragma once
// The transducers of the simulated cell, written from the sensor's side: what each one puts out
// for a given physical state. The program reads these outputs back with its own conversions, so
// the thermistor and sensor curves are the exact inverses of the curves the program applies.
namespace CellEquations {

// Physical constants (CODATA) used by the cell physics.
constexpr double kFaraday = 96485.33212;     // C/mol
constexpr double kGasConstant = 8.314462618; // J/(mol K)
constexpr double kAtm = 101325.0;            // Pa
constexpr double kZeroCelsius = 273.15;      // K

// Type S thermocouple EMF (ITS-90 reference function) against a junction at 0 °C, in millivolts.
// Valid from -50 to 1768.1 °C; outside that the nearest branch is extrapolated.
double TypeSMilliVolt(double celsius);

// Resistance of the cold-junction thermistor at `celsius`, ohms (about 10 kΩ at 25 °C).
double ThermistorOhm(double celsius);

// Oxygen sensor output in volts for a gas at `pO2Atm` and `celsius`, with the sensor's own
// calibration constants Ax (K) and Bx. Reference pO2 0.209 atm: 0 V at 0.209 atm when Ax = Bx = 0,
// negative for leaner gas.
double SensorVolt(double pO2Atm, double celsius, double ax, double bx);

// Nernst voltage of the pump between the flush gas and the cell gas, volts: positive when the cell
// holds less oxygen than the flush gas.
double NernstVolt(double flushpO2Atm, double cellpO2Atm, double kelvin);

} // namespace CellEquations
