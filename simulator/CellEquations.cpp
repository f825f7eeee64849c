#include "simulator/CellEquations.h"

#include <cmath>

namespace CellEquations {

namespace {
// Coefficients c0..cn (mV, t in °C), lowest power first.
const double kTypeSLow[] = {0.0,
                            5.40313308631E-03,
                            1.25934289740E-05,
                            -2.32477968689E-08,
                            3.22028823036E-11,
                            -3.31465196389E-14,
                            2.55744251786E-17,
                            -1.25068871393E-20,
                            2.71443176145E-24};
const double kTypeSMid[] = {1.32900444085E+00, 3.34509311344E-03, 6.54805192818E-06, -1.64856259209E-09,
                            1.29989605174E-14};
const double kTypeSHigh[] = {1.46628232636E+02, -2.58430516752E-01, 1.63693574641E-04, -3.30439046987E-08,
                             -9.43223690612E-15};

template <size_t N> double Polynomial(const double (&c)[N], double x) {
    double sum = 0;
    for (size_t i = N; i-- > 0;)
        sum = sum * x + c[i];
    return sum;
}

// The thermistor curve the program applies: T = a * ln(R + b)^c - d.
constexpr double kThermA = 1373.1696074919496;
constexpr double kThermB = 52.676757508279636;
constexpr double kThermC = -0.2987916592541921;
constexpr double kThermD = 682.1861323649009;

// The sensor equation's slope (K/mV) and reference pressure (atm).
constexpr double kSensorSlope = 46.4158749248346362;
constexpr double kSensorReference = 0.209;
} // namespace

double TypeSMilliVolt(double celsius) {
    if (celsius < 1064.18)
        return Polynomial(kTypeSLow, celsius);
    if (celsius < 1664.5)
        return Polynomial(kTypeSMid, celsius);
    return Polynomial(kTypeSHigh, celsius);
}

double ThermistorOhm(double celsius) {
    const double lnR = std::pow((celsius + kThermD) / kThermA, 1.0 / kThermC);
    return std::exp(lnR) - kThermB;
}

double SensorVolt(double pO2Atm, double celsius, double ax, double bx) {
    const double kelvin = celsius + kZeroCelsius;
    const double milliVolt = (kelvin * (std::log(pO2Atm / kSensorReference) + bx) + ax) / kSensorSlope;
    return milliVolt / 1000.0;
}

double NernstVolt(double flushpO2Atm, double cellpO2Atm, double kelvin) {
    return kGasConstant * kelvin / (4.0 * kFaraday) * std::log(flushpO2Atm / cellpO2Atm);
}

} // namespace CellEquations
