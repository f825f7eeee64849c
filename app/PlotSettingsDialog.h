#pragma once
// The settings of the data plot, opened by a right-click on it: for each axis an automatic or a
// fixed range and a logarithmic or linear scale, for each series whether it is shown, whether the
// quantities stack in panels, and saving
// the plot as a PNG picture or a PDF document.
//
// The dialog starts from the plot's current settings and changes the plot only on OK or Apply;
// saving writes the plot as it is on screen.
#include <QDialog>
#include <QList>

class QCheckBox;
class QCPAxis;
class QCPGraph;
class QDialogButtonBox;
class QPushButton;
class TDataPlot;
class TRtDoubleEdit;

class TPlotSettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit TPlotSettingsDialog(TDataPlot* plot, QWidget* parent = nullptr);

    struct TAxisRow {
        QCPAxis* Axis;
        QCheckBox* Automatic;
        TRtDoubleEdit* Minimum;
        TRtDoubleEdit* Maximum;
        QCheckBox* Logarithmic; // none for the time axis
    };
    struct TSeriesRow {
        QCPGraph* Series;
        QCheckBox* Visible;
    };

    // The time axis first, then the value axes; the series in drawing order.
    QList<TAxisRow> AxisRows;
    QList<TSeriesRow> SeriesRows;
    QCheckBox* CheckBoxStacked;
    QPushButton* ButtonSavePng;
    QPushButton* ButtonSavePdf;
    QDialogButtonBox* ButtonBox;

    const TAxisRow& Row(const QCPAxis* axis) const;
    QCheckBox* VisibleBox(const QCPGraph* series) const;

    // Writes the dialog's settings into the plot and redraws it. A fixed range with its minimum
    // not below its maximum, or not above zero on a logarithmic axis, is refused with a message,
    // and then nothing changes.
    bool Apply();
    void ButtonSavePngClick();
    void ButtonSavePdfClick();

    // Asks where to save a plot as PDF or PNG (in Userdata first); the name gets the suffix when
    // typed without one. Empty when the operator cancels.
    static QString AskPlotFile(bool pdf);
    static QString Title() { return QStringLiteral("Set properties of: RtGraph2D1"); }

private:
    void AddAxisRow(class QGridLayout* grid, QCPAxis* axis, bool offerLogarithmic);
    QString Invalid(const TAxisRow& row) const;
    void Save(bool pdf);

    TDataPlot* fPlot;
};
