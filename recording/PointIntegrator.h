#pragma once
// Where readings become data points. The integrator owns the four accumulators of the open point
// (pump current and voltage from the SourceMeter, cell temperature and sensor pO2 from the
// multimeter), adds each worker's readings to them and completes a point once the current and the
// temperature span the integration time. A point is open from its first pump reading until it
// completes or is dropped; the settings a point is measured under are taken over only while none
// is open.
//
// Times are seconds of the monotonic clock; a point's Time counts from the start of its mode and
// its Interval is the span of the current and temperature readings behind it.
//
// Main thread only: the workers hand their readings over to it.
#include "common/Clock.h"
#include "recording/DataPoint.h"
#include "recording/InstrumentReadings.h"
#include "recording/TDataSynchronizer.h"

#include <cstdint>

class TPointIntegrator {
public:
    TPointIntegrator();

    // A pump reading has gone into the open point since it began.
    bool PointOpen() const { return !fI.Empty(); }

    // Between points. A new integration mode begins at `now` (monotonic s): the Time of its points
    // counts from here.
    void BeginMode(double now) { fModeStart = now; }
    double ModeStart() const { return fModeStart; }
    // The step and the PID setpoint (log10 pO2, or V in PPS) the next point is measured under.
    void TakeConditions(std::int32_t step, double setPoint);

    // One multimeter cycle: the cell temperature of a cycle that read it, and with it `pO2` (atm,
    // the sensor's reading converted) when the sensor was read too. Spans from the cycle's start to
    // its hand-over (now when the reading carries no time).
    void AddCell(const TDMMReading& reading, double pO2);
    // One good SourceMeter reading: pump current and voltage, from the reply to the hand-over.
    void AddPump(const TSMUReading& reading);

    // The open point spans more than `lengthS` seconds in both its current and its temperature, and
    // every accumulator holds a reading.
    bool Complete(double lengthS) const;
    // Completes the open point at the pump reading of `now` / `wall` in the integration mode
    // `mode` (a TMode ordinal): the averages, the times and the conditions, into a copy of
    // `previous`, the last completed point, whose pO2 a point without a pO2 span of its own
    // carries on. The accumulators start again, the pO2 one only when its average was taken.
    TDataPoint TakePoint(double now, const TWallTime& wall, std::int32_t mode, const TDataPoint& previous);

    // The pump side of the open point goes (the SourceMeter pauses), the cell side (the
    // multimeter pauses), or all of it: an instrument went out, and a point must not span the
    // outage.
    void DropPump();
    void DropCell();
    void Drop();

    // How many temperatures and pO2 readings went in since the integrator was made, dropped or
    // completed ones included.
    std::uint64_t TemperaturesAdded() const { return fTemperaturesAdded; }
    std::uint64_t PO2sAdded() const { return fPO2sAdded; }

    // The accumulators as they stand.
    const TDataSynchronizer& Current() const { return fI; }
    const TDataSynchronizer& Voltage() const { return fV; }
    const TDataSynchronizer& Temperature() const { return fT; }
    const TDataSynchronizer& CellpO2() const { return fpO2; }

private:
    TDataSynchronizer fI;   // pump current, A
    TDataSynchronizer fV;   // pump voltage, V
    TDataSynchronizer fT;   // cell temperature, degC
    TDataSynchronizer fpO2; // sensor pO2, atm
    double fModeStart = 0;  // monotonic s when the integration mode began
    std::int32_t fStep = 0;
    double fSetPoint = 0;
    std::uint64_t fTemperaturesAdded = 0;
    std::uint64_t fPO2sAdded = 0;
};
