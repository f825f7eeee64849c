#include "app/RawDataPage.h"

#include "common/Dialogs.h"
#include "common/ProgramFolder.h"
#include "recording/AnalysisExport.h"
#include "recording/ColumnTable.h"
#include "recording/TDataGridModel.h"
#include "titration/TitrationColumns.h"

#include <QCheckBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

namespace {
constexpr int kRowHeight = 20;
// Room for the cell's margins and the grid line.
constexpr int kCellPadding = 12;

// The widest text a column's cells hold, in digits of the widest kind.
QString WidestCell(TProperty p) {
    switch (p) {
    case TProperty::Time:
        return QStringLiteral("8888-88-88 88:88:88"); // a mode-change row's moment
    case TProperty::SetPoint:
        return QStringLiteral("-88.888");
    case TProperty::StablepO2:
    case TProperty::RangepO2:
    case TProperty::StableI:
        return QStringLiteral("MaxI");
    default:
        break;
    }
    QString sample = Col(p).Format;
    if (sample.contains(u'y')) { // the date-time pattern: every field in digits
        for (QChar& ch : sample)
            if (ch.isLetter())
                ch = u'8';
        return sample;
    }
    sample.replace(u'0', u'8');
    sample.replace(u'+', u'-');
    return u'-' + sample;
}

void SetUpTable(QTableView* t) {
    t->horizontalHeader()->hide();
    t->verticalHeader()->hide();
    t->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    t->verticalHeader()->setDefaultSectionSize(kRowHeight);
    t->verticalHeader()->setMinimumSectionSize(kRowHeight);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setWordWrap(false);
}
} // namespace

TRawDataPage::TRawDataPage(TDataGridModel* model, QWidget* parent) : QWidget(parent), fModel(model) {
    setObjectName(QStringLiteral("TabSheetData"));
    CheckBoxScroll = new QCheckBox(QStringLiteral("Autoscroll to last row"), this);
    CheckBoxScroll->setObjectName(QStringLiteral("CheckBoxScroll"));
    CheckBoxScroll->setChecked(true);

    StringGridData = new QTableView(this);
    StringGridData->setObjectName(QStringLiteral("StringGridData"));
    StringGridData->setModel(model);
    SetUpTable(StringGridData);
    // The captions stand once, in the strip above; the table's own caption row stays hidden.
    StringGridData->setRowHidden(0, true);
    connect(model, &QAbstractItemModel::modelReset, this, [this] { StringGridData->setRowHidden(0, true); });
    // The newest row is followed until the operator scrolls away from the bottom, and again once
    // he scrolls back to it.
    connect(StringGridData->verticalScrollBar(), &QScrollBar::actionTriggered, this, [this] {
        const QScrollBar* bar = StringGridData->verticalScrollBar();
        fFollowing = bar->sliderPosition() >= bar->maximum();
    });

    // The strip shows the same model's first row and follows the table's horizontal scrolling.
    StringGrid1 = new QTableView(this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setModel(model);
    SetUpTable(StringGrid1);
    StringGrid1->setEnabled(false);
    StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid1->setFixedHeight(kRowHeight + 2 * StringGrid1->frameWidth());
    // Disabled so it takes no clicks, but its captions read like ordinary text.
    QPalette pal = StringGrid1->palette();
    pal.setColor(QPalette::Disabled, QPalette::Text, pal.color(QPalette::Active, QPalette::Text));
    pal.setColor(QPalette::Disabled, QPalette::Base, pal.color(QPalette::Active, QPalette::Button));
    StringGrid1->setPalette(pal);
    QFont bold = StringGrid1->font();
    bold.setBold(true);
    StringGrid1->setFont(bold);
    connect(StringGridData->horizontalScrollBar(), &QScrollBar::valueChanged,
            StringGrid1->horizontalScrollBar(), &QScrollBar::setValue);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    ButtonExportForAnalysis = new QPushButton(QStringLiteral("Export for analysis…"), this);
    ButtonExportForAnalysis->setObjectName(QStringLiteral("ButtonExportForAnalysis"));
    ButtonExportForAnalysis->setToolTip(
        QStringLiteral("Writes a data file as a UTF-8 CSV file (one header line, numbers only, ISO 8601 "
                       "times) and its header, variables and notes as a JSON file, for analysis tools."));
    connect(ButtonExportForAnalysis, &QPushButton::clicked, this,
            &TRawDataPage::ButtonExportForAnalysisClick);
    auto* top = new QHBoxLayout;
    top->addWidget(CheckBoxScroll);
    top->addStretch(1);
    top->addWidget(ButtonExportForAnalysis);
    layout->addLayout(top);
    layout->addSpacing(4);
    layout->addWidget(StringGrid1);
    layout->addWidget(StringGridData, 1);
    ApplyColumnWidths();
}

void TRawDataPage::ApplyColumnWidths() {
    // At least the specified width, and wide enough for the caption and the widest cell.
    const QFontMetrics cells(StringGridData->font());
    const QFontMetrics captions(StringGrid1->font());
    for (int p = 0; p < PropertyCount; ++p) {
        const int c = ColumnOf(TProperty(p));
        if (c < 0 || c >= fModel->columnCount())
            continue;
        const int width =
            std::max({fModel->ColumnWidth(c), captions.horizontalAdvance(fModel->Cell(0, c)) + kCellPadding,
                      cells.horizontalAdvance(WidestCell(TProperty(p))) + kCellPadding});
        StringGridData->setColumnWidth(c, width);
        StringGrid1->setColumnWidth(c, width);
    }
}

void TRawDataPage::ScrollToLastRow() {
    const int last = fModel->rowCount() - 1;
    if (last < 0 || !fFollowing)
        return;
    StringGridData->setCurrentIndex(fModel->index(last, 0));
    StringGridData->scrollToBottom();
}

void TRawDataPage::ButtonExportForAnalysisClick() {
    const QString userdata = QDir(ProgramFolder()).filePath(QStringLiteral("Userdata"));
    const QString input = Dialogs().OpenFileName(QStringLiteral("Data file to export for analysis"), userdata,
                                                 QStringLiteral("Data files (*.csv);;All files (*)"));
    if (input.isEmpty())
        return;
    const QString output =
        Dialogs().SaveFileName(QStringLiteral("Export for analysis as"),
                               TAnalysisExport::DefaultOutput(input), QStringLiteral("CSV files (*.csv)"));
    if (output.isEmpty())
        return;
    TTitrationColumns balance; // the sample's oxygen balance after the file's own columns
    TAnalysisExportOptions options;
    options.Extra = &balance;
    const TAnalysisExportResult r = TAnalysisExport::Run(input, output, options);
    if (!r.Ok) {
        Dialogs().Message(r.Message);
        return;
    }
    Dialogs().Message(
        QStringLiteral("Exported %1 data rows and %2 mode changes to\n%3\nwith header, variables and "
                       "notes in\n%4%5")
            .arg(r.DataRows)
            .arg(r.EventRows)
            .arg(QDir::toNativeSeparators(r.CsvPath), QDir::toNativeSeparators(r.JsonPath),
                 r.SkippedLines
                     ? QStringLiteral("\n(%1 unfinished or broken lines skipped)").arg(r.SkippedLines)
                     : QString()));
}
