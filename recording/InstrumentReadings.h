#pragma once
// What one worker cycle measured, as the worker took it. A reading is handed to the main thread by
// value: it may be used later than the cycle (main thread busy), so nothing there reads the
// worker's changing fields.
#include "common/Clock.h"

// One SourceMeter cycle: the pump voltage and current.
struct TSMUReading {
    bool MeasurementsOK = false; // both values parsed
    double ResponseTime = 0;     // monotonic s when the reply was taken
    double HandedAt = 0;         // monotonic s when the cycle handed over (the end of the reading)
    TWallTime HandedAtWall;      // the same moment on the wall clock
    double VoltageMeasured = 0;  // V
    double CurrentMeasured = 0;  // A
};

// One multimeter cycle: the cell temperature and the oxygen sensor's voltage.
struct TDMMReading {
    bool TemperatureOK = false; // thermocouple and thermistor read this cycle
    bool SensorOK = false;      // the sensor voltage too
    double StartTime = 0;       // monotonic s when the cycle's measurements began
    double HandedAt = 0;        // monotonic s when the cycle handed over
    double CellTemp = 0;        // degC
    double SensorVoltage = 0;   // V
};
