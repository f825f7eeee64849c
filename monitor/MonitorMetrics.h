#pragma once
// The web monitor's GET /metrics: the run's present state in the Prometheus text exposition
// format (version 0.0.4), so a lab's Prometheus can scrape every rig and alert on a stalled one.
// Base units throughout (atm, °C, A, V, s). A value that is not known yet (no data point, no save)
// is left out rather than written as a number nobody measured. Every series carries the
// experiment's name as the label "experiment".
#include "monitor/MonitorStatus.h"
#include "recording/DataRow.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

class TMonitorMetrics {
public:
    // The content type of the answer.
    static constexpr const char* kContentType = "text/plain; version=0.0.4; charset=utf-8";

    // The whole exposition. `rows` counts every row so far (mode changes too); `nowUnixS` is the
    // present instant in s since 1970-01-01 UTC, for the time since the last save.
    static QByteArray Text(const TMonitorStatus& status, const std::optional<TDataRow>& latest,
                           std::int64_t rows, double nowUnixS);

    // A label value between its quotes: backslash, double quote and line feed escaped.
    static void AppendLabelValue(QByteArray& out, const QString& value);
    // A sample value as the format reads it: the fewest digits that read back the same, "+Inf",
    // "-Inf", "NaN".
    static void AppendValue(QByteArray& out, double value);
};
