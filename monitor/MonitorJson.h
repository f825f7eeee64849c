#pragma once
// The web monitor's JSON: numbers as numbers (null for an empty cell), times in ISO 8601 with the
// local offset. Written by hand into one buffer, because a page of 10 000 rows must be formatted in
// a few milliseconds.
#include "common/DateTime.h"
#include "monitor/MonitorStatus.h"
#include "recording/DataRow.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

class TMonitorJson {
public:
    // A number in the fewest digits that read back the same; null for NaN and infinities.
    static void AppendNumber(QByteArray& out, double v);
    // A JSON string, quotes included.
    static void AppendString(QByteArray& out, const QString& s);
    // "2026-12-10T14:02:11.123+01:00"; null for a time of 0 (none).
    static void AppendTime(QByteArray& out, TDateTime t);
    static QString IsoTime(TDateTime t);
    // The local time's offset from UTC, remembered for the hour last asked about: converting each
    // of 10 000 rows through the time-zone rules would cost more than all the rest of a page.
    struct TZoneCache {
        double Hour = -1; // the local hour (days, whole hours) the offset is for
        double OffsetMs = 0;
    };
    // A local time as milliseconds since 1970-01-01 UTC (what a browser's Date takes).
    static double UnixMs(TDateTime t);
    static double UnixMs(TDateTime t, TZoneCache& cache);

    // A row's UTC instant in ms since 1970-01-01: its Date less the offset the row was taken with,
    // or, for a row that has none, Date through the zone rules.
    static double RowUnixMs(const TDataRow& row, TZoneCache& cache);
    // A row's time as AppendTime writes it, with the offset the row was taken with.
    static void AppendRowTime(QByteArray& out, const TDataRow& row);

    // The names of a row's values, in the order of TProperty. The "Time" column of a row is given
    // in milliseconds since 1970-01-01 UTC.
    static QStringList ColumnNames();
    // One row as an array of numbers in the order of ColumnNames().
    static void AppendRow(QByteArray& out, const TDataRow& row);
    static void AppendRow(QByteArray& out, const TDataRow& row, TZoneCache& cache);

    // GET /api/rows: {"columns":[...],"from":N,"next":M,"total":T,"rows":[[...],...]}
    static QByteArray Rows(std::int64_t from, const std::vector<TDataRow>& rows, std::int64_t total);
    // GET /api/status
    static QByteArray Status(const TMonitorStatus& status, const std::optional<TDataRow>& latest,
                             std::int64_t rows, std::int64_t events);
    // GET /api/events: {"from":N,"next":M,"events":[{"index":..,"time":..,"source":..,"text":..}]}
    static QByteArray Events(std::int64_t from, const QStringList& lines);
    // One event-log line ("yyyy-MM-dd HH:mm:ss.zzz<TAB>source<TAB>text") as an object.
    static void AppendEvent(QByteArray& out, std::int64_t index, const QString& line);
    static const char* LinkStateName(TLinkState s);
};
