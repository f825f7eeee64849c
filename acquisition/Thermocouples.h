#pragma once
// Conversions of the MultiMeter 2000 readings into physical quantities: thermocouple voltage to
// temperature and back, cold-junction thermistor resistance to temperature, and the oxygen-sensor
// equation that gives pO2 from the sensor voltage and the cell temperature.
//
// Everything here is pure apart from the diagnostic lines of SensorpO2 and may be called from any
// thread. Temperatures are in °C, thermocouple voltages in µV or V as each function says,
// resistance in Ω, pO2 in atm.
#include <cstddef>
#include <cstdint>

// Thermocouple type codes. The cell's thermocouple is type S; code 11 passes a plain voltage
// through. Codes 12 and above are not thermocouples: conversions give 0, the range test false.
using TThermocoupleType = std::uint8_t;
constexpr TThermocoupleType TCTypeJ = 0;
constexpr TThermocoupleType TCTypeK = 1;
constexpr TThermocoupleType TCTypeE = 2;
constexpr TThermocoupleType TCTypeT = 3;
constexpr TThermocoupleType TCTypeS = 4;
constexpr TThermocoupleType TCTypeR = 5;
constexpr TThermocoupleType TCTypeN = 6;
constexpr TThermocoupleType TCTypeB = 7;
constexpr TThermocoupleType TCTypeC = 8;
constexpr TThermocoupleType TCTypeD = 9;
constexpr TThermocoupleType TCTypeG = 10;
constexpr TThermocoupleType TCTypePlainVoltage = 11;

// Value of the polynomial whose `count` coefficients are stored highest power first.
double PolynomialValue(const double* coefficients, std::size_t count, double x);

// Temperature of a thermocouple voltage in µV. Types J, E, T, R, N, B, C, D and G throw
// std::range_error with the type's message ("J Thermocouple µV out of range.") for a voltage
// outside their accepted range; K and S evaluate their functions at any voltage.
double TCMicroVoltToTemperature(TThermocoupleType aType, double aMicroVolt);
// The same for a voltage in volts; the multimeter thread reads volts.
double TCVoltageToTemperature(TThermocoupleType aType, double aVolt);
// Whether a voltage in volts lies within the type's accepted range (limits included).
bool TCVoltageInRange(TThermocoupleType aType, double aVolt);
// The thermocouple voltage (µV) of a temperature, found by bisection of the accepted range to
// 0.01 µV. A temperature beyond the range's ends gives the nearest end.
double TCTemperatureToMicroVolt(TThermocoupleType aType, double aTemperature);

// Cold-junction temperature from the thermistor's resistance. Accepts 2986 Ω to 32600 Ω (about
// 55 °C down to 0 °C); anything else, including a non-number, returns false and leaves
// aTemperature as it was.
bool ThermistorToTemperature(double& aTemperature, double aOhm);

// Oxygen partial pressure (atm) from the sensor voltage (V) at the cell temperature (°C), with the
// cell's calibration constants Ax and Bx against the 0.209 atm reference. Writes the inputs and
// the result to the "Thermocouples unit" log channel.
double SensorpO2(double aCellTemperature, double aSensorVolt, double aAx, double aBx);
