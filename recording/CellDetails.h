#pragma once
// The details of the cell an experiment runs in, as the cell file keeps them and every data file
// records them.
#include <QString>

// One cell's details. The initial values are those a file gives for keys it lacks; they differ
// from a fresh window in the sensor ID, the relative-change duration and threshold and fast mode.
struct TCellDetails {
    QString SensorID = QStringLiteral("Undefined");
    double SensorAx = 0;
    double SensorBx = 0;
    double Vhpws = 0.012;     // L, gas volume of the hot part without sample
    double Vhp = 0.012;       // L, gas volume of the hot part (derived: Vhpws - sample volume)
    double Vgp = 0.012;       // L, gas volume of the gradient part
    double Tl = 30;           // degC, cold end temperature
    double PsO2 = 0.21;       // bar, initial oxygen partial pressure
    double FGpO2 = 0.21;      // flush gas oxygen partial pressure
    double FGfl = 0;          // mln/min, flush gas flow
    double CTO = 0;           // degC, cell temperature override
    double RCDuration = 120;  // s
    double RCThreshold = 0.1; // percent
    bool RCAppliesToCurrent = false;
    // µA: a current whose fitted change over the relative-change duration stays below this counts
    // as stable for a step advance, however large its relative change (near zero it means nothing).
    double CurrentFloorMicroA = 0.05;
    double DataPointLength = 10; // s
    bool FastMode = false;
    int FastModeCount = 10;
};
