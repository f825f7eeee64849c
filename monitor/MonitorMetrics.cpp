#include "monitor/MonitorMetrics.h"

#include "monitor/MonitorJson.h"

#include <charconv>
#include <cmath>
#include <initializer_list>
#include <utility>

void TMonitorMetrics::AppendLabelValue(QByteArray& out, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    for (const char c : utf8) {
        switch (c) {
        case '\\':
            out.append("\\\\", 2);
            break;
        case '"':
            out.append("\\\"", 2);
            break;
        case '\n':
            out.append("\\n", 2);
            break;
        default:
            out.append(c);
        }
    }
}

void TMonitorMetrics::AppendValue(QByteArray& out, double value) {
    if (std::isnan(value)) {
        out.append("NaN");
        return;
    }
    if (std::isinf(value)) {
        out.append(value > 0 ? "+Inf" : "-Inf");
        return;
    }
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, qsizetype(r.ptr - buffer));
}

namespace {
// Writes one metric family: its HELP and TYPE lines, then its samples. Each sample's labels are
// the experiment's name followed by the sample's own pairs.
class TWriter {
public:
    TWriter(QByteArray& out, const QString& experiment) : fOut(out), fExperiment(experiment) {}

    void Family(const char* name, const char* type, const char* help) {
        fName = name;
        fOut.append("# HELP ").append(name).append(' ').append(help).append('\n');
        fOut.append("# TYPE ").append(name).append(' ').append(type).append('\n');
    }
    void Sample(double value, std::initializer_list<std::pair<const char*, QString>> labels = {}) {
        fOut.append(fName).append("{experiment=\"");
        TMonitorMetrics::AppendLabelValue(fOut, fExperiment);
        fOut.append('"');
        for (const auto& [key, text] : labels) {
            fOut.append(',').append(key).append("=\"");
            TMonitorMetrics::AppendLabelValue(fOut, text);
            fOut.append('"');
        }
        fOut.append("} ");
        TMonitorMetrics::AppendValue(fOut, value);
        fOut.append('\n');
    }
    // A family of one sample, written only when the value is known.
    void Known(const char* name, const char* type, const char* help, double value) {
        if (std::isnan(value))
            return;
        Family(name, type, help);
        Sample(value);
    }

private:
    QByteArray& fOut;
    const QString& fExperiment;
    const char* fName = "";
};
} // namespace

QByteArray TMonitorMetrics::Text(const TMonitorStatus& status, const std::optional<TDataRow>& latest,
                                 std::int64_t rows, double nowUnixS) {
    QByteArray out;
    out.reserve(2048);
    TWriter w(out, status.Experiment);

    // Before the window's first status the state, the step and the links are not known.
    if (!status.State.isEmpty()) {
        w.Family("ondrix_program_state", "gauge", "The program state the run is in (1 for that state).");
        w.Sample(1, {{"state", status.State}});
        w.Family("ondrix_step", "gauge", "The running step of a step program, from 1; 0 outside one.");
        w.Sample(status.Step);
        w.Family("ondrix_steps", "gauge", "The number of steps of the running step program; 0 outside one.");
        w.Sample(status.StepCount);

        const std::pair<const char*, TLinkState> links[] = {{"SMU", status.SMU}, {"DMM", status.DMM}};
        w.Family("ondrix_link_up", "gauge",
                 "1 while the instrument's link is OK, 0 while it fails or recovers.");
        for (const auto& [instrument, state] : links)
            w.Sample(state == TLinkState::OK ? 1 : 0, {{"instrument", QString::fromLatin1(instrument)}});
        w.Family("ondrix_link_state", "gauge", "The state of the instrument's link (1 for that state).");
        for (const auto& [instrument, state] : links)
            for (const TLinkState s : {TLinkState::OK, TLinkState::Failing, TLinkState::Recovering})
                w.Sample(s == state ? 1 : 0,
                         {{"instrument", QString::fromLatin1(instrument)},
                          {"state", QString::fromLatin1(TMonitorJson::LinkStateName(s))}});
    }

    w.Family("ondrix_rows_total", "counter",
             "Rows the data table has taken in this run, mode changes included.");
    w.Sample(double(rows));

    if (latest) {
        const TDataRow& row = *latest;
        if (row.Has(TProperty::Date)) {
            TMonitorJson::TZoneCache zone;
            w.Known("ondrix_last_row_timestamp_seconds", "gauge",
                    "When the newest data point was taken, in s since 1970-01-01 UTC.",
                    TMonitorJson::RowUnixMs(row, zone) / 1000.0);
        }
        w.Known("ondrix_cell_po2_atm", "gauge",
                "Oxygen partial pressure in the cell (atm), newest data point.", row[TProperty::CellpO2]);
        w.Known("ondrix_cell_temperature_celsius", "gauge",
                "Cell temperature (degrees Celsius), newest data point.", row[TProperty::Temp]);
        w.Known("ondrix_pump_current_amperes", "gauge", "Pump current (A), newest data point.",
                row[TProperty::PumpI]);
        w.Known("ondrix_pump_voltage_volts", "gauge", "Pump voltage (V), newest data point.",
                row[TProperty::PumpV]);
    }

    if (status.LastSaveTime > 0)
        w.Known("ondrix_seconds_since_last_save", "gauge",
                "Seconds since the data were last saved in this run.",
                nowUnixS - TMonitorJson::UnixMs(status.LastSaveTime) / 1000.0);
    return out;
}
