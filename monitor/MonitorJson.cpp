#include "monitor/MonitorJson.h"

#include "recording/ColumnTable.h"

#include <charconv>
#include <cmath>
#include <cstdio>

void TMonitorJson::AppendNumber(QByteArray& out, double v) {
    if (!std::isfinite(v)) {
        out.append("null", 4);
        return;
    }
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    out.append(buffer, qsizetype(r.ptr - buffer));
}

void TMonitorJson::AppendString(QByteArray& out, const QString& s) {
    const QByteArray utf8 = s.toUtf8();
    AppendString(out, std::string_view(utf8.constData(), std::size_t(utf8.size())));
}

void TMonitorJson::AppendString(QByteArray& out, std::string_view utf8) {
    out.append('"');
    for (const char c : utf8) {
        switch (c) {
        case '"':
            out.append("\\\"", 2);
            break;
        case '\\':
            out.append("\\\\", 2);
            break;
        case '\n':
            out.append("\\n", 2);
            break;
        case '\r':
            out.append("\\r", 2);
            break;
        case '\t':
            out.append("\\t", 2);
            break;
        default:
            if (std::uint8_t(c) < 0x20) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\u%04x", unsigned(std::uint8_t(c)));
                out.append(esc, 6);
            } else {
                out.append(c);
            }
        }
    }
    out.append('"');
}

QString TMonitorJson::IsoTime(TDateTime t) {
    const QDateTime local = QtFromDateTime(t);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

void TMonitorJson::AppendTime(QByteArray& out, TDateTime t) {
    if (t <= 0 || !std::isfinite(t)) {
        out.append("null", 4);
        return;
    }
    AppendString(out, IsoTime(t));
}

namespace {
constexpr double kUnixEpochDay = 25569; // 1970-01-01 in days from 1899-12-30

// Milliseconds of local wall-clock time since 1970-01-01 00:00 local, rounded as QtFromDateTime.
double LocalMs(TDateTime t) {
    const double day = std::floor(t);
    return (day - kUnixEpochDay) * SecondsPerDay * 1000.0 +
           double(std::llround((t - day) * SecondsPerDay * 1000.0));
}
} // namespace

double TMonitorJson::RowUnixMs(const TDataRow& row, TZoneCache& cache) {
    const double t = row[TProperty::Date];
    // A row that knows its offset is exact, also in the hour that repeats when daylight saving
    // ends; only a row read back from a file goes through the zone rules.
    if (row.UtcOffsetS == TDataRow::kNoUtcOffset || !std::isfinite(t))
        return UnixMs(t, cache);
    return LocalMs(t) - double(row.UtcOffsetS) * 1000.0;
}

void TMonitorJson::AppendRowTime(QByteArray& out, const TDataRow& row) {
    const double t = row[TProperty::Date];
    if (row.UtcOffsetS == TDataRow::kNoUtcOffset || !(t > 0) || !std::isfinite(t)) {
        AppendTime(out, t);
        return;
    }
    TZoneCache cache;
    AppendInstant(out, qint64(RowUnixMs(row, cache)), row.UtcOffsetS);
}

void TMonitorJson::AppendInstant(QByteArray& out, qint64 unixMs, int utcOffsetS) {
    const QDateTime utc = QDateTime::fromMSecsSinceEpoch(unixMs, Qt::UTC);
    AppendString(out, utc.toOffsetFromUtc(utcOffsetS).toString(Qt::ISODateWithMs));
}

double TMonitorJson::UnixMs(TDateTime t) {
    TZoneCache cache;
    return UnixMs(t, cache);
}

double TMonitorJson::UnixMs(TDateTime t, TZoneCache& cache) {
    if (!std::isfinite(t))
        return t;
    const double hour = std::floor(t * 24.0) / 24.0;
    if (hour != cache.Hour) {
        cache.Hour = hour;
        cache.OffsetMs = double(QtFromDateTime(hour).toMSecsSinceEpoch()) - LocalMs(hour);
    }
    return LocalMs(t) + cache.OffsetMs;
}

QStringList TMonitorJson::ColumnNames() {
    QStringList names;
    for (const RColInfo& c : ColInfo())
        names << c.Caption;
    return names;
}

void TMonitorJson::AppendRow(QByteArray& out, const TDataRow& row) {
    TZoneCache cache;
    AppendRow(out, row, cache);
}

void TMonitorJson::AppendRow(QByteArray& out, const TDataRow& row, TZoneCache& cache) {
    out.append('[');
    for (int i = 0; i < PropertyCount; ++i) {
        if (i)
            out.append(',');
        const double v = row.Value[std::size_t(i)];
        AppendNumber(out, TProperty(i) == TProperty::Date && !std::isnan(v) ? RowUnixMs(row, cache) : v);
    }
    out.append(']');
}

QByteArray TMonitorJson::Rows(std::int64_t from, const std::vector<TDataRow>& rows, std::int64_t total) {
    QByteArray out;
    out.reserve(qsizetype(rows.size()) * 200 + 512);
    out.append("{\"columns\":[");
    const QStringList names = ColumnNames();
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (i)
            out.append(',');
        AppendString(out, names[i]);
    }
    out.append("],\"from\":");
    out.append(QByteArray::number(from));
    out.append(",\"next\":");
    out.append(QByteArray::number(from + std::int64_t(rows.size())));
    out.append(",\"total\":");
    out.append(QByteArray::number(total));
    out.append(",\"rows\":[");
    TZoneCache cache;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i)
            out.append(',');
        AppendRow(out, rows[i], cache);
    }
    out.append("]}");
    return out;
}

const char* TMonitorJson::LinkStateName(TLinkState s) {
    switch (s) {
    case TLinkState::OK:
        return "OK";
    case TLinkState::Failing:
        return "Failing";
    case TLinkState::Recovering:
        return "Recovering";
    }
    return "OK";
}

namespace {
void Key(QByteArray& out, const char* key, bool first = false) {
    if (!first)
        out.append(',');
    out.append('"');
    out.append(key);
    out.append("\":", 2);
}

void Flag(QByteArray& out, const TDataRow& row, TProperty p) {
    if (!row.Has(p))
        out.append("false", 5); // an empty flag cell: not settled
    else if (p == TProperty::StableI && row[p] == TDataRow::kMaxI)
        out.append("\"MaxI\"", 6);
    else
        out.append(row.IsTrue(p) ? "true" : "false");
}
} // namespace

QByteArray TMonitorJson::Status(const TMonitorStatus& s, const std::optional<TDataRow>& latest,
                                std::int64_t rows, std::int64_t events) {
    QByteArray out;
    out.reserve(1024);
    out.append('{');
    Key(out, "state", true);
    AppendString(out, s.State);
    Key(out, "mode");
    AppendString(out, s.ModeText);
    Key(out, "step");
    out.append(QByteArray::number(s.Step));
    Key(out, "steps");
    out.append(QByteArray::number(s.StepCount));
    Key(out, "instrumentsValid");
    out.append(s.InstrumentsValid ? "true" : "false");
    Key(out, "links");
    out.append("{\"SMU\":{\"state\":\"");
    out.append(LinkStateName(s.SMU));
    out.append("\",\"text\":");
    AppendString(out, s.SMUText);
    out.append("},\"DMM\":{\"state\":\"");
    out.append(LinkStateName(s.DMM));
    out.append("\",\"text\":");
    AppendString(out, s.DMMText);
    out.append("}}");
    Key(out, "notice");
    AppendString(out, s.Notice);
    Key(out, "rows");
    out.append(QByteArray::number(rows));
    Key(out, "events");
    out.append(QByteArray::number(events));
    Key(out, "rcDurationS");
    AppendNumber(out, s.RCDurationS);
    Key(out, "delta");
    AppendNumber(out, s.Delta);
    Key(out, "lastSave");
    if (s.LastSaveFile.isEmpty()) {
        out.append("null", 4);
    } else {
        out.append("{\"file\":");
        AppendString(out, s.LastSaveFile);
        out.append(",\"time\":");
        AppendTime(out, s.LastSaveTime);
        out.append('}');
    }
    Key(out, "journal");
    if (s.JournalFile.isEmpty())
        out.append("null", 4);
    else
        AppendString(out, s.JournalFile);
    Key(out, "experiment");
    AppendString(out, s.Experiment);
    Key(out, "setpoint");
    if (s.SetpointQuantity == TMonitorStatus::TSetpointQuantity::None || !std::isfinite(s.Setpoint)) {
        out.append("null", 4);
    } else {
        const bool pO2 = s.SetpointQuantity == TMonitorStatus::TSetpointQuantity::PO2;
        out.append(pO2 ? "{\"quantity\":\"pO2\",\"unit\":\"atm\",\"value\":"
                       : "{\"quantity\":\"pumpV\",\"unit\":\"V\",\"value\":");
        AppendNumber(out, s.Setpoint);
        out.append('}');
    }
    Key(out, "stepStatus");
    if (s.StepSeconds < 0) {
        out.append("null", 4);
    } else {
        out.append("{\"seconds\":");
        AppendNumber(out, s.StepSeconds);
        const struct {
            const char* key;
            const std::optional<bool>& holds;
        } criteria[] = {
            {"rangepO2", s.StepInRange}, {"stablepO2", s.StepPO2Stable}, {"stableI", s.StepCurrentStable}};
        for (const auto& c : criteria) {
            if (!c.holds)
                continue;
            Key(out, c.key);
            out.append(*c.holds ? "true" : "false");
        }
        out.append('}');
    }
    Key(out, "latest");
    if (!latest) {
        out.append("null", 4);
    } else {
        const TDataRow& r = *latest;
        out.append('{');
        Key(out, "time", true);
        AppendRowTime(out, r);
        const struct {
            const char* key;
            TProperty p;
        } numbers[] = {{"mode", TProperty::Mode},         {"durationS", TProperty::Time},
                       {"cellT", TProperty::Temp},        {"pumpV", TProperty::PumpV},
                       {"pumpI", TProperty::PumpI},       {"cellpO2", TProperty::CellpO2},
                       {"flushpO2", TProperty::FlushpO2}, {"rcpO2", TProperty::RCpO2},
                       {"rcI", TProperty::RCI},           {"step", TProperty::Step},
                       {"setPoint", TProperty::SetPoint}, {"intervalS", TProperty::Interval}};
        for (const auto& n : numbers) {
            Key(out, n.key);
            AppendNumber(out, r[n.p]);
        }
        Key(out, "stablepO2");
        Flag(out, r, TProperty::StablepO2);
        Key(out, "rangepO2");
        Flag(out, r, TProperty::RangepO2);
        Key(out, "stableI");
        Flag(out, r, TProperty::StableI);
        out.append('}');
    }
    out.append('}');
    return out;
}

void TMonitorJson::AppendEvent(QByteArray& out, std::int64_t index, const TEventRecord& event) {
    out.append("{\"index\":");
    out.append(QByteArray::number(index));
    out.append(",\"time\":");
    AppendInstant(out, event.UnixMs(), event.UtcOffsetS);
    out.append(",\"source\":");
    AppendString(out, event.Source);
    out.append(",\"text\":");
    AppendString(out, event.Text);
    out.append('}');
}

QByteArray TMonitorJson::Events(std::int64_t from, std::span<const TEventRecord> events) {
    QByteArray out;
    out.append("{\"from\":");
    out.append(QByteArray::number(from));
    out.append(",\"next\":");
    out.append(QByteArray::number(from + std::int64_t(events.size())));
    out.append(",\"events\":[");
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (i)
            out.append(',');
        AppendEvent(out, from + std::int64_t(i), events[i]);
    }
    out.append("]}");
    return out;
}
