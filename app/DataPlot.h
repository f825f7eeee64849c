#pragma once
// The experiment's time plot: pump voltage, pump current, sensor pO2 and cell temperature, plus the
// pO2 worked out from the pump, against minutes since the experiment started. The time axis runs
// along the bottom; each quantity has its own value axis on the right (pO2 on a logarithmic one).
//
// The row builder appends one point per data row. Appends only mark the plot as changed; a timer
// redraws it at most four times a second. The plot keeps every point itself (TDataPlotSeries) and
// hands each graph only the envelope of the visible time range, a few points per pixel column,
// rebuilt at every redraw and export: a redraw costs the plot's width, not the length of the run,
// so a month at one-second points stays as fluid as an hour.
// Every series keeps its own keys next to its values: a row without a sensor pO2 adds no point to
// that series, and its later values stay on their own times. A line breaks where the data pause
// for longer than three data-point lengths (an instrument outage).
//
// The mouse wheel zooms and a drag pans the time axis; a double click returns to following the
// newest data (a line under the plot says so). Hovering shows the values of the nearest point.
//
// Made to be read at a glance: large readouts of the newest pO2, temperature, current and voltage
// above the plot; each automatic value axis spans at least its quantity's smallest meaningful
// change (TPlotScale); current and voltage count in µA, mA or mV and the time in minutes, hours or
// days, their captions saying which; the setpoint the cell is driven to is drawn as a dashed step
// line (pO2 in the PID modes, pump voltage in PPS), and step advances and mode changes are thin
// vertical marks whose label shows on hover. A legend entry appears once its series has data.
#include "app/DataPlotSeries.h"
#include "app/PlotScale.h"
#include "app/PlotSetpoints.h"
#include "app/PlotValueRange.h"
#include "experiment/IRowPlot.h"
#include "recording/DataRow.h"
#include <qcustomplot.h>

#include <QHash>
#include <QList>
#include <QSet>
#include <array>
#include <optional>

class QTimer;
class TPlotSettingsDialog;

class TDataPlot : public QCustomPlot, public IRowPlot {
    Q_OBJECT
public:
    explicit TDataPlot(QWidget* parent = nullptr);
    ~TDataPlot() override;

    // IRowPlot. A row whose time is not a finite number is ignored.
    void AppendDataPoint(double minutes, double pumpV, double pumpI, double temp,
                         std::optional<double> cellpO2) override;
    void AppendPumppO2(double minutes, double pO2) override;
    void DeleteFirstPoints(int n) override;
    void ClearAllData() override;

    // A row that entered the grid, just after its point was appended: its mode, step and setpoint
    // give the setpoint lines and the marks. `pidSetpointLog` is the PID setpoint (log10 atm) in
    // force, which a PIDSet row does not carry.
    void NoteRow(const TDataRow& row, double pidSetpointLog);

    // The vertical marks: step advances and mode changes, at their times in minutes.
    using TMark = TPlotSetpoints::TMark;
    const QList<TMark>& Marks() const { return fSetpoints.Marks(); }
    // The setpoint lines' runs: 0 the pO2 setpoint (atm), 1 the voltage setpoint (V).
    using TSetpointRun = TPlotSetpoints::TRun;
    const QList<TSetpointRun>& SetpointRuns(int line) const { return fSetpoints.Runs(line); }
    // Stacks the quantities in panels, one above the other, sharing the time axis: pO2 at the top,
    // then current, voltage and temperature (those on show). Off: every curve over the whole height.
    void SetStacked(bool stacked);
    bool Stacked() const { return fStacked; }
    // What a value axis shows of its quantity: its range, or its panel's part of it when stacked.
    QCPRange AxisDataRange(const QCPAxis* axis) const;

    // An axis' caption in the unit its ranges are set in (A, V, minutes), whatever unit its ticks
    // count in at present.
    QString RangeCaption(const QCPAxis* axis) const;

    // The smallest span of an automatic value axis (decades on the logarithmic pO2 axis).
    double MinimumSpan(const QCPAxis* axis) const;

    void SetTemperatureVisible(bool visible);
    bool TemperatureVisible() const;
    // Shows or hides one series; its axis is shown while any of its series is.
    void SetSeriesVisible(QCPGraph* series, bool visible);

    // Axis ranges: automatic (fitted to the axis' own visible series at every redraw) or fixed.
    void SetAxisAutoRange(QCPAxis* axis);
    void SetAxisFixedRange(QCPAxis* axis, double lower, double upper);
    bool AxisAutoRange(const QCPAxis* axis) const;
    void SetAxisLogarithmic(QCPAxis* axis, bool logarithmic);
    static bool AxisLogarithmic(const QCPAxis* axis);

    // Every point the series holds (a break in the line is a point without a value); the graph
    // itself holds only what the last redraw showed of them.
    int PointCount(const QCPGraph* series) const;
    const TDataPlotSeries& Points(const QCPGraph* series) const;
    // The series in drawing order, and the four value axes from the plot outwards.
    QList<QCPGraph*> Series() const;
    QList<QCPAxis*> ValueAxes() const;

    // True while appended data waits for the timed redraw.
    bool ReplotPending() const { return fDirty; }
    // Fits the automatic axes and redraws at once.
    void ReplotNow();

    // Ends a zoom or pan of the time axis: the plot follows the newest data again (a double click
    // does this).
    void FollowNewestData();
    bool FollowingNewestData() const { return fFollowing; }
    // What hovering at this widget position shows: the values of the nearest point in time.
    QString HoverText(const QPointF& pos) const;

    // Opens the settings dialog modally (the right mouse button does this).
    void OpenSettings();

    QCPAxis* XAxisTime;
    QCPAxis* YAxisPumpVoltage;
    QCPAxis* RtAxisPumpCurrent;
    QCPAxis* RtAxisCellpO2;
    QCPAxis* RtAxisCellTemp;

    QCPGraph* RtLineSeriesPumpVoltage;
    QCPGraph* RtLineSeriesPumpCurrent;
    QCPGraph* RtLineSeriesCellpO2;
    QCPGraph* RtLineSeriesCellTemp;
    QCPGraph* RtLineSeriesPumppO2;
    QCPGraph* RtLineSeriesSetpointpO2;
    QCPGraph* RtLineSeriesSetpointVoltage;
    // The readouts above the plot, in the order pO2, temperature, current, voltage, and the line
    // under it that tells how to zoom, pan and follow again.
    std::array<QCPTextElement*, 4> Readouts{};
    QCPTextElement* Hint;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // Every redraw and export lays the plot out first: the graphs get the envelope of what they
    // are about to show, at the width they are about to be shown.
    void updateLayout() override;
    // Runs the dialog; tests override it to drive the dialog without a modal loop.
    virtual void ExecSettingsDialog(TPlotSettingsDialog& dialog);

private:
    // Each series' value range, kept up to date on append so a redraw never scans data.
    using TValueRange = TPlotValueRange;

    QCPGraph* AddSeries(QCPAxis* valueAxis, const QString& name, const QString& caption, const QPen& pen);
    QCPAxis* SetUpValueAxis(QCPAxis* axis, const QString& name, const QString& label, const QColor& colour);
    int IndexOf(const QCPGraph* series) const;
    void Append(int index, double key, double value);
    // Hands a graph the envelope of its points over the time axis' range and width.
    void UpdateGraph(int index);
    void RemoveFirst(int index, int n);
    void RecomputeRange(int index);
    void RescaleAutoAxes();
    void RescaleTimeAxis();
    void RescaleValueAxis(QCPAxis* axis);
    // Sets the axis to show `data`: over the whole height, or in its panel when stacked.
    void PlaceRange(QCPAxis* axis, const QCPRange& data);
    void UpdatePanelLines();
    void UpdateAxisVisibility();
    void RebuildLegend();
    void MarkDirty();
    void TimedReplot();
    void UpdateCaptions();
    void UpdateReadouts();
    void UpdateSetpointGraphs();
    // A thin line across the data area at a mark's time; RebuildMarkItems draws every mark anew.
    void AddMarkItem(const TMark& mark);
    void RebuildMarkItems();
    // The time axis' caption in its present unit.
    TPlotScale::TUnit TimeUnit() const;

    std::array<QCPGraph*, 5> fSeries{};
    std::array<TValueRange, 5> fRanges;
    std::array<TDataPlotSeries, 5> fPoints;
    // Points appended since the graph's last envelope go to the graph as they are, a bounded
    // number of them, so the graph shows new data even before the next redraw; past that the graph
    // waits for the redraw. fFed: how many of the series' points the graph has seen.
    std::array<std::size_t, 5> fFed{};
    std::array<std::size_t, 5> fFedTail{};
    QVector<QCPGraphData> fEnvelope; // reused between redraws
    QSet<const QCPAxis*> fFixedAxes;
    QTimer* fReplotTimer;
    bool fDirty = false;
    bool fFollowing = true; // the time axis follows the data (no zoom or pan by the operator)
    bool fRescaling = false;

    bool fStacked = false;
    QHash<const QCPAxis*, QCPRange> fFixedRanges; // what the operator fixed, before any stacking
    QList<QCPItemStraightLine*> fPanelLines;      // between the panels when stacked
    TPlotSetpoints fSetpoints;
    QList<QCPItemStraightLine*> fMarkItems;
};
