// The numeric edit boxes: limits, the value-changed signal on every set, and the regional format.
#include "app/TRtDoubleEdit.h"
#include "common/Locale.h"
#include "tests/support/QtPrint.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class NumericEdit : public ::testing::Test {
protected:
    void TearDown() override { SetRegionalLocale(QLocale::system()); }
};

TEST_F(NumericEdit, ValuesAreLimitedOnlyWhenTheBoxHasARange) {
    struct {
        double lower, upper, set, expected;
    } const cases[] = {
        {-16, -0.678, -20, -16},
        {-16, -0.678, 0, -0.678},
        {-16, -0.678, -6, -6},
        {0, 0, 1e9, 1e9},
        {0, 0, -5, -5}, // no range: any value
        {5, 5, 7, 7},   // lower not below upper: no range either
    };
    for (const auto& c : cases) {
        TRtDoubleEdit box;
        box.SetLimits(c.lower, c.upper);
        box.SetValue(c.set);
        EXPECT_DOUBLE_EQ(box.Value(), c.expected) << c.lower << ".." << c.upper << " set " << c.set;
    }
}

TEST_F(NumericEdit, EverySetFiresValueChangedAndIntegersRound) {
    TRtIntegerEdit box(nullptr, 0);
    box.SetLimits(-5, 5);
    QSignalSpy spy(&box, &TRtDoubleEdit::valueChanged);
    box.SetValue(0); // the same value still counts as set
    box.SetValue(12);
    box.SetValue(2.6);
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(box.IntValue(), 3);
    EXPECT_EQ(box.text(), "3");
    EXPECT_EQ(spy.at(1).at(0).toDouble(), 5.0);
}

TEST_F(NumericEdit, ShowsAndAcceptsTheRegionalFormat) {
    SetRegionalLocale(QLocale(QLocale::German, QLocale::Germany));
    TRtDoubleEdit box;
    box.SetValue(0.05);
    EXPECT_EQ(box.text(), "0,05");
    box.clear();
    QTest::keyClicks(&box, "12,5");
    EXPECT_DOUBLE_EQ(box.Value(), 12.5);
    // Text that is not a number is not taken; leaving the box shows the value again.
    box.selectAll();
    QTest::keyClicks(&box, "abc");
    EXPECT_DOUBLE_EQ(box.Value(), 12.5);
    emit box.editingFinished();
    EXPECT_EQ(box.text(), "12,5");
}

} // namespace
