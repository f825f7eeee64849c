// The point integrator: which readings complete a point, what the point holds, and what a pause
// or a dropout leaves of the open point. Times are monotonic seconds picked to be exact in binary,
// so the spans and averages below are worked out by hand.
#include "recording/PointIntegrator.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

constexpr double kLengthS = 1.0; // integration time
constexpr double kModeStart = 100.0;

// One event of a case: a multimeter cycle, a SourceMeter reading, or a drop of (part of) the point.
struct TEvent {
    enum Kind { Cell, CellNoSensor, Pump, DropAll, DropPump, DropCell } kind;
    double startS = 0; // cycle start, or the reply time of a pump reading
    double endS = 0;   // hand-over
    double a = 0;      // temperature degC, or current A
    double b = 0;      // pO2 atm, or voltage V
};

TEvent Cell(double startS, double endS, double degC, double pO2) {
    return {TEvent::Cell, startS, endS, degC, pO2};
}
TEvent Pump(double startS, double endS, double amps, double volts) {
    return {TEvent::Pump, startS, endS, amps, volts};
}

void Apply(TPointIntegrator& points, const TEvent& e) {
    switch (e.kind) {
    case TEvent::Cell:
    case TEvent::CellNoSensor: {
        TDMMReading r;
        r.TemperatureOK = true;
        r.SensorOK = e.kind == TEvent::Cell;
        r.StartTime = e.startS;
        r.HandedAt = e.endS;
        r.CellTemp = e.a;
        points.AddCell(r, e.b);
        break;
    }
    case TEvent::Pump: {
        TSMUReading r;
        r.MeasurementsOK = true;
        r.ResponseTime = e.startS;
        r.HandedAt = e.endS;
        r.CurrentMeasured = e.a;
        r.VoltageMeasured = e.b;
        points.AddPump(r);
        break;
    }
    case TEvent::DropAll:
        points.Drop();
        break;
    case TEvent::DropPump:
        points.DropPump();
        break;
    case TEvent::DropCell:
        points.DropCell();
        break;
    }
}

// What the point holds when the case completes one at its last event.
struct TExpectedPoint {
    double pumpV, pumpI, temp, time, interval;
    bool pO2Valid;
    double pO2;
};

struct TCase {
    const char* name;
    std::vector<TEvent> events;
    bool complete;
    bool openAfter; // a point is open after the events (before any completion)
    std::optional<TExpectedPoint> point;
};

TEST(PointIntegrator, CompletesAPointOnlyWhenBothSidesSpanTheLength) {
    const TCase cases[] = {
        {"both readings in: current spans 101.75-100.5 = 1.25 s, temperature 101.5-100 = 1.5 s",
         {Cell(100.0, 100.5, 800, 0.25), Pump(100.5, 100.75, 1e-4, 0.125), Cell(100.5, 101.5, 802, 0.75),
          Pump(101.5, 101.75, 3e-4, 0.375)},
         true,
         true,
         // V (0.125+0.375)/2, I (1e-4+3e-4)/2, T (800+802)/2, Time 101.75-100, Interval
         // max(101.75, 101.5) - min(100.5, 100), pO2 (0.25+0.75)/2
         TExpectedPoint{0.25, 2e-4, 801, 1.75, 1.75, true, 0.5}},
        {"SourceMeter only: no temperature, no point",
         {Pump(100.0, 100.5, 1e-4, 0.1), Pump(101.0, 101.5, 1e-4, 0.1), Pump(102.0, 102.5, 1e-4, 0.1)},
         false,
         true,
         std::nullopt},
        {"a cold cell: temperatures but no pO2, no point",
         {TEvent{TEvent::CellNoSensor, 100.0, 100.5, 480, 0},
          TEvent{TEvent::CellNoSensor, 100.5, 101.5, 480, 0}, Pump(100.0, 100.25, 1e-4, 0.1),
          Pump(101.5, 101.75, 1e-4, 0.1)},
         false,
         true,
         std::nullopt},
        {"interval boundary: a current span of exactly the length does not complete",
         {Cell(100.0, 100.5, 800, 0.25), Cell(100.5, 101.25, 800, 0.25), Pump(100.25, 100.5, 1e-4, 0.1),
          Pump(100.75, 101.25, 1e-4, 0.1)},
         false,
         true,
         std::nullopt},
        {"interval boundary: the next reading past it completes (current 101.5-100.25 = 1.25 s)",
         {Cell(100.0, 100.5, 800, 0.25), Cell(100.5, 101.25, 800, 0.25), Pump(100.25, 100.5, 1e-4, 0.125),
          Pump(100.75, 101.25, 2e-4, 0.25), Pump(101.0, 101.5, 3e-4, 0.375)},
         true,
         true,
         // Time 101.5-100; Interval max(101.5, 101.25) - min(100.25, 100)
         TExpectedPoint{0.25, 2e-4, 800, 1.5, 1.5, true, 0.25}},
        {"interval boundary: a temperature span of exactly the length does not complete",
         {Cell(100.0, 101.0, 800, 0.25), Pump(100.0, 100.5, 1e-4, 0.1), Pump(101.0, 101.5, 1e-4, 0.1)},
         false,
         true,
         std::nullopt},
        {"a dropout drops the open point: the readings after it start a new one",
         {Cell(100.0, 100.5, 800, 0.25), Pump(100.5, 100.75, 1e-4, 0.1), Cell(100.5, 101.5, 800, 0.25),
          TEvent{TEvent::DropAll}, Pump(101.5, 101.75, 1e-4, 0.1)},
         false,
         true,
         std::nullopt},
        {"a dropout as the last event leaves no point open",
         {Cell(100.0, 100.5, 800, 0.25), Pump(100.5, 100.75, 1e-4, 0.1), TEvent{TEvent::DropAll}},
         false,
         false,
         std::nullopt},
        {"a SourceMeter pause drops the pump side: the cell side alone opens no point",
         {Cell(100.0, 100.5, 800, 0.25), Pump(100.5, 100.75, 1e-4, 0.1), Cell(100.5, 101.5, 800, 0.25),
          TEvent{TEvent::DropPump}},
         false,
         false,
         std::nullopt},
        {"a multimeter pause drops the cell side: the current alone completes nothing",
         {Cell(100.0, 100.5, 800, 0.25), Cell(100.5, 101.5, 800, 0.25), Pump(100.5, 100.75, 1e-4, 0.1),
          TEvent{TEvent::DropCell}, Pump(101.5, 101.75, 1e-4, 0.1)},
         false,
         true,
         std::nullopt},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TPointIntegrator points;
        points.BeginMode(kModeStart);
        for (const TEvent& e : c.events)
            Apply(points, e);
        EXPECT_EQ(points.PointOpen(), c.openAfter);
        ASSERT_EQ(points.Complete(kLengthS), c.complete);
        if (!c.point)
            continue;
        const double end = c.events.back().endS;
        const TDataPoint p = points.TakePoint(end, TWallTime{46000.25, 3600}, 3, TDataPoint());
        EXPECT_DOUBLE_EQ(p.PumpV, c.point->pumpV);
        EXPECT_DOUBLE_EQ(p.PumpI, c.point->pumpI);
        EXPECT_DOUBLE_EQ(p.Temp, c.point->temp);
        EXPECT_DOUBLE_EQ(p.Time, c.point->time);
        EXPECT_DOUBLE_EQ(p.Interval, c.point->interval);
        EXPECT_EQ(p.CellpO2Valid, c.point->pO2Valid);
        EXPECT_DOUBLE_EQ(p.CellpO2, c.point->pO2);
        EXPECT_EQ(p.Mode, 13);
        EXPECT_EQ(p.Date, 46000.25);
        EXPECT_EQ(p.UtcOffsetS, 3600);
        EXPECT_EQ(p.Monotonic, end);
        // The next point starts from nothing.
        EXPECT_FALSE(points.PointOpen());
        EXPECT_TRUE(points.Temperature().Empty());
        EXPECT_TRUE(points.CellpO2().Empty());
        EXPECT_FALSE(points.Complete(kLengthS));
    }
}

TEST(PointIntegrator, APointCarriesTheConditionsTakenBetweenPoints) {
    TPointIntegrator points;
    points.BeginMode(kModeStart);
    points.TakeConditions(4, -6.5);
    for (const TEvent& e :
         {Cell(100.0, 101.5, 800, 0.25), Pump(100.0, 100.25, 1e-4, 0.1), Pump(101.0, 101.5, 1e-4, 0.1)})
        Apply(points, e);
    ASSERT_TRUE(points.Complete(kLengthS));
    const TDataPoint p = points.TakePoint(101.5, TWallTime{46000.25, 0}, 5, TDataPoint());
    EXPECT_EQ(p.Step, 4);
    EXPECT_EQ(p.SetPoint, -6.5);
    EXPECT_EQ(p.Mode, 15);
}

TEST(PointIntegrator, APO2WithoutASpanOfItsOwnCarriesThePreviousPointsPO2) {
    // A sensor read once at one instant spans 0 s: the point keeps the last point's pO2, and the
    // reading stays for the next point.
    struct TPO2Case {
        const char* name;
        std::vector<TEvent> pO2Readings; // the cell readings besides one temperature-only cycle
        double expectedpO2;
        int leftOver;
    };
    const TPO2Case cases[] = {
        {"two sensor readings over 1.5 s: their average",
         {Cell(100.0, 101.5, 800, 0.25), Cell(101.5, 101.5, 800, 0.75)},
         0.5,
         0},
        {"one sensor reading at one instant: the previous point's",
         {Cell(101.5, 101.5, 800, 0.75)},
         0.125,
         1},
    };
    for (const TPO2Case& c : cases) {
        SCOPED_TRACE(c.name);
        TPointIntegrator points;
        points.BeginMode(kModeStart);
        Apply(points, TEvent{TEvent::CellNoSensor, 100.0, 101.5, 800, 0});
        for (const TEvent& e : c.pO2Readings)
            Apply(points, e);
        Apply(points, Pump(100.0, 100.25, 1e-4, 0.1));
        Apply(points, Pump(101.0, 101.5, 1e-4, 0.1));
        ASSERT_TRUE(points.Complete(kLengthS));
        TDataPoint previous;
        previous.CellpO2Valid = true;
        previous.CellpO2 = 0.125;
        const TDataPoint p = points.TakePoint(101.5, TWallTime{46000.25, 0}, 3, previous);
        EXPECT_TRUE(p.CellpO2Valid);
        EXPECT_EQ(p.CellpO2, c.expectedpO2);
        EXPECT_EQ(points.CellpO2().Count(), c.leftOver);
    }
}

} // namespace
