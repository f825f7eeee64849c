// The simulated sample's isotherm table: interpolation, the edges, the file and its errors, and
// the options that describe the sample.
#include "simulator/SampleIsotherm.h"
#include "simulator/SimOptions.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <string>

namespace {

// Two temperatures with different grids: at 700 C delta = 0.1 at log -10 and 0.3 at log -20
// (0.02 per decade); at 800 C 0.2 at log 0, 0.3 at -10 and 0.5 at -20.
const char kTable[] = "T_degC,log10_pO2,delta\r\n"
                      "700,-10,0.1\r\n"
                      "700,-20,0.3\r\n"
                      "800,0,0.2\r\n"
                      "800,-20,0.5\r\n"
                      "800,-10,0.3\r\n";

} // namespace

TEST(SampleIsotherm, InterpolatesLinearlyInLogpO2AndTemperatureAndHoldsTheEdges) {
    TSampleIsotherm iso;
    std::string error;
    ASSERT_TRUE(TSampleIsotherm::Parse(kTable, iso, error)) << error;
    struct TCase {
        const char* name;
        double logp, celsius, delta;
    };
    const TCase cases[] = {
        {"a table row", -10, 700, 0.1},
        {"between two rows of one temperature", -15, 700, 0.2},
        {"rows given out of order", -15, 800, 0.4},
        {"between the temperatures", -15, 750, 0.3},
        {"a quarter of the way up in T", -10, 725, 0.1 + 0.25 * (0.3 - 0.1)},
        {"above the highest pO2 of 700 C: its edge", 0, 700, 0.1},
        {"below the lowest pO2: the edge", -30, 800, 0.5},
        {"below the coldest temperature: held", -15, 600, 0.2},
        {"above the hottest: held", -5, 1000, 0.25},
        {"outside in both", 5, 1000, 0.2},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(iso.Delta(c.logp, c.celsius), c.delta, 1e-12);
    }
}

TEST(SampleIsotherm, RefusesTablesItCannotUse) {
    struct TCase {
        const char* name;
        const char* text;
        const char* error; // part of the message
    };
    const TCase cases[] = {
        {"no header", "700,-10,0.1\n", "header"},
        {"another header", "T,logp,delta\n700,-10,0.1\n", "header"},
        {"no rows", "T_degC,log10_pO2,delta\n", "no rows"},
        {"two fields", "T_degC,log10_pO2,delta\n700,-10\n", "line 2"},
        {"four fields", "T_degC,log10_pO2,delta\n700,-10,0.1,4\n", "line 2"},
        {"not a number", "T_degC,log10_pO2,delta\n700,-10,0.1\n700,x,0.2\n", "line 3"},
        {"a point twice", "T_degC,log10_pO2,delta\n700,-10,0.1\n700,-10,0.2\n", "twice"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TSampleIsotherm iso;
        std::string error;
        EXPECT_FALSE(TSampleIsotherm::Parse(c.text, iso, error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
    // A header with a byte-order mark and blanks is still the header.
    TSampleIsotherm iso;
    std::string error;
    EXPECT_TRUE(TSampleIsotherm::Parse("\xEF\xBB\xBFT_degC, log10_pO2, delta\n700, -10, 0.1\n", iso, error))
        << error;
}

TEST(SampleIsotherm, DefaultIsAMixedConductingOxide) {
    const TSampleIsotherm iso = TSampleIsotherm::Default();
    for (double t : {700.0, 800.0, 900.0}) {
        SCOPED_TRACE(t);
        EXPECT_GT(iso.Delta(std::log10(0.21), t), 0.005);
        EXPECT_LT(iso.Delta(std::log10(0.21), t), 0.04);
        EXPECT_NEAR(iso.Delta(-20, t), 0.3, 0.05);
        // delta grows as pO2 falls and as the sample gets hotter
        for (double logp = 0; logp > -20; logp -= 0.5)
            EXPECT_GT(iso.Delta(logp - 0.5, t), iso.Delta(logp, t));
        if (t < 900) // above the table's hottest row it is held
            EXPECT_GT(iso.Delta(-5, t + 50), iso.Delta(-5, t));
    }
}

TEST(SampleIsotherm, OptionsDescribeTheSample) {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("iso.csv")).toStdString();
    std::ofstream(path) << kTable;
    const char* argv[] = {"ondrix-cellsim",
                          "--sample-mass",
                          "0.25",
                          "--sample-molar-mass",
                          "150.5",
                          "--sample-oxygen",
                          "4",
                          "--sample-tau",
                          "30",
                          "--sample-isotherm",
                          path.c_str()};
    TSimOptions o;
    bool help = false;
    std::string error;
    ASSERT_TRUE(TSimOptionParser::Parse(int(std::size(argv)), argv, o, help, error)) << error;
    EXPECT_EQ(o.cell.sampleMassG, 0.25);
    EXPECT_EQ(o.cell.sampleMolarMassGPerMol, 150.5);
    EXPECT_EQ(o.cell.sampleOxygen, 4);
    EXPECT_EQ(o.cell.sampleTauS, 30);
    EXPECT_NEAR(o.cell.sampleIsotherm.Delta(-15, 700), 0.2, 1e-12);

    // A missing or spoilt table stops the start with the reason.
    const std::string missing = dir.filePath(QStringLiteral("none.csv")).toStdString();
    const char* bad[] = {"ondrix-cellsim", "--sample-isotherm", missing.c_str()};
    TSimOptions o2;
    EXPECT_FALSE(TSimOptionParser::Parse(3, bad, o2, help, error));
    EXPECT_NE(error.find("none.csv"), std::string::npos) << error;
    EXPECT_NE(TSimOptionParser::Help().find("speed 1"), std::string::npos);
}
