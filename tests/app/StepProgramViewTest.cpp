// The running step in the list: marked while PIDStep or PPS runs, following each
// advance, cleared when the program ends; the selection stays the operator's.
#include "app/StepProgramView.h"

#include "common/Locale.h"
#include "experiment/StepProgram.h"
#include "tests/support/QtPrint.h"

#include <QListWidget>
#include <gtest/gtest.h>

namespace {

class StepProgramViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetRegionalLocale(QLocale::c());
        view.Show(StepProgram::DefaultSteps());
    }
    QListWidget list;
    TStepProgramView view{list};
};

TEST_F(StepProgramViewTest, MarksTheRunningStep) {
    const struct {
        TProgramState state;
        int step;
        int marked;
    } cases[] = {
        {TProgramState::PIDStep, 0, 0},
        {TProgramState::PIDStep, 2, 2}, // an advance moves the mark
        {TProgramState::PIDStep, 7, 7},
        {TProgramState::PIDStep, 8, -1}, // past the last row: the program has ended
        {TProgramState::PPS, 3, 3},
        {TProgramState::PPS, 8, -1},
        {TProgramState::SetCurrent, 3, -1}, // the fall-back after the last step
        {TProgramState::Paused, 0, -1},
        {TProgramState::PIDSet, 0, -1},
        {TProgramState::PPS, -1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "state " << int(c.state) << " step " << c.step);
        view.Refresh(c.state, c.step);
        EXPECT_EQ(view.MarkedRow(), c.marked);
    }
}

TEST_F(StepProgramViewTest, TheMarkIsNotTheSelectionAndSurvivesEditing) {
    list.setCurrentRow(5, QItemSelectionModel::ClearAndSelect);
    view.Refresh(TProgramState::PPS, 2);
    EXPECT_EQ(list.item(2)->background().color(), TStepProgramView::MarkColor());
    EXPECT_EQ(list.selectedItems(), QList<QListWidgetItem*>{list.item(5)}) << "the selection is untouched";
    // "Apply to step program" rewrites the running row's text: it stays marked, and the selection
    // stays where it was.
    QList<TStep> steps = StepProgram::DefaultSteps();
    steps[2] = TStep::Make(3, -6.5, 250);
    view.Show(steps);
    EXPECT_EQ(list.item(2)->text(), "0003   -6.5        250");
    EXPECT_EQ(view.MarkedRow(), 2);
    EXPECT_EQ(list.selectedItems(), QList<QListWidgetItem*>{list.item(5)});
    // So do a step appended and the last one deleted.
    view.Show(steps + QList<TStep>{TStep::Make(9, -12, 600)});
    ASSERT_EQ(list.count(), 9);
    EXPECT_EQ(list.item(8)->text(), "0009   -12         600");
    view.Show(steps);
    ASSERT_EQ(list.count(), 8);
    EXPECT_EQ(view.MarkedRow(), 2);
    EXPECT_EQ(list.selectedItems(), QList<QListWidgetItem*>{list.item(5)});
    view.Refresh(TProgramState::PPS, 2);
    EXPECT_EQ(view.MarkedRow(), 2);
    // A shorter list, loaded or ramped in mid-run, is counted afresh.
    view.Show({TStep::Make(1, -4, 45), TStep::Make(2, -5, 115), TStep::Make(3, -6, 227)});
    ASSERT_EQ(list.count(), 3);
    EXPECT_EQ(list.item(2)->text(), "0003   -6          227");
    view.Refresh(TProgramState::PPS, 2);
    EXPECT_EQ(view.MarkedRow(), 2);
}

TEST_F(StepProgramViewTest, TheRunningStepIsScrolledIntoViewWhenTheProgramMovesOn) {
    view.Show(StepProgram::DefaultSteps() +
              StepProgram::OverrideSteps(true)); // 29 rows, more than the list shows
    list.resize(200, 80);
    list.show();
    const auto visible = [&](int row) {
        return list.viewport()->rect().intersects(list.visualItemRect(list.item(row)));
    };
    ASSERT_FALSE(visible(25));
    view.Refresh(TProgramState::PIDStep, 25);
    EXPECT_TRUE(visible(25));
    // Between advances the operator may scroll elsewhere; the next tick leaves the list there.
    list.scrollToTop();
    view.Refresh(TProgramState::PIDStep, 25);
    EXPECT_FALSE(visible(25));
    view.Refresh(TProgramState::PIDStep, 26);
    EXPECT_TRUE(visible(26));
    // A list loaded in mid-run shows the running step again.
    view.Show(StepProgram::DefaultSteps() + StepProgram::OverrideSteps(false));
    list.scrollToTop();
    ASSERT_FALSE(visible(26));
    view.Refresh(TProgramState::PIDStep, 26);
    EXPECT_TRUE(visible(26));
}

} // namespace
