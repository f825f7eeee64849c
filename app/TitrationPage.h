#pragma once
// The "Titration" page: the sample's delta against time, its isotherm (delta against log10 pO2, one
// marker per equilibrium point, falling and rising pO2 told apart, one pair of series per
// temperature within 5 degC), the table of equilibrium points, the leak constant alpha with its
// standard error, the charge counted and estimated, and a status line with the current delta.
// It holds the run's TTitrationRun and shows it after each row; the isotherm and the table are rebuilt
// only when a point was added. The wheel zooms and a drag pans both plots, a double click fits
// them again, hovering shows the nearest point, and each plot saves as PNG or PDF.
#include "titration/TitrationRun.h"

#include <qcustomplot.h>

#include <QWidget>

class QCheckBox;
class QLabel;
class QTableWidget;
class TRtDoubleEdit;

class TTitrationPage : public QWidget {
    Q_OBJECT
public:
    explicit TTitrationPage(QWidget* parent = nullptr);

    // The running experiment's balance: started with its first row, fed every row after.
    TTitrationRun Run;
    // The run starts with the leak constant and the leak correction entered on this page (the
    // sample and cell details come from their pages).
    void StartRun(const TTitrationSetup& setup, const QString& isothermPath);
    void AddRow(const TDataRow& row);
    void FinishRun();

    // Shows the run as it stands; `pointsChanged`: its equilibrium points (or alpha) changed.
    void Refresh(const TTitrationRun& run, bool pointsChanged);
    // A new run: empties the plots and the table.
    void Clear();

    QCustomPlot* DeltaPlot;
    QCustomPlot* IsothermPlot;
    QTableWidget* PointTable;
    QLabel* LabelAlpha;
    QLabel* LabelCharge;
    QLabel* LabelStatus;
    // The leak constant used until the run's first equilibrium point gives one, mol O2/(s atm^1/4),
    // and whether the leak enters the balance at all; both take effect at the next run's start.
    TRtDoubleEdit* RtDoubleEditTitrationAlpha;
    QCheckBox* CheckBoxLeakCorrection;

    // What hovering at this widget position of `plot` shows: the nearest point's values.
    static QString HoverText(QCustomPlot* plot, const QPointF& pos);

signals:
    // The isotherm file could not be written (empty: it is written again).
    void IsothermWriteError(const QString& error);

private:
    void RebuildIsotherm(const TTitrationRun& run);
    void RebuildTable(const TTitrationRun& run);
    void SavePlot(QCustomPlot* plot, bool pdf);
    QCustomPlot* MakePlot(const QString& name, const QString& xLabel);

    QCPGraph* fDeltaGraph = nullptr;
    std::size_t fDeltasShown = 0;
    double fFirstDate = 0;
    QString fLastError;
};
