#pragma once
// The "Raw data" page: the data table with its captions held in view above it, once. Columns are
// wide enough for their captions and cells. While autoscroll is on the newest row stays in view,
// unless the operator has scrolled away from the bottom to read older rows.
#include <QWidget>

class QCheckBox;
class QPushButton;
class QTableView;
class TDataGridModel;

class TRawDataPage : public QWidget {
    Q_OBJECT
public:
    TRawDataPage(TDataGridModel* model, QWidget* parent = nullptr);

    // Applies the column widths of the model to both tables.
    void ApplyColumnWidths();
    // Makes the last row the current one, scrolling it into view (not while the operator reads
    // older rows).
    void ScrollToLastRow();

    // Asks for a data file (or journal) and where to write it, and exports it for analysis tools.
    void ButtonExportForAnalysisClick();

    QCheckBox* CheckBoxScroll;
    QPushButton* ButtonExportForAnalysis;
    QTableView* StringGridData;
    QTableView* StringGrid1; // header strip: the caption row, always in view

private:
    TDataGridModel* fModel;
    bool fFollowing = true;
};
