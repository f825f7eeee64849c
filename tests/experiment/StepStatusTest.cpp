// The running step's time and advance criteria, as the status bar and the step list show them.
#include "experiment/StepStatus.h"

#include "common/Clock.h"
#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

namespace {

class StepStatusTest : public ::testing::Test {
protected:
    void SetUp() override { Clock::Fix(EncodeDateTime(2024, 3, 15, 14, 0, 0)); }
    void TearDown() override { Clock::Release(); }
    TStepStatus status;
};

TEST_F(StepStatusTest, TextForEachCombinationOfCriteria) {
    const struct {
        TProgramState state;
        bool rci, range, pO2, current;
        const char* text;
    } cases[] = {
        {TProgramState::PPS, false, false, false, false, "Step 3: 12:40 · pO2 stable ✗ · I stable ✗"},
        {TProgramState::PPS, false, false, true, false, "Step 3: 12:40 · pO2 stable ✓ · I stable ✗"},
        {TProgramState::PPS, false, true, false, true, "Step 3: 12:40 · pO2 stable ✗ · I stable ✓"},
        {TProgramState::PPS, true, false, true, true, "Step 3: 12:40 · pO2 stable ✓ · I stable ✓"},
        {TProgramState::PIDStep, false, true, true, false, "Step 3: 12:40 · range ✓ · pO2 stable ✓"},
        {TProgramState::PIDStep, false, false, true, true, "Step 3: 12:40 · range ✗ · pO2 stable ✓"},
        {TProgramState::PIDStep, true, true, true, false,
         "Step 3: 12:40 · range ✓ · pO2 stable ✓ · I stable ✗"},
        {TProgramState::PIDStep, true, true, false, true,
         "Step 3: 12:40 · range ✓ · pO2 stable ✗ · I stable ✓"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        status = TStepStatus();
        status.Follow(c.state, 2, 8);
        Clock::AdvanceSeconds(12 * 60 + 40.7);
        status.Judged(c.state, 2, {c.range, c.pO2, c.current});
        status.Follow(c.state, 2, 8); // the same step goes on
        EXPECT_EQ(status.Text(c.rci), QString::fromUtf8(c.text));
    }
}

// The clock starts with each step, and the criteria of the step before are forgotten; rows of
// another step than the running one are not its criteria.
TEST_F(StepStatusTest, EachStepHasItsOwnClockAndCriteria) {
    status.Follow(TProgramState::PPS, 0, 3);
    Clock::AdvanceSeconds(65);
    status.Judged(TProgramState::PPS, 0, {false, true, true});
    EXPECT_EQ(status.Text(false), QStringLiteral("Step 1: 1:05 · pO2 stable ✓ · I stable ✓"));

    status.Follow(TProgramState::PPS, 1, 3);
    Clock::AdvanceSeconds(4);
    status.Judged(TProgramState::PPS, 0, {false, true, true}); // a late row of step 1
    EXPECT_EQ(status.Text(false), QStringLiteral("Step 2: 0:04 · pO2 stable ✗ · I stable ✗"));

    Clock::AdvanceSeconds(2 * 3600 + 3 * 60);
    EXPECT_EQ(status.Text(false), QStringLiteral("Step 2: 2:03:04 · pO2 stable ✗ · I stable ✗"));
    EXPECT_NEAR(status.StepSeconds(), 2 * 3600 + 3 * 60 + 4, 1e-3);

    // A restarted program starts step 1's clock again.
    status.Follow(TProgramState::Paused, 1, 3);
    EXPECT_FALSE(status.Running());
    EXPECT_EQ(status.Text(true), QString());
    status.Follow(TProgramState::PIDStep, 0, 3);
    Clock::AdvanceSeconds(1);
    EXPECT_EQ(status.Text(false), QStringLiteral("Step 1: 0:01 · range ✗ · pO2 stable ✗"));

    // Past the last row no step runs.
    status.Follow(TProgramState::PIDStep, 3, 3);
    EXPECT_FALSE(status.Running());
    EXPECT_EQ(status.Text(false), QString());
    EXPECT_DOUBLE_EQ(status.StepSeconds(), 0);
}

} // namespace
