#pragma once
// The simulated titration cell, in SI units inside: a furnace, a small gas volume with its oxygen,
// the solid-electrolyte pump between that volume and the flush gas, a leak towards the flush gas, a
// sample that takes up or gives off oxygen, and the three transducers the multimeter reads.
//
// Sign convention: a positive pump current moves oxygen OUT of the cell volume (to the flush
// side), at I/(4F) mol/s. The pump voltage is the Nernst voltage (RT/4F) ln(pO2,flush / pO2) plus
// I * R_pump, so it is positive when the cell holds less oxygen than the flush gas, and a positive
// applied voltage above the Nernst voltage drives a positive current that lowers pO2 further. A
// voltage source thus holds the cell at pO2 = pO2,flush * exp(-4FV/RT) once the current has died.
#include "simulator/SampleIsotherm.h"

#include <cstdint>
#include <optional>
#include <random>

struct TSimCellParams {
    double volumeMl = 12.0;              // gas volume around the sample
    double flushpO2Atm = 0.2095;         // flush gas outside the cell (air)
    std::optional<double> initialpO2Atm; // cell gas at start; unset: the flush gas
    double furnaceSetpointC = 700.0;
    std::optional<double> furnaceStartC; // unset: at the setpoint
    double furnaceTauS = 600.0;          // first-order approach to the setpoint
    double furnaceWanderC = 0.05;        // standard deviation of the slow temperature wander
    double furnaceWanderTauS = 60.0;
    double roomC = 23.0; // cold junction (thermistor) temperature
    double roomWanderC = 0.02;
    double pumpResistanceOhm = 100.0;
    double leakAlpha = 2e-11; // mol/(s atm^0.25): leak = alpha (pflush^0.25 - p^0.25)
    // The sample: m g of a compound of molar mass M g/mol (both as it starts), B oxygen per formula
    // unit at delta = 0, so b = B - delta. Its delta relaxes towards the isotherm's delta(pO2, T)
    // with the time constant; each mole of compound gives off delta/2 mol O2 into the gas as its
    // delta rises. A mass of 0: no sample.
    double sampleMassG = 0.015;
    double sampleMolarMassGPerMol = 222.6; // La0.6Sr0.4Co0.2Fe0.8O3-delta
    double sampleOxygen = 3.0;
    double sampleTauS = 120.0;
    TSampleIsotherm sampleIsotherm = TSampleIsotherm::Default();
    double sensorAx = 20.0; // K; the sensor's calibration constants (sensor Ax/Bx boxes)
    double sensorBx = 0.01;
    double tcLoopOhm = 12.0;  // what an ohms reading of the thermocouple channel shows
    double sensorOhm = 150.0; // what an ohms reading of the sensor channel shows
    bool noise = true;
    uint64_t seed = 1;
    // Measurement noise (standard deviations) when noise is on.
    double tcNoiseV = 0.3e-6;
    double sensorNoiseV = 5e-6;
    double thermistorNoiseOhm = 0.5;
    double smuVoltNoiseV = 20e-6;
    double smuCurrentNoiseA = 2e-9;
};

// What the SourceMeter applies to the pump.
struct TPumpDrive {
    enum TKind { Off, Current, Voltage };
    TKind kind = Off;
    double level = 0;      // A for Current, V for Voltage
    double compliance = 0; // V for Current, A for Voltage (magnitude)
    bool operator==(const TPumpDrive& o) const {
        return kind == o.kind && level == o.level && compliance == o.compliance;
    }
};

struct TPumpState {
    double currentA = 0; // positive: oxygen leaves the cell
    double voltageV = 0; // at the pump terminals
    bool inCompliance = false;
};

class TSimCell {
public:
    explicit TSimCell(const TSimCellParams& params = TSimCellParams());

    // Moves the cell on by `seconds` of simulated time (in steps of at most one second).
    void Advance(double seconds);
    void SetPumpDrive(const TPumpDrive& drive) { fDrive = drive; }
    const TPumpDrive& PumpDrive() const { return fDrive; }

    // Parameters may be changed at any time; they act from the next step on.
    TSimCellParams& Params() { return fParams; }
    const TSimCellParams& Params() const { return fParams; }

    double TimeS() const { return fTime; }
    double CellTemperatureC() const { return fFurnaceC + fWanderC; }
    double ColdJunctionC() const { return fParams.roomC + fRoomWanderC; }
    double OxygenMol() const { return fMol; }
    double pO2Atm() const { return PressureAtm(fMol, CellKelvin()); }
    void SetpO2Atm(double atm);
    // Oxygen the sample has taken up since the start, mol O2 (negative: given off).
    double SampleOxygenMol() const { return SampleMoles() * (fSampleStartDelta - fSampleDelta) / 2; }
    // The sample's true delta now, at the start, and its moles of compound (m / M).
    double SampleDelta() const { return fSampleDelta; }
    double SampleStartDelta() const { return fSampleStartDelta; }
    double SampleMoles() const;
    // The equilibrium delta at `atm` and `celsius`.
    double SampleEquilibriumDelta(double atm, double celsius) const;
    double PumpedOutMol() const { return fPumpedOutMol; } // oxygen moved out by the pump so far
    double LeakedInMol() const { return fLeakedInMol; }   // oxygen let in by the leak so far
    double NernstVoltageV() const;
    // The pump's current and terminal voltage now, under the present drive (noise-free).
    TPumpState Pump() const { return PumpAt(fMol, CellKelvin()); }

    // What the multimeter's channels see, with measurement noise when enabled.
    double ThermocoupleVolt();
    double SensorVolt();
    double ThermistorOhm();

    // A normally distributed value with standard deviation `sd`; 0 when noise is off.
    double Noise(double sd);

private:
    double CellKelvin() const;
    double PressureAtm(double mol, double kelvin) const;
    double MolAt(double atm, double kelvin) const;
    TPumpState PumpAt(double mol, double kelvin) const;
    double LeakRate(double mol, double kelvin) const;
    void Step(double dt);

    TSimCellParams fParams;
    TPumpDrive fDrive;
    std::mt19937_64 fRandom;
    std::normal_distribution<double> fNormal{0.0, 1.0};
    double fTime = 0;
    double fFurnaceC = 0;
    double fWanderC = 0;
    double fRoomWanderC = 0;
    double fMol = 0;
    double fSampleDelta = 0;      // the sample's delta now
    double fSampleStartDelta = 0; // in equilibrium with the gas at the start
    double fPumpedOutMol = 0;
    double fLeakedInMol = 0;
};
