#pragma once
// The cell details file: oxygen-sensor identity and calibration, gas volumes, temperatures, flush
// gas, the relative-change criterion, the data-point integration time and the multimeter's fast
// mode, as an INI file in the "Cell" folder.
//
//   [ZEVO]                   Serial, Ax, Bx
//   [Cell]                   Vhpws, Vhp, Vgp, Tl, PsO2, FGpO2, FGfl, CTO
//   [RelativeChange]         Duration seconds, Threshold percentage, Applies to Current
//   [Datapoint integration]  Duration seconds
//   [FastMode]               Enabled, Count
#include <QString>
#include <optional>

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
    double DataPointLength = 10; // s
    bool FastMode = false;
    int FastModeCount = 10;
};

class TCellDetailsFile {
public:
    // Nothing when the file does not exist or cannot be read.
    static std::optional<TCellDetails> Read(const QString& path);
    // Writes every key; other sections and keys already in the file stay. False on failure.
    static bool Write(const QString& path, const TCellDetails& cell);
};
