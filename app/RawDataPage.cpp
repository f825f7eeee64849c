#include "app/RawDataPage.h"

#include "recording/TDataGridModel.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

namespace {
constexpr int kRowHeight = 20;

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
    layout->addWidget(CheckBoxScroll);
    layout->addSpacing(4);
    layout->addWidget(StringGrid1);
    layout->addWidget(StringGridData, 1);
    ApplyColumnWidths();
}

void TRawDataPage::ApplyColumnWidths() {
    for (int c = 0; c < fModel->columnCount(); ++c) {
        StringGridData->setColumnWidth(c, fModel->ColumnWidth(c));
        StringGrid1->setColumnWidth(c, fModel->ColumnWidth(c));
    }
}

void TRawDataPage::ScrollToLastRow() {
    const int last = fModel->rowCount() - 1;
    if (last < 0)
        return;
    StringGridData->setCurrentIndex(fModel->index(last, 0));
    StringGridData->scrollToBottom();
}
