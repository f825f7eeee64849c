// The monitor's JSON. Times: the fast local-to-UTC conversion of a page of rows gives what the
// time-zone rules give, rows after rows, through the whole year (daylight-saving changes included
// where the machine's zone has them). The status: what the page shows of the run.
#include "monitor/MonitorJson.h"

#include "recording/ColumnTable.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <limits>
#include <optional>

namespace {

TEST(MonitorJson, RowTimesConvertAsTheZoneRulesDo) {
    const TDateTime start = DateTimeFromQt(QDateTime(QDate(2026, 1, 1), QTime(0, 0, 0, 7)));
    TMonitorJson::TZoneCache cache; // shared, as by the rows of one page
    for (TDateTime t = start; t < start + 400; t += 37.0 / MinutesPerDay + 0.123 / SecondsPerDay) {
        ASSERT_EQ(qint64(TMonitorJson::UnixMs(t, cache)), QtFromDateTime(t).toMSecsSinceEpoch())
            << QtFromDateTime(t).toString(Qt::ISODateWithMs).toStdString();
    }
}

TEST(MonitorJson, RowsTakenWithTheirOffsetAreTrueInstantsThroughTheRepeatedHour) {
    // Europe/Berlin on 2026-10-25: at 03:00 summer time (UTC+2) the clock goes back to 02:00
    // winter time (UTC+1), so the local times of the rows run backwards while the instants don't.
    const struct {
        int h, m, s, offsetS;
        int utcH, utcM, utcS;
        const char* iso;
    } rows[] = {{2, 40, 0, 7200, 0, 40, 0, "2026-10-25T02:40:00.000+02:00"},
                {2, 59, 50, 7200, 0, 59, 50, "2026-10-25T02:59:50.000+02:00"},
                {2, 0, 0, 3600, 1, 0, 0, "2026-10-25T02:00:00.000+01:00"},
                {2, 30, 0, 3600, 1, 30, 0, "2026-10-25T02:30:00.000+01:00"},
                {3, 0, 10, 3600, 2, 0, 10, "2026-10-25T03:00:10.000+01:00"}};
    TMonitorJson::TZoneCache cache;
    double previous = 0;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.iso);
        TDataRow row;
        row[TProperty::Date] = EncodeDateTime(2026, 10, 25, r.h, r.m, r.s);
        row.UtcOffsetS = r.offsetS;
        const double ms = TMonitorJson::RowUnixMs(row, cache);
        EXPECT_EQ(qint64(ms),
                  QDateTime(QDate(2026, 10, 25), QTime(r.utcH, r.utcM, r.utcS), Qt::UTC).toMSecsSinceEpoch());
        EXPECT_GT(ms, previous);
        previous = ms;
        QByteArray json;
        TMonitorJson::AppendRow(json, row);
        EXPECT_EQ(QJsonDocument::fromJson(json).array().at(int(TProperty::Date)).toDouble(), ms)
            << json.toStdString();
        QByteArray time;
        TMonitorJson::AppendRowTime(time, row);
        EXPECT_EQ(time, '"' + QByteArray(r.iso) + '"');
    }
    // A row read back from a file has no offset: the zone rules give its instant.
    TDataRow old;
    old[TProperty::Date] = EncodeDateTime(2026, 7, 1, 12, 0, 0);
    EXPECT_EQ(TMonitorJson::RowUnixMs(old, cache), TMonitorJson::UnixMs(old[TProperty::Date]));
}

// An event carries the offset it was written with: the two events of the hour that repeats when
// daylight saving ends read as two instants an hour apart; texts are escaped as strings.
TEST(MonitorJson, EventsAreTheirRecords) {
    const std::int64_t local =
        QDate(1970, 1, 1).daysTo(QDate(2026, 10, 25)) * 86400000LL + 9000123; // 02:30:00.123
    const TEventRecord events[] = {{local, 7200, "Mode", "set to \"PPS\" µ"}, {local, 3600, "Step", "2"}};
    const QJsonObject j = QJsonDocument::fromJson(TMonitorJson::Events(7, events)).object();
    EXPECT_EQ(j[QStringLiteral("from")].toInt(), 7);
    EXPECT_EQ(j[QStringLiteral("next")].toInt(), 9);
    const QJsonArray a = j[QStringLiteral("events")].toArray();
    ASSERT_EQ(a.size(), 2);
    EXPECT_EQ(a[0][QStringLiteral("index")].toInt(), 7);
    EXPECT_EQ(a[0][QStringLiteral("time")].toString(), QStringLiteral("2026-10-25T02:30:00.123+02:00"));
    EXPECT_EQ(a[0][QStringLiteral("source")].toString(), QStringLiteral("Mode"));
    EXPECT_EQ(a[0][QStringLiteral("text")].toString(), QStringLiteral("set to \"PPS\" µ"));
    EXPECT_EQ(a[1][QStringLiteral("index")].toInt(), 8);
    EXPECT_EQ(a[1][QStringLiteral("time")].toString(), QStringLiteral("2026-10-25T02:30:00.123+01:00"));
    EXPECT_EQ(QDateTime::fromString(a[1][QStringLiteral("time")].toString(), Qt::ISODateWithMs)
                      .toMSecsSinceEpoch() -
                  QDateTime::fromString(a[0][QStringLiteral("time")].toString(), Qt::ISODateWithMs)
                      .toMSecsSinceEpoch(),
              3600 * 1000);
}

TEST(MonitorJson, NumbersAndStrings) {
    const struct {
        double v;
        const char* json;
    } numbers[] = {
        {0, "0"},     {-0.25, "-0.25"},           {2e-6, "2e-06"},    {1.234567e-7, "1.234567e-07"},
        {700, "700"}, {TDataRow::kEmpty, "null"}, {1.0 / 0.0, "null"}};
    for (const auto& n : numbers) {
        QByteArray out;
        TMonitorJson::AppendNumber(out, n.v);
        EXPECT_EQ(out, QByteArray(n.json));
    }
    QByteArray s;
    TMonitorJson::AppendString(s, QStringLiteral("a\"b\\c\nd\te\x01 ºC"));
    EXPECT_EQ(s, QByteArray("\"a\\\"b\\\\c\\nd\\te\\u0001 \xc2\xba"
                            "C\""));
}

// The status names the experiment, the setpoint the run follows and why the running step waits:
// only the criteria that apply in the mode, and nothing of either outside a program or a PID mode.
TEST(MonitorJson, StatusCarriesSetpointAndStepCriteria) {
    using TQuantity = TMonitorStatus::TSetpointQuantity;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const char* name;
        TQuantity quantity;
        double setpoint;
        double stepS;
        std::optional<bool> range, pO2, current;
        const char* setpointJson;   // compact JSON, "null" for none
        const char* stepStatusJson; // compact JSON, "null" for none
    } cases[] = {
        {"paused", TQuantity::None, nan, -1, {}, {}, {}, "null", "null"},
        {"PID setpoint",
         TQuantity::PO2,
         1e-3,
         -1,
         {},
         {},
         {},
         R"({"quantity":"pO2","unit":"atm","value":0.001})",
         "null"},
        {"an unreadable setpoint", TQuantity::PO2, nan, -1, {}, {}, {}, "null", "null"},
        {"PPS step",
         TQuantity::PumpV,
         -0.25,
         760.5,
         {},
         true,
         false,
         R"({"quantity":"pumpV","unit":"V","value":-0.25})",
         R"({"seconds":760.5,"stableI":false,"stablepO2":true})"},
        {"PIDStep step just begun",
         TQuantity::PO2,
         1e-5,
         0,
         false,
         false,
         {},
         R"({"quantity":"pO2","unit":"atm","value":1e-05})",
         R"({"rangepO2":false,"seconds":0,"stablepO2":false})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TMonitorStatus s;
        s.State = QStringLiteral("PPS");
        s.Experiment = QStringLiteral("LSCF \"rig\" 2");
        s.SetpointQuantity = c.quantity;
        s.Setpoint = c.setpoint;
        s.StepSeconds = c.stepS;
        s.StepInRange = c.range;
        s.StepPO2Stable = c.pO2;
        s.StepCurrentStable = c.current;
        QJsonParseError error;
        const QJsonObject o =
            QJsonDocument::fromJson(TMonitorJson::Status(s, std::nullopt, 3, 1), &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError);
        EXPECT_EQ(o.value("experiment").toString(), s.Experiment);
        EXPECT_EQ(o.value("state").toString(), QStringLiteral("PPS")) << "the keys before stay";
        EXPECT_EQ(o.value("rows").toInt(), 3);
        const auto compact = [](const QJsonValue& v) {
            return v.isObject() ? QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact)
                                : QByteArray("null");
        };
        EXPECT_EQ(compact(o.value("setpoint")), QByteArray(c.setpointJson));
        EXPECT_EQ(compact(o.value("stepStatus")), QByteArray(c.stepStatusJson));
    }
}

} // namespace
