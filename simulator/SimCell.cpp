#include "simulator/SimCell.h"

#include "simulator/CellEquations.h"

#include <algorithm>
#include <cmath>

using namespace CellEquations;

namespace {
constexpr double kMinMol = 1e-60; // floor for the oxygen in the gas volume
constexpr double kMinAtm = 1e-60; // floor for pO2 inside logarithms
constexpr double kMaxStepS = 1.0; // longest physics step
constexpr int kMaxStepsPerCall = 20000;
} // namespace

TSimCell::TSimCell(const TSimCellParams& params) : fParams(params), fRandom(params.seed) {
    fFurnaceC = fParams.furnaceStartC.value_or(fParams.furnaceSetpointC);
    const double startAtm = fParams.initialpO2Atm.value_or(fParams.flushpO2Atm);
    fMol = std::max(kMinMol, MolAt(startAtm, CellKelvin()));
    fSampleStartDelta = SampleEquilibriumDelta(startAtm, CellTemperatureC());
    fSampleDelta = fSampleStartDelta;
}

double TSimCell::SampleMoles() const {
    return fParams.sampleMassG > 0 && fParams.sampleMolarMassGPerMol > 0
               ? fParams.sampleMassG / fParams.sampleMolarMassGPerMol
               : 0;
}

double TSimCell::SampleEquilibriumDelta(double atm, double celsius) const {
    return fParams.sampleIsotherm.Delta(std::log10(std::max(kMinAtm, atm)), celsius);
}

double TSimCell::CellKelvin() const {
    return CellTemperatureC() + kZeroCelsius;
}

double TSimCell::PressureAtm(double mol, double kelvin) const {
    return mol * kGasConstant * kelvin / (fParams.volumeMl * 1e-6) / kAtm;
}

double TSimCell::MolAt(double atm, double kelvin) const {
    return atm * kAtm * (fParams.volumeMl * 1e-6) / (kGasConstant * kelvin);
}

void TSimCell::SetpO2Atm(double atm) {
    fMol = std::max(kMinMol, MolAt(atm, CellKelvin()));
}

double TSimCell::NernstVoltageV() const {
    return NernstVolt(fParams.flushpO2Atm, std::max(kMinAtm, pO2Atm()), CellKelvin());
}

TPumpState TSimCell::PumpAt(double mol, double kelvin) const {
    TPumpState s;
    const double r = std::max(1e-6, fParams.pumpResistanceOhm);
    const double e = NernstVolt(fParams.flushpO2Atm, std::max(kMinAtm, PressureAtm(mol, kelvin)), kelvin);
    switch (fDrive.kind) {
    case TPumpDrive::Off:
        s.currentA = 0;
        s.voltageV = e;
        break;
    case TPumpDrive::Current: {
        // The terminal voltage E + I R may not leave +-compliance; at the limit the source holds
        // the voltage there and the current follows the cell (it can even reverse).
        const double vc = std::abs(fDrive.compliance);
        const double lo = (-vc - e) / r;
        const double hi = (vc - e) / r;
        s.currentA = std::clamp(fDrive.level, lo, hi);
        s.inCompliance = fDrive.level < lo || fDrive.level > hi;
        s.voltageV = e + s.currentA * r;
        break;
    }
    case TPumpDrive::Voltage: {
        const double ic = std::abs(fDrive.compliance);
        const double free = (fDrive.level - e) / r;
        s.currentA = std::clamp(free, -ic, ic);
        s.inCompliance = free < -ic || free > ic;
        s.voltageV = e + s.currentA * r;
        break;
    }
    }
    return s;
}

double TSimCell::LeakRate(double mol, double kelvin) const {
    const double p = std::max(0.0, PressureAtm(mol, kelvin));
    return fParams.leakAlpha * (std::sqrt(std::sqrt(fParams.flushpO2Atm)) - std::sqrt(std::sqrt(p)));
}

void TSimCell::Advance(double seconds) {
    if (!(seconds > 0))
        return;
    const int steps = std::clamp(static_cast<int>(std::ceil(seconds / kMaxStepS)), 1, kMaxStepsPerCall);
    const double dt = seconds / steps;
    for (int i = 0; i < steps; ++i)
        Step(dt);
}

void TSimCell::Step(double dt) {
    // Furnace: first-order approach to the setpoint, plus a slow random wander (Ornstein-Uhlenbeck).
    const double tau = std::max(1e-3, fParams.furnaceTauS);
    fFurnaceC = fParams.furnaceSetpointC + (fFurnaceC - fParams.furnaceSetpointC) * std::exp(-dt / tau);
    auto wander = [&](double& w, double sd, double tauW) {
        const double a = std::exp(-dt / std::max(1e-3, tauW));
        w = w * a + Noise(sd * std::sqrt(std::max(0.0, 1 - a * a)));
    };
    wander(fWanderC, fParams.furnaceWanderC, fParams.furnaceWanderTauS);
    wander(fRoomWanderC, fParams.roomWanderC, 600.0);

    // Oxygen balance of the gas, solved implicitly (backward Euler) because at low pO2 the pump and
    // the sample react to a tiny amount of gas within microseconds:
    //   n1 = n0 - dt I(n1)/4F + dt leak(n1) + ns (d1(n1) - d0) / 2,
    //   d1 = (d0 + k deq(n1)) / (1 + k), k = dt / tau_sample,
    // with ns the sample's moles of compound and d its delta (a rising delta gives off oxygen).
    // Every term of the residual grows with n1 (deq falls as pO2 rises), so bisection on ln n1
    // finds the root.
    const double kelvin = CellKelvin();
    const double celsius = kelvin - kZeroCelsius;
    const double ns = SampleMoles();
    const bool sample = ns > 0 && fParams.sampleTauS > 0;
    const double k = sample ? dt / fParams.sampleTauS : 0;
    const double n0 = fMol;
    const double d0 = fSampleDelta;
    auto deltaAfter = [&](double n) {
        return sample ? (d0 + k * SampleEquilibriumDelta(PressureAtm(n, kelvin), celsius)) / (1 + k) : d0;
    };
    auto residual = [&](double n) {
        return n - n0 + dt * PumpAt(n, kelvin).currentA / (4 * kFaraday) - dt * LeakRate(n, kelvin) -
               ns * (deltaAfter(n) - d0) / 2;
    };
    double lo = std::log(kMinMol);
    double n1 = kMinMol;
    if (residual(kMinMol) < 0) {
        double hi = std::log(std::max(n0, kMinMol) * 2);
        for (int i = 0; i < 200 && residual(std::exp(hi)) < 0; ++i)
            hi += 2.3;
        for (int i = 0; i < 200 && hi - lo > 1e-13; ++i) {
            const double mid = 0.5 * (lo + hi);
            if (residual(std::exp(mid)) < 0)
                lo = mid;
            else
                hi = mid;
        }
        n1 = std::exp(0.5 * (lo + hi));
    }
    const double current = PumpAt(n1, kelvin).currentA;
    fPumpedOutMol += dt * current / (4 * kFaraday);
    fLeakedInMol += dt * LeakRate(n1, kelvin);
    fSampleDelta = deltaAfter(n1);
    fMol = n1;
    fTime += dt;
}

double TSimCell::Noise(double sd) {
    if (!fParams.noise || !(sd > 0))
        return 0;
    return sd * fNormal(fRandom);
}

double TSimCell::ThermocoupleVolt() {
    const double mv = TypeSMilliVolt(CellTemperatureC()) - TypeSMilliVolt(ColdJunctionC());
    return mv / 1000.0 + Noise(fParams.tcNoiseV);
}

double TSimCell::SensorVolt() {
    const double p = std::max(kMinAtm, pO2Atm());
    return CellEquations::SensorVolt(p, CellTemperatureC(), fParams.sensorAx, fParams.sensorBx) +
           Noise(fParams.sensorNoiseV);
}

double TSimCell::ThermistorOhm() {
    return CellEquations::ThermistorOhm(ColdJunctionC()) + Noise(fParams.thermistorNoiseOhm);
}
