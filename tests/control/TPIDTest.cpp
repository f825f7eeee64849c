#include "control/TPID.h"

#include "common/Locale.h"
#include "diagnostics/LogChannel.h"
#include "diagnostics/LogFileDestination.h"
#include "tests/support/LogCapture.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <memory>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Fills the table the way the tuning page does: 10000 rows, row k at k * 0.0025 decades.
void BuildTable(TPID& pid, const std::function<TPIDCalibData(int)>& row) {
    pid.Calibration.Size = TPIDCalib::Rows;
    pid.Calibration.Data.resize(TPIDCalib::Rows);
    for (int k = 0; k < TPIDCalib::Rows; ++k) {
        pid.Calibration.Data[k] = row(k);
        pid.Calibration.Data[k].pO2 = k * TPIDCalib::RowStep;
    }
    pid.Calibration.Valid = true;
}

void BuildUniformTable(TPID& pid, double p, double i, double d, double a) {
    BuildTable(pid, [=](int) { return TPIDCalibData{0, p, i, d, a}; });
}

class PIDTest : public ::testing::Test {
protected:
    void SetUp() override { SetRegionalLocale(QLocale::c()); }
    void TearDown() override { SetRegionalLocale(QLocale::system()); }
    TPID pid;
};

TEST_F(PIDTest, StartsAtRestWithUnitGainsUntilATableIsBuilt) {
    EXPECT_EQ(pid.Setpoint(), 0.0);
    EXPECT_EQ(pid.ProcessVariable(), 0.0);
    EXPECT_EQ(pid.FeedBack(), 0.0);
    EXPECT_EQ(pid.CurrentApplied, 0.0);
    EXPECT_EQ(pid.Calibration.Size, 0);
    EXPECT_FALSE(pid.Calibration.Valid);
    EXPECT_TRUE(pid.SL().isEmpty());
    EXPECT_EQ(pid.P(), 1.0);
    EXPECT_EQ(pid.I(), 1.0);
    EXPECT_EQ(pid.D(), 1.0);
    EXPECT_EQ(pid.A(), 1.0);
}

struct TStep {
    double currentApplied; // A
    double processValue;   // log10(pO2)
};

struct TListingCase {
    const char* name;
    bool table; // P 200, I 1500, D 30, A 2000 µA in every row; otherwise no table (all 1)
    std::vector<TStep> steps;
    double feedBack;
    std::vector<const char*> listing; // of the last step
};

// Setpoint -7 throughout. The listings are the operator's view of each branch of the step:
// the error and derivative clamps, the three anti-windup conclusions, the integral entering the
// output before its increment, and the output held at 0.
const TListingCase kListingCases[] = {
    {"no table: unit gains and a 1 uA limit",
     false,
     {{0, -6.5}},
     1.0,
     {"                Setpoint -7.000",
      "            ProcessValue -6.500",
      "                   Error 0.500",
      "",
      "            Proportional 0.5",
      "                P weight 1.00",
      "                 P total 0.50",
      "",
      "Local current limit (µA) 1.0",
      "           2% limit (µA) 1.0",
      "Previous applied current 0.0",
      "              Conclusion Normal Integral operation",
      "",
      "   Previous Integral sum 0.0",
      "                   Error 0.500",
      "                I weight 1/1000",
      "           I delta total 0.00",
      "        New Integral sum 0.00",
      "",
      "               Old Error 0.000",
      "                   Error 0.500",
      "                Derivate 0.500",
      "                D weight 1.0",
      "                 D total 0.50",
      "",
      "           Feedback (mV) 1.00"}},
    {"normal integral; the sum before the increment enters the output",
     true,
     {{0.0015, -6.5}, {0.0015, -6.75}},
     1167.5, // 200 * 0.25 + 1500 * 0.75 + 30 * -0.25
     {"                Setpoint -7.000",
      "            ProcessValue -6.750",
      "                   Error 0.250",
      "",
      "            Proportional 0.3",
      "                P weight 200.00",
      "                 P total 50.00",
      "",
      "Local current limit (µA) 2000.0",
      "           2% limit (µA) 1960.8",
      "Previous applied current 1500.0",
      "              Conclusion Normal Integral operation",
      "",
      "   Previous Integral sum 0.8",
      "                   Error 0.250",
      "                I weight 1500/1000",
      "           I delta total 0.38",
      "        New Integral sum 1.13",
      "",
      "               Old Error 0.500",
      "                   Error 0.250",
      "                Derivate -0.250",
      "                D weight 30.0",
      "                 D total -7.50",
      "",
      "           Feedback (mV) 1167.50"}},
    {"error above one decade is 1; near the limit a positive error keeps the sum",
     true,
     {{0, -6.5}, {0.00199, -3}},
     1340.0, // 200 * 1 + 1500 * 0.75 + 30 * 0.5
     {"                Setpoint -7.000",
      "            ProcessValue -3.000",
      "                   Error 1.000",
      "",
      "            Proportional 1.0",
      "                P weight 200.00",
      "                 P total 200.00",
      "",
      "Local current limit (µA) 2000.0",
      "           2% limit (µA) 1960.8",
      "Previous applied current 1990.0",
      "              Conclusion Applied current within 2% of limit -> do not increase Integral term",
      "",
      "   Previous Integral sum 0.8",
      "                   Error 1.000",
      "                I weight 1500/1000",
      "           I delta total 0.00",
      "        New Integral sum 0.75",
      "",
      "               Old Error 0.500",
      "                   Error 1.000",
      "                Derivate 0.500",
      "                D weight 30.0",
      "                 D total 15.00",
      "",
      "           Feedback (mV) 1340.00"}},
    {"error below one decade is -1, derivative -2 is -1; near the limit the sum may shrink; "
     "a negative output gives 0",
     true,
     {{0.00199, -3}, {0.00199, -9}},
     0.0, // -200 + 0 - 30
     {"                Setpoint -7.000",
      "            ProcessValue -9.000",
      "                   Error -1.000",
      "",
      "            Proportional -1.0",
      "                P weight 200.00",
      "                 P total -200.00",
      "",
      "Local current limit (µA) 2000.0",
      "           2% limit (µA) 1960.8",
      "Previous applied current 1990.0",
      "              Conclusion Below setpoint -> can reduce Integral term",
      "",
      "   Previous Integral sum 0.0",
      "                   Error -1.000",
      "                I weight 1500/1000",
      "           I delta total -1.50",
      "        New Integral sum -1.50",
      "",
      "               Old Error 1.000",
      "                   Error -1.000",
      "                Derivate -1.000",
      "                D weight 30.0",
      "                 D total -30.00",
      "",
      "           Feedback (mV) 0.00"}},
    {"a process value that is not a number is an error of 1; derivative 2 is 1",
     true,
     {{0, -9}, {0, kNaN}},
     0.0, // 200 * 1 + 1500 * -1.5 + 30 * 1
     {"                Setpoint -7.000",
      "            ProcessValue NAN",
      "                   Error 1.000",
      "",
      "            Proportional 1.0",
      "                P weight 200.00",
      "                 P total 200.00",
      "",
      "Local current limit (µA) 2000.0",
      "           2% limit (µA) 1960.8",
      "Previous applied current 0.0",
      "              Conclusion Normal Integral operation",
      "",
      "   Previous Integral sum -1.5",
      "                   Error 1.000",
      "                I weight 1500/1000",
      "           I delta total 1.50",
      "        New Integral sum 0.00",
      "",
      "               Old Error -1.000",
      "                   Error 1.000",
      "                Derivate 1.000",
      "                D weight 30.0",
      "                 D total 30.00",
      "",
      "           Feedback (mV) 0.00"}},
};

TEST_F(PIDTest, ListingShowsEachBranchOfTheStep) {
    for (const auto& c : kListingCases) {
        TPID pid;
        if (c.table)
            BuildUniformTable(pid, 200, 1500, 30, 2000);
        pid.SetSetpoint(-7);
        for (const auto& s : c.steps) {
            pid.CurrentApplied = s.currentApplied;
            pid.SetProcessVariable(s.processValue);
        }
        SCOPED_TRACE(c.name);
        EXPECT_DOUBLE_EQ(pid.FeedBack(), c.feedBack);
        const QStringList& sl = pid.SL();
        ASSERT_EQ(sl.size(), int(c.listing.size()));
        for (int line = 0; line < sl.size(); ++line)
            EXPECT_EQ(sl[line], QString::fromUtf8(c.listing[size_t(line)])) << "line " << line + 1;
    }
}

TEST_F(PIDTest, LabelsAreTwentyFiveCharactersAndNumbersFollowTheRegionalFormat) {
    SetRegionalLocale(QLocale(QStringLiteral("de_DE")));
    pid.SetSetpoint(-7);
    pid.SetProcessVariable(-6.5);
    const QStringList& sl = pid.SL();
    ASSERT_EQ(sl.size(), 26);
    EXPECT_EQ(sl[0], QStringLiteral("                Setpoint -7,000"));
    EXPECT_EQ(sl[9], QStringLiteral("           2% limit (µA) 1,0"));
    for (int line : {0, 1, 2, 4, 5, 6, 8, 9, 10, 11, 13, 14, 15, 16, 17, 19, 20, 21, 22, 23, 25})
        EXPECT_EQ(sl[line].at(24), u' ') << "line " << line + 1;
    for (int line : {3, 7, 12, 18, 24})
        EXPECT_TRUE(sl[line].isEmpty()) << "line " << line + 1;
}

// The anti-windup rule compares signed currents against the limit less 2% (4901.96 µA of 5000).
TEST_F(PIDTest, AntiWindupNearTheCurrentLimit) {
    const struct {
        const char* name;
        double currentApplied; // A
        double processValue;   // setpoint -7
        const char* conclusion;
        const char* newSum;
    } cases[] = {
        {"4.95 mA, more oxygen than wanted", 0.00495, -6.5,
         "Applied current within 2% of limit -> do not increase Integral term", "0.00"},
        {"4.95 mA, on the setpoint", 0.00495, -7, "Below setpoint -> can reduce Integral term", "0.00"},
        {"4.95 mA, less oxygen than wanted", 0.00495, -7.5, "Below setpoint -> can reduce Integral term",
         "-0.50"},
        {"4.85 mA", 0.00485, -6.5, "Normal Integral operation", "0.50"},
        {"a negative current never counts as near", -0.00495, -6.5, "Normal Integral operation", "0.50"},
    };
    for (const auto& c : cases) {
        TPID pid;
        BuildUniformTable(pid, 1, 1000, 1, 5000);
        pid.SetSetpoint(-7);
        pid.CurrentApplied = c.currentApplied;
        pid.SetProcessVariable(c.processValue);
        SCOPED_TRACE(c.name);
        EXPECT_EQ(pid.SL()[11],
                  QStringLiteral("              Conclusion ") + QString::fromUtf8(c.conclusion));
        EXPECT_EQ(pid.SL()[17], QStringLiteral("        New Integral sum ") + QString::fromUtf8(c.newSum));
    }
}

TEST_F(PIDTest, ResetIntegralClearsOnlyTheSum) {
    BuildUniformTable(pid, 200, 1500, 30, 2000);
    pid.SetSetpoint(-7);
    pid.SetProcessVariable(-6.5); // sum 0.75, error 0.5, output 115
    ASSERT_DOUBLE_EQ(pid.FeedBack(), 115);
    const QStringList messages = CaptureMessages(QStringLiteral("PID"), [&] { pid.ResetIntegral(); });
    EXPECT_EQ(messages, QStringList{QStringLiteral("PID reset")});
    EXPECT_DOUBLE_EQ(pid.FeedBack(), 115);
    pid.SetProcessVariable(-6.5);
    EXPECT_EQ(pid.SL()[13], QStringLiteral("   Previous Integral sum 0.0"));
    EXPECT_EQ(pid.SL()[19], QStringLiteral("               Old Error 0.500")); // the previous error survives
    EXPECT_DOUBLE_EQ(pid.FeedBack(), 100); // 200 * 0.5 + 1500 * 0 + 30 * 0
}

// Row k holds P = k, so P shows which row a process value reads.
TEST_F(PIDTest, LookupReadsTheNearestRowAndHoldsTheEnds) {
    BuildTable(pid, [](int k) { return TPIDCalibData{0, double(k), 2.0 * k, 3.0 * k, 100}; });
    const struct {
        double processValue;
        int row;
    } cases[] = {
        {-7, 2800},    {-7.001, 2800}, {-7.0015, 2801},  {7, 2800},         {0, 0},
        {-0.00625, 2}, {-0.01375, 6},  {-24.9975, 9999}, {-24.99875, 9999}, {-30, 9999},
        {-kInf, 9999}, {kInf, 9999},   {kNaN, 9999},
    };
    for (const auto& c : cases) {
        pid.SetProcessVariable(c.processValue);
        EXPECT_EQ(pid.P(), c.row) << c.processValue;
        EXPECT_EQ(pid.I(), 2.0 * c.row) << c.processValue;
        EXPECT_EQ(pid.D(), 3.0 * c.row) << c.processValue;
    }
}

TEST_F(PIDTest, CurrentLimitIsHeldBetweenOneAndFiveThousandMicroAmps) {
    const struct {
        double row, limit;
    } cases[] = {{12000, 5000}, {5000, 5000}, {2500, 2500}, {1, 1},
                 {0.3, 1},      {-40, 1},     {kNaN, 5000}, {kInf, 5000}};
    for (const auto& c : cases) {
        BuildUniformTable(pid, 1, 1, 1, c.row);
        pid.SetProcessVariable(-7);
        EXPECT_EQ(pid.A(), c.limit) << c.row;
    }
}

// A table marked valid with fewer rows than the axis addresses never reads past its end.
TEST_F(PIDTest, ShortTableHoldsItsLastRow) {
    pid.Calibration.Data = {TPIDCalibData{0, 10, 20, 30, 40}, TPIDCalibData{0.0025, 11, 21, 31, 41}};
    pid.Calibration.Size = 2;
    pid.Calibration.Valid = true;
    pid.SetProcessVariable(-7);
    EXPECT_EQ(pid.P(), 11);
    EXPECT_EQ(pid.A(), 41);
    pid.Calibration.Data.clear();
    EXPECT_EQ(pid.P(), 1.0);
    EXPECT_EQ(pid.A(), 1.0);
}

} // namespace
