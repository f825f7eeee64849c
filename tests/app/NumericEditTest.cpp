// The numeric edit boxes: limits, the value-changed signal on every set, and the regional format.
#include "app/ExperimentDataPage.h"
#include "app/ExperimentNameValidator.h"
#include "app/TRtDoubleEdit.h"
#include "common/Locale.h"
#include "tests/support/QtPrint.h"

#include <QLineEdit>
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
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(box.Value(), 12.5);
    // Text that is not a number is not taken; leaving the box shows the value again.
    box.selectAll();
    QTest::keyClicks(&box, "abc");
    EXPECT_DOUBLE_EQ(box.Value(), 12.5);
    emit box.editingFinished();
    EXPECT_EQ(box.text(), "12,5");
}

// What a box does not take it says: the value stays, the box is marked and its tooltip names
// the allowed range; the next value taken as it is clears the mark.
TEST_F(NumericEdit, RefusedInputLeavesTheValueAndMarksTheBox) {
    struct {
        const char* what;
        bool integer;
        const char* typed;
        const char* tip; // part of the tooltip
    } const cases[] = {
        {"a letter", false, "x1", "not a number"},
        {"a letter", true, "a", "not a number"},
        {"above the range", true, "999", "outside the range"},
        {"below the range", false, "-5", "outside the range"},
        {"a fraction in an integer box", true, ".5", "not a whole number"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<TRtDoubleEdit> box(c.integer ? new TRtIntegerEdit(nullptr, 1)
                                                     : new TRtDoubleEdit(nullptr, 1));
        box->SetLimits(-1, 5);
        QSignalSpy spy(box.get(), &TRtDoubleEdit::valueChanged);
        box->selectAll();
        QTest::keyClicks(box.get(), QString::fromLatin1(c.typed));
        EXPECT_DOUBLE_EQ(box->Value(), 1.0);
        EXPECT_EQ(spy.count(), 0);
        EXPECT_TRUE(box->Marked());
        EXPECT_TRUE(box->toolTip().contains(QLatin1String(c.tip))) << box->toolTip().toStdString();
        EXPECT_TRUE(box->toolTip().contains(QStringLiteral("allowed: -1 to 5")))
            << box->toolTip().toStdString();
        emit box->editingFinished();
        EXPECT_EQ(box->text(), QStringLiteral("1")) << "leaving the box shows its value";

        box->selectAll();
        QTest::keyClicks(box.get(), QStringLiteral("3"));
        QTest::keyClick(box.get(), Qt::Key_Return);
        EXPECT_DOUBLE_EQ(box->Value(), 3.0);
        EXPECT_FALSE(box->Marked());
        EXPECT_EQ(box->toolTip(), QStringLiteral("allowed: -1 to 5"));
    }
    // Halfway through typing a number nothing is wrong yet.
    TRtDoubleEdit box(nullptr, 1);
    box.clear();
    QTest::keyClicks(&box, QStringLiteral("1e-"));
    EXPECT_FALSE(box.Marked());
}

// An entry takes effect when the operator means it: Enter or leaving the box applies it, Esc
// restores the applied value, and until then the box says the text is not applied and its value
// (what the run reads) stays. A refused entry leaves the applied value.
TEST_F(NumericEdit, TypedEntriesApplyOnEnterOrLeavingAndEscRestores) {
    enum class End { Enter, Leave, Esc };
    struct {
        const char* what;
        bool integer;
        const char* typed;
        End end;
        double applied; // the value afterwards (the box starts at 1, range -5 to 5000)
        bool marked;
    } const cases[] = {
        {"10 in the current box", true, "10", End::Enter, 10, false},
        {"out of range", true, "6000", End::Enter, 1, true},
        {"left with Tab", false, "2,5", End::Leave, 2.5, false},
        {"Esc", false, "4000", End::Esc, 1, false},
        {"not a number", false, "12a", End::Enter, 1, true},
        {"unfinished", false, "1e", End::Enter, 1, true},
    };
    SetRegionalLocale(QLocale(QLocale::German, QLocale::Germany));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QWidget window;
        std::unique_ptr<TRtDoubleEdit> box(c.integer ? new TRtIntegerEdit(&window, 1)
                                                     : new TRtDoubleEdit(&window, 1));
        box->SetLimits(-5, 5000);
        auto* next = new QLineEdit(&window);
        window.show();
        box->setFocus();
        QSignalSpy spy(box.get(), &TRtDoubleEdit::valueChanged);
        box->selectAll();
        QTest::keyClicks(box.get(), QString::fromLatin1(c.typed));
        EXPECT_DOUBLE_EQ(box->Value(), 1.0) << "nothing applied while typing";
        EXPECT_EQ(spy.count(), 0);
        EXPECT_TRUE(box->Pending());
        EXPECT_TRUE(box->toolTip().contains(QLatin1String("not applied")) || box->Marked())
            << box->toolTip().toStdString();
        switch (c.end) {
        case End::Enter:
            QTest::keyClick(box.get(), Qt::Key_Return);
            break;
        case End::Leave:
            next->setFocus();
            emit box->editingFinished(); // offscreen focus changes do not always reach the box
            break;
        case End::Esc:
            QTest::keyClick(box.get(), Qt::Key_Escape);
            break;
        }
        EXPECT_DOUBLE_EQ(box->Value(), c.applied);
        EXPECT_EQ(spy.count(), c.applied != 1.0 ? 1 : 0);
        EXPECT_FALSE(box->Pending());
        EXPECT_EQ(box->Marked(), c.marked);
        EXPECT_EQ(box->text(), box->Value() == 2.5 ? QStringLiteral("2,5") : QString::number(box->Value()))
            << "the box shows the applied value";
    }
}

TEST_F(NumericEdit, AValueTheProgramSetIsMarkedWhenLimited) {
    TRtIntegerEdit box(nullptr, 0);
    box.SetLimits(-5, 5);
    box.SetValue(999);
    EXPECT_EQ(box.IntValue(), 5);
    EXPECT_TRUE(box.Marked());
    EXPECT_TRUE(box.toolTip().contains(QStringLiteral("999 was limited to 5")))
        << box.toolTip().toStdString();
    box.SetValue(4);
    EXPECT_FALSE(box.Marked());
}

// The experiment name names every data file: characters a file name cannot hold are refused as
// they are typed or pasted, with a word why.
TEST(ExperimentName, RefusesFileNameCharactersAsTyped) {
    TExperimentDataPage page;
    QLineEdit* name = page.EditSampleName;
    auto* validator = qobject_cast<const TExperimentNameValidator*>(name->validator());
    ASSERT_NE(validator, nullptr);
    QSignalSpy refused(validator, &TExperimentNameValidator::refused);
    QTest::keyClicks(name, QStringLiteral("LSC/64"));
    EXPECT_EQ(name->text(), QStringLiteral("LSC64"));
    ASSERT_EQ(refused.count(), 1);
    EXPECT_EQ(refused.at(0).at(0).toString(), TExperimentNameValidator::RefusalMessage());
    name->clear();
    name->insert(QStringLiteral("a\\b:c*d?e\"f<g>h|i\tj k_1.2"));
    EXPECT_EQ(name->text(), QStringLiteral("abcdefghij k_1.2"));
    EXPECT_EQ(refused.count(), 2);
}

} // namespace
