#pragma once
// The web monitor's JSON: numbers as numbers (null for an empty cell), times in ISO 8601 with the
// local offset. Written by hand into one buffer, because a page of 10 000 rows must be formatted in
// a few milliseconds.
#include "common/DateTime.h"
#include "diagnostics/EventRecord.h"
#include "monitor/MonitorStatus.h"
#include "recording/DataRow.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

class TMonitorJson {
public:
    // A number in the fewest digits that read back the same; null for NaN and infinities.
    static void AppendNumber(QByteArray& out, double v);
    // A JSON string, quotes included.
    static void AppendString(QByteArray& out, const QString& s);
    static void AppendString(QByteArray& out, std::string_view utf8);
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
    // An instant (ms since 1970-01-01 UTC) as AppendTime writes it, with the offset given (s).
    static void AppendInstant(QByteArray& out, qint64 unixMs, int utcOffsetS);
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
    static QByteArray Events(std::int64_t from, std::span<const TEventRecord> events);
    // One event as an object; its time with the offset from UTC it was written with.
    static void AppendEvent(QByteArray& out, std::int64_t index, const TEventRecord& event);
    static const char* LinkStateName(TLinkState s);
};
