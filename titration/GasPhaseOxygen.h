#pragma once
// The oxygen held in the cell's gas, and the physical constants of the oxygen balance.
//
// The gas around the sample has two parts: the hot part (Vhp) at the cell temperature T, and the
// gradient part (Vgp) between the hot zone and the cold end at Tl, taken as a linear temperature
// profile from T down to Tl. With the ideal gas law per volume element,
//   n_g = pO2 / R * (Vhp / T + Vgp * ln(T / Tl) / (T - Tl))          mol O2
// (pO2 in Pa, volumes in m^3, temperatures in K): integrating dV / T(x) over a linear profile gives
// Vgp * ln(T / Tl) / (T - Tl), which tends to Vgp / T as T -> Tl.

// Faraday constant, C/mol; a mole of O2 carries 4 F through the pump.
constexpr double kTitrationFaraday = 96485.33212;
// Molar gas constant, J/(mol K).
constexpr double kTitrationGasConstant = 8.314462618;
constexpr double kPascalPerAtm = 101325.0;
constexpr double kKelvinAtZeroCelsius = 273.15;

// 1 / T_mean of a gas whose temperature runs linearly from `hotK` to `coldK`:
// ln(hot / cold) / (hot - cold), 1 / K; 1 / hot when the two are equal. NaN unless both are above 0 K.
double LinearProfileInverseTemperature(double hotK, double coldK);

// Moles of O2 in the cell's gas at `pO2Atm` (atm), cell temperature `cellC` (degC), hot and gradient
// volumes `vhpL`, `vgpL` (litres) and cold end `tlC` (degC). A gradient volume of 0 leaves its part
// out whatever the temperatures; NaN when a temperature in use is at or below 0 K or pO2 is not a
// number.
double GasPhaseOxygenMol(double pO2Atm, double cellC, double vhpL, double vgpL, double tlC);
