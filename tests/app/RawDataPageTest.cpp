// The "Raw data" page: headings once, columns that show their content, following the newest row.
#include "app/RawDataPage.h"
#include "recording/ColumnTable.h"
#include "recording/TDataGridModel.h"
#include "tests/support/QtPrint.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class RawDataPage : public ::testing::Test {
protected:
    void SetUp() override {
        model.FormatGrid();
        page = std::make_unique<TRawDataPage>(&model);
        page->ApplyColumnWidths();
        page->resize(1055, 600);
        page->show();
    }
    void AddRows(int n) {
        for (int i = 0; i < n; ++i) {
            const int r = model.AddRow();
            model.SetCell(r, ColumnOf(TProperty::Date), QStringLiteral("2024-03-15_14:05:09:042"));
            model.SetCell(r, ColumnOf(TProperty::PumpI), QStringLiteral("-3.157E-6"));
        }
    }
    QScrollBar* Bar() const { return page->StringGridData->verticalScrollBar(); }

    TDataGridModel model;
    std::unique_ptr<TRawDataPage> page;
};

TEST_F(RawDataPage, HeadingsStandOnceAndColumnsFitTheirContent) {
    EXPECT_TRUE(page->StringGridData->isRowHidden(0)) << "the strip above holds the headings";
    EXPECT_FALSE(page->StringGrid1->isRowHidden(0));
    const QFontMetrics cells(page->StringGridData->font());
    const QFontMetrics captions(page->StringGrid1->font());
    for (int c = 0; c < model.columnCount(); ++c) {
        const int width = page->StringGridData->columnWidth(c);
        SCOPED_TRACE(model.Cell(0, c).toStdString());
        EXPECT_GE(width, model.ColumnWidth(c)) << "at least as specified";
        EXPECT_GT(width, captions.horizontalAdvance(model.Cell(0, c)));
        EXPECT_EQ(page->StringGrid1->columnWidth(c), width);
    }
    EXPECT_GT(page->StringGridData->columnWidth(ColumnOf(TProperty::Date)),
              cells.horizontalAdvance(QStringLiteral("2024-03-15_14:05:09:042")));
    EXPECT_GT(page->StringGridData->columnWidth(ColumnOf(TProperty::Time)),
              cells.horizontalAdvance(QStringLiteral("2024-03-15 14:05:09")));
    // Clearing the data keeps the caption row hidden.
    AddRows(3);
    model.ClearData();
    EXPECT_TRUE(page->StringGridData->isRowHidden(0));
}

TEST_F(RawDataPage, NewestRowIsFollowedUntilTheOperatorScrollsAway) {
    AddRows(200);
    page->ScrollToLastRow();
    QTRY_VERIFY_WITH_TIMEOUT(Bar()->maximum() > 0 && Bar()->value() == Bar()->maximum(), 10000);

    Bar()->triggerAction(QAbstractSlider::SliderToMinimum); // the operator reads older rows
    AddRows(10);
    page->ScrollToLastRow();
    QCoreApplication::processEvents();
    EXPECT_EQ(Bar()->value(), 0);

    Bar()->triggerAction(QAbstractSlider::SliderToMaximum); // and comes back to the bottom
    AddRows(10);
    page->ScrollToLastRow();
    QTRY_VERIFY_WITH_TIMEOUT(Bar()->value() == Bar()->maximum(), 10000);
    EXPECT_EQ(page->StringGridData->currentIndex().row(), model.rowCount() - 1);
}

} // namespace
