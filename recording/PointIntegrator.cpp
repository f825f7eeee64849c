#include "recording/PointIntegrator.h"

#include <algorithm>
#include <cmath>

namespace {
// The moment a reading was handed over, or now for one that carries no time.
double HandedAtOrNow(double handedAt) {
    return handedAt > 0 ? handedAt : MonotonicSeconds();
}
} // namespace

TPointIntegrator::TPointIntegrator()
    : fI(QStringLiteral("I")), fV(QStringLiteral("V")), fT(QStringLiteral("T")), fpO2(QStringLiteral("pO2")) {
}

void TPointIntegrator::TakeConditions(std::int32_t step, double setPoint) {
    fStep = step;
    fSetPoint = setPoint;
}

void TPointIntegrator::AddCell(const TDMMReading& reading, double pO2) {
    if (!reading.TemperatureOK)
        return;
    // The reading's own time: it may reach the main thread late when that was busy.
    const double now = HandedAtOrNow(reading.HandedAt);
    fT.Add(reading.StartTime, now, reading.CellTemp);
    ++fTemperaturesAdded;
    if (reading.SensorOK) {
        fpO2.Add(reading.StartTime, now, pO2);
        ++fPO2sAdded;
    }
}

void TPointIntegrator::AddPump(const TSMUReading& reading) {
    const double now = HandedAtOrNow(reading.HandedAt);
    fI.Add(reading.ResponseTime, now, reading.CurrentMeasured);
    fV.Add(reading.ResponseTime, now, reading.VoltageMeasured);
}

bool TPointIntegrator::Complete(double lengthS) const {
    // Written so that a span that is not a number never completes a point.
    return !fI.Empty() && lengthS < fI.DurationS() && !fT.Empty() && lengthS < fT.DurationS() &&
           !fpO2.Empty() && !fV.Empty();
}

TDataPoint TPointIntegrator::TakePoint(double now, const TWallTime& wall, std::int32_t mode,
                                       const TDataPoint& previous) {
    TDataPoint p = previous;
    p.PumpV = fV.Average();
    p.PumpI = fI.Average();
    p.Temp = fT.Average();
    p.Time = now - fModeStart; // s since the mode began
    // s from the earliest start to the latest end of the current and temperature readings
    p.Interval = std::max(fI.TimeMax(), fT.TimeMax()) - std::min(fI.TimeMin(), fT.TimeMin());
    p.Mode = mode + 10;
    const double pO2Duration = fpO2.DurationS();
    if (pO2Duration > 0 || std::isnan(pO2Duration)) {
        p.CellpO2 = fpO2.Average();
        p.CellpO2Valid = true;
        fpO2.Clear();
    }
    fI.Clear();
    fV.Clear();
    fT.Clear();
    p.Step = fStep;
    p.SetPoint = fSetPoint;
    p.Date = wall.Local;
    p.UtcOffsetS = wall.UtcOffsetS;
    p.Monotonic = now;
    return p;
}

void TPointIntegrator::DropPump() {
    fI.Clear();
    fV.Clear();
}

void TPointIntegrator::DropCell() {
    fT.Clear();
    fpO2.Clear();
}

void TPointIntegrator::Drop() {
    DropPump();
    DropCell();
}
