#pragma once
// The "Raw data" page: the data table with its captions held in view above it.
#include <QWidget>

class QCheckBox;
class QTableView;
class TDataGridModel;

class TRawDataPage : public QWidget {
    Q_OBJECT
public:
    TRawDataPage(TDataGridModel* model, QWidget* parent = nullptr);

    // Applies the column widths of the model to both tables.
    void ApplyColumnWidths();
    // Makes the last row the current one, scrolling it into view.
    void ScrollToLastRow();

    QCheckBox* CheckBoxScroll;
    QTableView* StringGridData;
    QTableView* StringGrid1; // header strip: the caption row, always in view

private:
    TDataGridModel* fModel;
};
