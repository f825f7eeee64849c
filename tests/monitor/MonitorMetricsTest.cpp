// The text of GET /metrics without a server: exact lines for a known run, label escaping, and
// values left out while they are not known.
#include "monitor/MonitorMetrics.h"
#include "monitor/MonitorJson.h"

#include <QDateTime>
#include <QStringList>
#include <gtest/gtest.h>

namespace {

// 2026-12-10 14:02:11 local, taken at UTC+1: 13:02:11 UTC is 1796907731 s after 1970.
TDataRow Row() {
    TDataRow r;
    r[TProperty::Mode] = 12;
    r[TProperty::PumpI] = 2e-6;
    r[TProperty::PumpV] = -0.25;
    r[TProperty::CellpO2] = 1.5e-7;
    r[TProperty::Temp] = 700.5;
    r[TProperty::Date] = DateTimeFromQt(QDateTime(QDate(2026, 12, 10), QTime(14, 2, 11)));
    r.UtcOffsetS = 3600;
    return r;
}

TMonitorStatus Status() {
    TMonitorStatus s;
    s.Experiment = QStringLiteral("LSC64");
    s.State = QStringLiteral("PPS");
    s.Step = 3;
    s.StepCount = 8;
    s.SMU = TLinkState::Recovering;
    s.LastSaveTime = DateTimeFromQt(QDateTime(QDate(2026, 12, 10), QTime(14, 0, 0)));
    return s;
}

// The present instant `s` seconds after the last save of Status().
double SecondsAfterSave(double s) {
    return TMonitorJson::UnixMs(Status().LastSaveTime) / 1000.0 + s;
}

QStringList SampleNames(const QByteArray& text) {
    QStringList names;
    for (const QByteArray& line : text.split('\n'))
        if (!line.isEmpty() && !line.startsWith('#'))
            names << QString::fromUtf8(line.left(line.indexOf('{')));
    names.removeDuplicates();
    return names;
}

TEST(MonitorMetrics, KnownRunGivesExactLines) {
    const QByteArray text = TMonitorMetrics::Text(Status(), Row(), 42, SecondsAfterSave(131.5));
    const char* expected =
        "# HELP ondrix_program_state The program state the run is in (1 for that state).\n"
        "# TYPE ondrix_program_state gauge\n"
        "ondrix_program_state{experiment=\"LSC64\",state=\"PPS\"} 1\n"
        "# HELP ondrix_step The running step of a step program, from 1; 0 outside one.\n"
        "# TYPE ondrix_step gauge\n"
        "ondrix_step{experiment=\"LSC64\"} 3\n"
        "# HELP ondrix_steps The number of steps of the running step program; 0 outside one.\n"
        "# TYPE ondrix_steps gauge\n"
        "ondrix_steps{experiment=\"LSC64\"} 8\n"
        "# HELP ondrix_link_up 1 while the instrument's link is OK, 0 while it fails or recovers.\n"
        "# TYPE ondrix_link_up gauge\n"
        "ondrix_link_up{experiment=\"LSC64\",instrument=\"SMU\"} 0\n"
        "ondrix_link_up{experiment=\"LSC64\",instrument=\"DMM\"} 1\n"
        "# HELP ondrix_link_state The state of the instrument's link (1 for that state).\n"
        "# TYPE ondrix_link_state gauge\n"
        "ondrix_link_state{experiment=\"LSC64\",instrument=\"SMU\",state=\"OK\"} 0\n"
        "ondrix_link_state{experiment=\"LSC64\",instrument=\"SMU\",state=\"Failing\"} 0\n"
        "ondrix_link_state{experiment=\"LSC64\",instrument=\"SMU\",state=\"Recovering\"} 1\n"
        "ondrix_link_state{experiment=\"LSC64\",instrument=\"DMM\",state=\"OK\"} 1\n"
        "ondrix_link_state{experiment=\"LSC64\",instrument=\"DMM\",state=\"Failing\"} 0\n"
        "ondrix_link_state{experiment=\"LSC64\",instrument=\"DMM\",state=\"Recovering\"} 0\n"
        "# HELP ondrix_rows_total Rows the data table has taken in this run, mode changes included.\n"
        "# TYPE ondrix_rows_total counter\n"
        "ondrix_rows_total{experiment=\"LSC64\"} 42\n"
        "# HELP ondrix_last_row_timestamp_seconds When the newest data point was taken, in s since "
        "1970-01-01 UTC.\n"
        "# TYPE ondrix_last_row_timestamp_seconds gauge\n"
        "ondrix_last_row_timestamp_seconds{experiment=\"LSC64\"} 1796907731\n"
        "# HELP ondrix_cell_po2_atm Oxygen partial pressure in the cell (atm), newest data point.\n"
        "# TYPE ondrix_cell_po2_atm gauge\n"
        "ondrix_cell_po2_atm{experiment=\"LSC64\"} 1.5e-07\n"
        "# HELP ondrix_cell_temperature_celsius Cell temperature (degrees Celsius), newest data point.\n"
        "# TYPE ondrix_cell_temperature_celsius gauge\n"
        "ondrix_cell_temperature_celsius{experiment=\"LSC64\"} 700.5\n"
        "# HELP ondrix_pump_current_amperes Pump current (A), newest data point.\n"
        "# TYPE ondrix_pump_current_amperes gauge\n"
        "ondrix_pump_current_amperes{experiment=\"LSC64\"} 2e-06\n"
        "# HELP ondrix_pump_voltage_volts Pump voltage (V), newest data point.\n"
        "# TYPE ondrix_pump_voltage_volts gauge\n"
        "ondrix_pump_voltage_volts{experiment=\"LSC64\"} -0.25\n"
        "# HELP ondrix_seconds_since_last_save Seconds since the data were last saved in this run.\n"
        "# TYPE ondrix_seconds_since_last_save gauge\n"
        "ondrix_seconds_since_last_save{experiment=\"LSC64\"} 131.5\n";
    EXPECT_EQ(text.toStdString(), expected);
}

TEST(MonitorMetrics, LabelValuesAndNumbersAreWrittenAsTheFormatReadsThem) {
    const struct {
        QString value;
        const char* written;
    } labels[] = {
        {QStringLiteral("plain"), "plain"},
        {QStringLiteral("say \"64\""), "say \\\"64\\\""},
        {QStringLiteral("C:\\data\\run"), "C:\\\\data\\\\run"},
        {QStringLiteral("two\nlines"), "two\\nlines"},
        {QStringLiteral("tab\tstays, ÅO₂"), "tab\tstays, ÅO₂"},
        {QStringLiteral("\\\"\n"), "\\\\\\\"\\n"},
        {QString(), ""},
    };
    for (const auto& c : labels) {
        SCOPED_TRACE(c.value.toStdString());
        QByteArray out;
        TMonitorMetrics::AppendLabelValue(out, c.value);
        EXPECT_EQ(out.toStdString(), c.written);
        // And in the experiment label of every sample line.
        TMonitorStatus s;
        s.Experiment = c.value;
        const QByteArray text = TMonitorMetrics::Text(s, std::nullopt, 0, 0);
        EXPECT_TRUE(text.contains("ondrix_rows_total{experiment=\"" + QByteArray(c.written) + "\"} 0\n"))
            << text.toStdString();
    }
    const struct {
        double value;
        const char* written;
    } numbers[] = {{1.5e-7, "1.5e-07"},      {700, "700"},
                   {-0.25, "-0.25"},         {0.1 + 0.2, "0.30000000000000004"},
                   {HUGE_VAL, "+Inf"},       {-HUGE_VAL, "-Inf"},
                   {TDataRow::kEmpty, "NaN"}};
    for (const auto& c : numbers) {
        QByteArray out;
        TMonitorMetrics::AppendValue(out, c.value);
        EXPECT_EQ(out.toStdString(), c.written);
    }
}

TEST(MonitorMetrics, UnknownValuesAreLeftOut) {
    const QStringList always = {"ondrix_program_state", "ondrix_step",       "ondrix_steps",
                                "ondrix_link_up",       "ondrix_link_state", "ondrix_rows_total"};
    const QStringList point = {"ondrix_last_row_timestamp_seconds", "ondrix_cell_po2_atm",
                               "ondrix_cell_temperature_celsius", "ondrix_pump_current_amperes",
                               "ondrix_pump_voltage_volts"};
    const QString save = QStringLiteral("ondrix_seconds_since_last_save");
    TDataRow noPO2 = Row();
    noPO2[TProperty::CellpO2] = TDataRow::kEmpty;
    TMonitorStatus unsaved = Status();
    unsaved.LastSaveTime = 0;
    TMonitorStatus noState = Status();
    noState.State.clear();

    const struct {
        const char* what;
        TMonitorStatus status;
        std::optional<TDataRow> row;
        QStringList expected;
    } cases[] = {
        {"everything known", Status(), Row(), always + point + QStringList{save}},
        {"no data point yet", Status(), std::nullopt, always + QStringList{save}},
        {"a point without pO2", Status(), noPO2,
         always + QStringList{point[0], point[2], point[3], point[4], save}},
        {"not saved yet", unsaved, Row(), always + point},
        {"no status from the window yet", noState, std::nullopt, QStringList{"ondrix_rows_total", save}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray text = TMonitorMetrics::Text(c.status, c.row, 7, SecondsAfterSave(5));
        EXPECT_EQ(SampleNames(text), c.expected);
        EXPECT_FALSE(text.contains("NaN")) << text.toStdString();
        // Every family that is written has its HELP and TYPE lines.
        for (const QString& name : SampleNames(text)) {
            EXPECT_TRUE(text.contains("# HELP " + name.toUtf8() + ' ')) << name.toStdString();
            EXPECT_TRUE(text.contains("# TYPE " + name.toUtf8() + ' ')) << name.toStdString();
        }
    }
}

} // namespace
