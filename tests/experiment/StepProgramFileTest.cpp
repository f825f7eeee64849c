// Step-program files and the row check behind them: what a file may hold, and that a file with
// one bad line is refused whole, naming the line.
#include "experiment/StepProgramFile.h"
#include "common/Locale.h"
#include "experiment/StepProgram.h"
#include "tests/support/QtPrint.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class StepProgramRowCheck : public ::testing::Test {
protected:
    void TearDown() override { SetRegionalLocale(QLocale::c()); }
};

TEST_F(StepProgramRowCheck, ValidRowsComeBackInTheRegionalFormat) {
    const struct {
        const char* locale;
        const char* row;
        const char* read;
    } cases[] = {
        {"C", "0001   -4          45", "0001   -4          45"},
        {"C", "0002   -0.678      -1100", "0002   -0.678      -1100"}, // six-character setpoint, lowest mV
        {"C", "0000   0           1000", "0000   0           1000"},   // the PPS ramps' rows
        {"C", "0009   -16         1100", "0009   -16         1100"},   // both ends of the ranges
        {"C", "12345   -4          45", "12345   -4          45"},     // a long label shifts the rest
        {"C", "0003   -12,34      20", "0003   -12.34      20"},       // written under a comma format
        {"de_DE", "0003   -12.34      20", "0003   -12,34      20"},   // written under a point format
        {"de_DE", "0003   -12,34      20", "0003   -12,34      20"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.locale) + " " + c.row);
        SetRegionalLocale(QLocale(QString::fromLatin1(c.locale)));
        QString problem;
        const std::optional<TStep> step = StepProgram::ReadRow(QString::fromLatin1(c.row), problem);
        ASSERT_TRUE(step) << problem.toStdString();
        EXPECT_EQ(step->Text(), QString::fromLatin1(c.read));
    }
}

TEST_F(StepProgramRowCheck, RowsTheTickWouldMisreadAreRefused) {
    SetRegionalLocale(QLocale::c());
    const struct {
        const char* row;
        const char* problem;
    } cases[] = {
        {"", "label"},
        {"Step   -4          45", "label"},
        {"0001", "log(pO2)"},
        {"0001   abc         45", "log(pO2)"},
        {"0001   -4", "mV"},
        {"0001   -4          45 mV", "mV"},
        {"0001   -17         45", "outside -16 to 0"},
        {"0001   0.5         45", "outside -16 to 0"},
        {"0001   -4          1101", "outside -1100 to 1100"},
        {"0001   -4          -2000", "outside -1100 to 1100"},
        {"0001   -4         45", "columns"},           // mV one character early: the tick would read 5
        {"0001  -4           45", "outside -16 to 0"}, // setpoint one character early: reads +4
        {"1      -4          45", "columns"},          // label not in four digits
        {"0001   -4          45.5", "columns"},
        {"0001\t-4\t45", "label"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        QString problem;
        EXPECT_FALSE(StepProgram::ReadRow(QString::fromLatin1(c.row), problem));
        EXPECT_TRUE(problem.contains(QString::fromLatin1(c.problem))) << problem.toStdString();
    }
}

const QStringList kRows = {"0001   -4          45", "0002   -0.678      -20", "0003   -12.34      1100"};
QList<TStep> Steps() {
    return {TStep::Make(1, -4, 45), TStep::Make(2, -0.678, -20), TStep::Make(3, -12.34, 1100)};
}

TEST(StepProgramFile, WritesTheTitleAndTheRowsWithCrLf) {
    SetRegionalLocale(QLocale::c());
    EXPECT_EQ(TStepProgramFile::Encode(Steps()), QByteArray("Ondrix step program\r\n"
                                                            "0001   -4          45\r\n"
                                                            "0002   -0.678      -20\r\n"
                                                            "0003   -12.34      1100\r\n"));
}

TEST(StepProgramFile, ReadsWhatWindowsAndOtherEditorsWrite) {
    SetRegionalLocale(QLocale::c());
    const QByteArray body = "0001   -4          45\r\n0002   -0.678      -20\r\n0003   -12.34      1100";
    const QByteArray variants[] = {
        "Ondrix step program\r\n" + body + "\r\n",
        "Ondrix step program\r\n" + body,                                        // no line end at the end
        "Ondrix step program\r\n" + body + "\r\n\r\n",                           // a trailing empty line
        "\xEF\xBB\xBFOndrix step program\r\n" + body + "\r\n",                   // UTF-8 with a mark
        QByteArray("Ondrix step program\n" + body + "\n").replace("\r\n", "\n"), // LF only
        "Ondrix step program  \r\n0001   -4          45  \r\n0002   -0.678      -20\t\r\n"
        "0003   -12.34      1100\r\n", // blanks an editor left at line ends
    };
    for (const QByteArray& bytes : variants) {
        SCOPED_TRACE(bytes.toStdString());
        QList<TStep> steps;
        QString error;
        ASSERT_TRUE(TStepProgramFile::Decode(bytes, steps, error)) << error.toStdString();
        EXPECT_EQ(StepProgram::Texts(steps), kRows);
    }
}

TEST(StepProgramFile, AFileWithABadLineIsRefusedWhole) {
    SetRegionalLocale(QLocale::c());
    const struct {
        QByteArray bytes;
        const char* error;
    } cases[] = {
        {"", "Line 1 is not the title \"Ondrix step program\""},
        {"0001   -4          45\r\n", "Line 1 is not the title"}, // rows without their title
        {"PID table\r\n2\r\n", "Line 1 is not the title"},
        {"Ondrix step program\r\n", "The file holds no steps."},
        {"Ondrix step program\r\n\r\n\r\n", "The file holds no steps."},
        {"Ondrix step program\r\n0001   -4          45\r\n0002   -5          115\r\n0003   -6         "
         "227\r\n",
         "Line 4 is not a step-program row: \"0003   -6         227\" (the fields are not in their columns"},
        {"Ondrix step program\r\n0001   -4          45\r\n\r\n0003   -6          227\r\n",
         "Line 3 is not a step-program row: \"\" (the step label is not a number)."},
        {"Ondrix step program\r\n0001   -4          \xB5V\r\n",
         "Line 2 is not a step-program row: \"0001   -4          \xC2\xB5V\" (no mV value"}, // cp1252 µ
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.toStdString());
        QList<TStep> steps = {TStep::Make(7, -7, 7)};
        QString error;
        EXPECT_FALSE(TStepProgramFile::Decode(c.bytes, steps, error));
        EXPECT_TRUE(error.startsWith(QString::fromUtf8(c.error))) << error.toStdString();
        EXPECT_EQ(StepProgram::Texts(steps), QStringList{"0007   -7          7"}) << "untouched";
    }
}

TEST(StepProgramFile, RoundTripAndFileFailures) {
    SetRegionalLocale(QLocale::c());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("week.program"));
    QString error;
    ASSERT_TRUE(TStepProgramFile::Write(path, Steps(), error)) << error.toStdString();
    QList<TStep> steps;
    ASSERT_TRUE(TStepProgramFile::Read(path, steps, error)) << error.toStdString();
    EXPECT_EQ(StepProgram::Texts(steps), kRows);

    EXPECT_FALSE(TStepProgramFile::Read(dir.filePath(QStringLiteral("missing.program")), steps, error));
    EXPECT_EQ(error, "The file does not exist.");

    // A file far larger than any program is not read at all.
    const QString big = dir.filePath(QStringLiteral("big.program"));
    QFile f(big);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("Ondrix step program\r\n");
    ASSERT_TRUE(f.resize(TStepProgramFile::MaxBytes + 1));
    f.close();
    EXPECT_FALSE(TStepProgramFile::Read(big, steps, error));
    EXPECT_EQ(error, "The file is too large to be a step program.");

    // A save that cannot be written says why.
    const QString folder = dir.filePath(QStringLiteral("a folder"));
    ASSERT_TRUE(QDir().mkdir(folder));
    EXPECT_FALSE(TStepProgramFile::Write(folder, Steps(), error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(StepProgram::Texts(steps), kRows);
}

} // namespace
