#pragma once
// A completed data point: the averages of its readings and what it was measured under, on its way
// from the point integrator to the row builder.
#include "common/DateTime.h"

#include <cstdint>

struct TDataPoint {
    double PumpV = 0;      // average pump voltage, V
    double PumpI = 0;      // average pump current, A
    std::int32_t Mode = 0; // the integrating TMode ordinal + 10
    bool CellpO2Valid = false;
    double CellpO2 = 0; // average sensor pO2, atm
    double Temp = 0;    // average cell temperature, degC
    // Time and Interval are differences of the monotonic clock: they count evenly through a
    // daylight-saving change or a correction of the system time.
    double Time = 0;     // s from the start of the integration mode to completion
    double Interval = 0; // s spanned by the averaged current and temperature readings
    bool Ready = false;  // set last by the writer, cleared by the row builder
    // What the point was measured under, so its row tells the truth even when the row is built
    // after the next step or setting has begun.
    TDateTime Date = 0;          // completion time on the wall clock (DataPointDate of this point)
    std::int32_t UtcOffsetS = 0; // the wall clock's offset from UTC at completion, s
    double Monotonic = 0;        // completion time on the monotonic clock, s (0: not taken)
    std::int32_t Step = 0;       // CurrentStep while the point was integrated (PIDStep, PPS)
    double SetPoint = 0;         // PID setpoint while the point was integrated (log pO2, or V in PPS)
    // The galvanostatic setting when the point completed, for the pump-side pO2 estimates.
    bool Galvanostatic = false; // the program state was SetCurrent
    double GSCurrentMicroA = 0; // the galvanostatic setpoint, µA
};
