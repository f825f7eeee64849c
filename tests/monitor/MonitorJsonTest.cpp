// Times in the monitor's JSON: the fast local-to-UTC conversion of a page of rows gives what the
// time-zone rules give, rows after rows, through the whole year (daylight-saving changes included
// where the machine's zone has them).
#include "monitor/MonitorJson.h"

#include <QDate>
#include <gtest/gtest.h>

namespace {

TEST(MonitorJson, RowTimesConvertAsTheZoneRulesDo) {
    const TDateTime start = DateTimeFromQt(QDateTime(QDate(2026, 1, 1), QTime(0, 0, 0, 7)));
    TMonitorJson::TZoneCache cache; // shared, as by the rows of one page
    for (TDateTime t = start; t < start + 400; t += 37.0 / MinutesPerDay + 0.123 / SecondsPerDay) {
        ASSERT_EQ(qint64(TMonitorJson::UnixMs(t, cache)), QtFromDateTime(t).toMSecsSinceEpoch())
            << QtFromDateTime(t).toString(Qt::ISODateWithMs).toStdString();
    }
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

} // namespace
