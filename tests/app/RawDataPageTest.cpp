// The "Raw data" page: headings once, columns that show their content, following the newest row.
#include "app/RawDataPage.h"
#include "common/DateTime.h"
#include "recording/ColumnTable.h"
#include "recording/TDataGridModel.h"
#include "tests/support/QtPrint.h"
#include "tests/support/ScriptedDialogs.h"

#include <QCheckBox>
#include <QFile>
#include <QFontMetrics>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
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
            TDataRow row;
            row[TProperty::Date] = EncodeDateTime(2024, 3, 15, 14, 5, 9, 42);
            row[TProperty::PumpI] = -3.157e-6;
            model.AddRow(row);
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

// The button asks for the data file and the output, exports, and says what it wrote or why not.
TEST_F(RawDataPage, ExportForAnalysisAsksExportsAndReports) {
    auto dialogs = std::make_shared<TScriptedDialogs>();
    SetDialogs(dialogs);
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("run_0001.csv"));
    QFile f(input);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("** HEADER  ***\r\n\r\nrun\r\nLaCoO3\r\nSaved 2024-03-15 14:05\r\n\r\n** VARIABLES ***\r\n\r\n"
            "Value    ;Unit   ;Abbreviation   ;Field name\r\n\r\n** NOTES ***\r\n\r\n\r\n\r\n"
            "** DATA ***\r\n\r\nDuration,s;Mode;Step;CellT,\xBA"
            "C;PumpV,V;PumpI,A;CellpO2,atm;FlushpO2,atm;"
            "RCpO2,%;StablepO2;RangepO2;RCI,%;StableI;SP;Time;CellpO2P,atm;Interval,s\r\n"
            "1.00;12;;800.00;1.0E-1;-3.1E-6;1.0E-04;;;;;;;;2024-03-15_14:05:09:042;;1.00\r\n");
    f.close();
    const QString output = dir.filePath(QStringLiteral("out.csv"));
    dialogs->fileNames = {input, output, dir.filePath(QStringLiteral("missing.csv")), output};
    page->ButtonExportForAnalysis->click();
    EXPECT_TRUE(QFile::exists(output));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("out.json"))));
    ASSERT_EQ(dialogs->messages.size(), 1);
    EXPECT_TRUE(dialogs->messages[0].startsWith(QStringLiteral("Exported 1 data rows")))
        << dialogs->messages[0].toStdString();

    page->ButtonExportForAnalysis->click(); // a file that is not there
    ASSERT_EQ(dialogs->messages.size(), 2);
    EXPECT_TRUE(dialogs->messages[1].startsWith(QStringLiteral("Could not read")))
        << dialogs->messages[1].toStdString();
    SetDialogs(nullptr);
}

} // namespace
