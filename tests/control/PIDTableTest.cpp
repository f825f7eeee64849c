// The four curves through the PID list and the controller's table sampled from them.
#include "control/TPIDTable.h"

#include "common/Locale.h"
#include "control/EPIDListError.h"
#include "control/TPID.h"
#include "control/TPIDCalib.h"
#include "control/TPIDList.h"
#include "control/TPIDListContent.h"
#include "numerics/EMathError.h"
#include "tests/support/QtPrint.h"

#include <QLocale>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

class PIDTableTest : public ::testing::Test {
protected:
    void SetUp() override { SetRegionalLocale(QLocale::c()); }
    void TearDown() override { SetRegionalLocale(QLocale::system()); }

    // A list of the given rows under the three leading lines.
    static TPIDListContent List(const std::vector<TPIDRow>& rows) {
        TPIDListContent list{QStringLiteral("t"), QStringLiteral("Elasticity 1.0"), TPIDList::Header(), {}};
        for (const TPIDRow& r : rows)
            list.Rows << TPIDListEntry::FromRow(r);
        return list;
    }
    // Rows at 0, 5, 10, 15, 20, 25 with constant gains and current limit.
    static TPIDListContent Flat(int p, int i, int d, int a) {
        std::vector<TPIDRow> rows;
        for (int x = 0; x <= 25; x += 5)
            rows.push_back({x, p, i, d, a, {}});
        return List(rows);
    }

    TPIDTable table;
};

TEST_F(PIDTableTest, StartingListWithElasticity100) {
    EXPECT_EQ(table.ReadRows(TPIDListContent::Starting(), 100.0), 5300.0);
    TPIDCalib calib;
    table.Fill(calib);
    ASSERT_TRUE(calib.Valid);
    ASSERT_EQ(calib.Size, 10000);
    ASSERT_EQ(calib.Data.size(), 10000u);

    double dip = 1e9;
    for (int k = 0; k < calib.Size; ++k) {
        const TPIDCalibData& row = calib.Data[k];
        ASSERT_NEAR(row.pO2, k * 0.0025, 1e-9);
        // Equal gains make a flat curve, exactly.
        ASSERT_EQ(row.P, 1000.0) << k;
        ASSERT_EQ(row.I, 1000.0) << k;
        ASSERT_EQ(row.D, 1000.0) << k;
        if (row.pO2 > 4 && row.pO2 < 9)
            dip = std::min(dip, row.A);
    }
    // The current limit passes close to every row and sags between the rows at 4 and 9.
    const QStringList lines = TPIDList::StartingList();
    for (int i = TPIDList::FirstDataLine; i < lines.size(); ++i) {
        const TPIDRow r = TPIDList::ParseRow(lines[i]);
        const int k = std::min(9999, int(std::lround(r.LogPO2 / 0.0025)));
        EXPECT_NEAR(calib.Data[k].A, r.A, 70.0) << "row at " << r.LogPO2;
    }
    EXPECT_GT(dip, 850.0);
    EXPECT_LT(dip, 960.0);

    // Whatever the curve does, the controller never applies more than 5000 µA.
    TPID pid;
    pid.Calibration = calib;
    for (double pv = 0; pv >= -25; pv -= 0.01) {
        pid.SetProcessVariable(pv);
        ASSERT_LE(pid.A(), 5000.0) << pv;
        ASSERT_GE(pid.A(), 1.0) << pv;
    }
}

TEST_F(PIDTableTest, TooFewDistinctRowsKeepThePreviousTable) {
    TPIDCalib calib;
    table.ReadRows(Flat(10, 20, 30, 400), 1.0);
    table.Fill(calib);
    const std::vector<TPIDCalibData> before = calib.Data;

    // Seven rows but only five distinct -log10(pO2) values.
    const TPIDListContent five = List({{0, 1, 1, 1, 1, {}},
                                       {2, 1, 1, 1, 1, {}},
                                       {2, 2, 2, 2, 2, {}},
                                       {4, 1, 1, 1, 1, {}},
                                       {6, 1, 1, 1, 1, {}},
                                       {6, 3, 3, 3, 3, {}},
                                       {8, 1, 1, 1, 1, {}}});
    table.ReadRows(five, 1.0);
    EXPECT_EQ(table.X().Count(), 7);
    try {
        table.Fill(calib);
        FAIL() << "the table was built";
    } catch (const EMathError& e) {
        EXPECT_STREQ(e.what(), "Not enough data points to calculate function");
    }
    ASSERT_EQ(calib.Data.size(), before.size());
    EXPECT_EQ(calib.Data[1234].A, before[1234].A);
    EXPECT_EQ(calib.Data[9999].P, before[9999].P);
    EXPECT_TRUE(calib.Valid);
}

TEST_F(PIDTableTest, ABadRowStopsTheReadingWithTheRowsBeforeIt) {
    TPIDListContent list = Flat(1, 2, 3, 4);
    list.Rows.insert(2, TPIDListEntry::FromLine(QStringLiteral("7         x         1         1         1")));
    EXPECT_THROW(table.ReadRows(list, 1.0), EPIDListError);
    EXPECT_EQ(table.X().Count(), 2);
    EXPECT_EQ(table.Y(TPIDTable::CurveA).Count(), 2);
}

TEST_F(PIDTableTest, TestBoxShowsTheCurvesAndTheLimitTheControllerApplies) {
    table.ReadRows(Flat(200, 150, 30, 5200), 1.0);
    EXPECT_EQ(table.Test(7, 1.0, nullptr),
              (QStringList{"     log(pO2): -7.0", "            P: 200.0", "            I: 150.0",
                           "            D: 30.0", "       max µA: 5200.0", "Hard limit µA: 5000.0",
                           " Final max µA: 5000.0"}));
    for (double outside : {30.0, -0.5, std::nan("")})
        EXPECT_EQ(table.Test(outside, 1.0, nullptr), QStringList{"log(pO2) must be between 0 and -25"});

    // With a controller the test also runs one step at -x; without a table its gains are 1.
    TPID pid;
    table.ReadRows(Flat(200, 150, 30, 900), 1.0);
    const QStringList lines = table.Test(7, 1.0, &pid);
    EXPECT_EQ(pid.ProcessVariable(), -7.0);
    EXPECT_EQ(lines.mid(4),
              (QStringList{"       max µA: 900.0", "Hard limit µA: 5000.0", " Final max µA: 900.0", "",
                           "        PID P: 1.0", "        PID I: 1.0", "        PID D: 1.0"}));
}

TEST_F(PIDTableTest, TestGivesTheCurvesTheElasticity) {
    // An elasticity typed into the box reaches the curves before they are asked.
    const TPIDListContent lines = List({{0, 0, 0, 0, 0, {}},
                                        {5, 0, 0, 0, 0, {}},
                                        {10, 1000, 0, 0, 0, {}},
                                        {15, 0, 0, 0, 0, {}},
                                        {20, 0, 0, 0, 0, {}},
                                        {25, 0, 0, 0, 0, {}}});
    table.ReadRows(lines, 1e9);
    EXPECT_EQ(table.Test(10, 1e9, nullptr)[1], "            P: 1000.0");
    EXPECT_NE(table.Test(10, 1e-6, nullptr)[1], "            P: 1000.0");
    EXPECT_EQ(table.Curve(TPIDTable::CurveP).ElasticityFactor(), 1e-6);
}

TEST_F(PIDTableTest, DebugListingShowsEveryFiftiethRow) {
    TPIDCalib calib;
    EXPECT_EQ(TPIDTable::DebugListing(calib), QStringList{"log(pO2) P  I  D  A"});
    table.ReadRows(Flat(200, 150, 30, 900), 1.0);
    table.Fill(calib);
    const QStringList lines = TPIDTable::DebugListing(calib);
    ASSERT_EQ(lines.size(), 201);
    EXPECT_EQ(lines[1], "0.0 200.0 150.0 30.0 900.0");
    EXPECT_EQ(lines[2], "-0.1 200.0 150.0 30.0 900.0");    // row 50 at 0.125 decade
    EXPECT_EQ(lines[200], "-24.9 200.0 150.0 30.0 900.0"); // row 9950
}

} // namespace
