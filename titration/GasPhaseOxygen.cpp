#include "titration/GasPhaseOxygen.h"

#include <cmath>
#include <limits>

double LinearProfileInverseTemperature(double hotK, double coldK) {
    if (!(hotK > 0) || !(coldK > 0))
        return std::numeric_limits<double>::quiet_NaN();
    // ln(hot / cold) / (hot - cold) = ln(1 + x) / (x cold) with x = (hot - cold) / cold; near x = 0
    // the series 1 - x/2 + x^2/3 avoids 0 / 0 and the cancellation in ln.
    const double x = (hotK - coldK) / coldK;
    if (std::abs(x) < 1e-5)
        return (1 - x / 2 + x * x / 3) / coldK;
    return std::log1p(x) / (x * coldK);
}

double GasPhaseOxygenMol(double pO2Atm, double cellC, double vhpL, double vgpL, double tlC) {
    const double t = cellC + kKelvinAtZeroCelsius;
    if (std::isnan(pO2Atm) || !(t > 0))
        return std::numeric_limits<double>::quiet_NaN();
    double volumeOverT = vhpL * 1e-3 / t; // m^3 / K
    if (vgpL != 0)
        volumeOverT += vgpL * 1e-3 * LinearProfileInverseTemperature(t, tlC + kKelvinAtZeroCelsius);
    return pO2Atm * kPascalPerAtm / kTitrationGasConstant * volumeOverT;
}
