// The PID tuning page: the list and its editors, the PID files through the dialogs, the build that
// fills the controller's table and enables the PID modes, the test box and the Debug listing.
#include "app/PIDTuningPage.h"

#include "app/TRtDoubleEdit.h"
#include "common/Locale.h"
#include "control/TPID.h"
#include "control/TPIDList.h"
#include "control/TRunState.h"
#include "experiment/TExperimentModel.h"
#include "simulator/SimCell.h"
#include "tests/support/QtPrint.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempFolder.h"

#include <qcustomplot.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// Scripted answers that also remember where each file dialog opened.
class TRecordingDialogs : public TScriptedDialogs {
public:
    QStringList folders;
    QString OpenFileName(const QString& c, const QString& folder, const QString& filter) override {
        folders << folder;
        return TScriptedDialogs::OpenFileName(c, folder, filter);
    }
    QString SaveFileName(const QString& c, const QString& folder, const QString& filter) override {
        folders << folder;
        return TScriptedDialogs::SaveFileName(c, folder, filter);
    }
};

class PIDTuningPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetRegionalLocale(QLocale::c());
        dialogs = std::make_shared<TRecordingDialogs>();
        SetDialogs(dialogs);
        page.SetModel(&model);
        QDir(folder.path()).mkdir(QStringLiteral("PID"));
        page.SetModeButtons(&pidSet, &pidStep);
        page.SetDebugMemo(&debugMemo);
        pidSet.setEnabled(false);
        pidStep.setEnabled(false);
    }
    void TearDown() override {
        SetDialogs(nullptr);
        SetRegionalLocale(QLocale::system());
    }

    QString WriteFile(const QString& name, const QByteArray& bytes) {
        const QString path = folder.file(QStringLiteral("PID/") + name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        return path;
    }
    static QByteArray ReadFile(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static QByteArray CrLf(const QStringList& lines) {
        return (lines.join(QStringLiteral("\r\n")) + "\r\n").toLatin1();
    }
    // "Load" with the operator choosing `path`.
    void Load(const QString& path) {
        dialogs->fileNames.push_back(path);
        page.ButtonPIDLoad->click();
    }
    void ClickLine(int index) {
        page.ListBox1->setCurrentRow(index);
        page.ListBox1Click();
    }
    void SetRow(int logPO2, int p, int i, int d, int a, const QString& notes) {
        page.RtIntegerEditPIDPO2->SetValue(logPO2);
        page.RtIntegerEditPIDP->SetValue(p);
        page.RtIntegerEditPIDI->SetValue(i);
        page.RtIntegerEditPIDD->SetValue(d);
        page.RtIntegerEditPIDA->SetValue(a);
        page.EditPIDNotes->setText(notes);
    }
    // A list with rows at 0, 5, ..., 25 and the same values in each.
    static QStringList Flat(int p, int i, int d, int a, const QString& notes = QString()) {
        QStringList lines{QStringLiteral("Flat.txt"), QStringLiteral("Elasticity 1.0"), TPIDList::Header()};
        for (int x = 0; x <= 25; x += 5)
            lines << TPIDList::FormatRow({x, p, i, d, a, notes});
        return lines;
    }
    QStringList Memo2() const { return page.Memo2->toPlainText().split(u'\n'); }

    TTempProgramFolder folder;
    std::shared_ptr<TRecordingDialogs> dialogs;
    // The list and the controller are the experiment's; the page shows and builds them.
    TRunState run;
    TExperimentModel model{run};
    TPID& pid = model.PID();
    QRadioButton pidSet, pidStep;
    QPlainTextEdit debugMemo;
    TPIDTuningPage page;
};

TEST_F(PIDTuningPageTest, FirstBuildFillsTheTableAndEnablesThePIDModes) {
    EXPECT_EQ(page.objectName(), "TabSheetPID");
    EXPECT_EQ(page.Lines(), TPIDList::StartingList());
    EXPECT_EQ(page.RtDoubleEdit2->Value(), 1.0);
    EXPECT_EQ(page.RtDoubleEdit1->Value(), 7.0);
    EXPECT_FALSE(pid.Calibration.Valid);

    ASSERT_TRUE(page.BuildTable());
    EXPECT_TRUE(dialogs->messages.isEmpty());
    EXPECT_TRUE(pidSet.isEnabled());
    EXPECT_TRUE(pidStep.isEnabled());
    EXPECT_TRUE(pid.Calibration.Valid);
    EXPECT_EQ(pid.Calibration.Size, 10000);
    // The build uses the elasticity box (1.0), not the 100.0 of line 2.
    EXPECT_EQ(page.Table().Curve(TPIDTable::CurveA).ElasticityFactor(), 1.0);

    // The test ran once; the controller was still uninitialized, so it also took a step at -7,
    // before the table was filled (its gains were still 1).
    const QStringList memo = Memo2();
    ASSERT_EQ(memo.size(), 11);
    EXPECT_EQ(memo[0], "     log(pO2): -7.0");
    EXPECT_EQ(memo.mid(7),
              (QStringList{"", "        PID P: 1.0", "        PID I: 1.0", "        PID D: 1.0"}));
    EXPECT_EQ(pid.ProcessVariable(), -7.0);

    // Plot: four curves across the rows' range, the 14 current limits as points, Y up to 1.15 x 5300.
    EXPECT_EQ(page.RtPointSeries1->data()->size(), 14);
    for (QCPGraph* g :
         {page.RtInterpolation1, page.RtInterpolation2, page.RtInterpolation3, page.RtInterpolation4})
        EXPECT_GT(g->data()->size(), 500) << g->name().toStdString();
    EXPECT_DOUBLE_EQ(page.RtGraph2D2->yAxis->range().upper, 1.15 * 5300);
    EXPECT_EQ(page.RtGraph2D2->xAxis->range().lower, 0.0);
    EXPECT_EQ(page.RtGraph2D2->xAxis->range().upper, 25.0);

    // Once the instruments run, the test leaves the controller alone.
    run.ProgramState = TProgramState::Paused;
    page.RtDoubleEdit1->SetValue(3);
    page.Test();
    EXPECT_EQ(Memo2().size(), 7);
    EXPECT_EQ(pid.ProcessVariable(), -7.0);
}

TEST_F(PIDTuningPageTest, ApplyOrAdd) {
    // Refused: a row appended below the last one. Only line 2 changes; nothing is built.
    page.RtDoubleEdit2->SetValue(100);
    SetRow(24, 1, 2, 3, 4, QStringLiteral("low"));
    page.ButtonPIDApply->click();
    EXPECT_EQ(dialogs->messages, QStringList{"Cannot add. -Log(pO2) value must fit between 25 and 25"});
    QStringList expected = TPIDList::StartingList();
    EXPECT_EQ(page.Lines(), expected); // line 2 already read "Elasticity 100.0"
    EXPECT_FALSE(pid.Calibration.Valid);

    // Replacing the selected first row needs a value up to the row below it.
    ClickLine(3);
    EXPECT_EQ(page.RtIntegerEditPIDA->Value(), 5000);
    EXPECT_EQ(page.EditPIDNotes->text(), "Very slow");
    page.RtDoubleEdit2->SetValue(2.5);
    page.RtIntegerEditPIDPO2->SetValue(3);
    page.ButtonPIDApply->click();
    EXPECT_EQ(dialogs->messages.last(), "Cannot apply. -Log(pO2) value must fit between 0 and 1");
    expected[1] = QStringLiteral("Elasticity 2.5");
    EXPECT_EQ(page.Lines(), expected);

    page.RtIntegerEditPIDPO2->SetValue(1);
    page.RtIntegerEditPIDA->SetValue(4000);
    page.ButtonPIDApply->click();
    expected[3] = TPIDList::FormatRow({1, 1000, 1000, 1000, 4000, QStringLiteral("Very slow")});
    EXPECT_EQ(page.Lines(), expected);
    EXPECT_EQ(page.SelectedIndex(), 3);
    EXPECT_TRUE(pid.Calibration.Valid);
    EXPECT_TRUE(pidSet.isEnabled());
    EXPECT_EQ(dialogs->messages.size(), 2);

    // After "Deselect" the next row is appended.
    page.ButtonDeselect->click();
    EXPECT_EQ(page.SelectedIndex(), -1);
    SetRow(25, 7, 8, 9, 10, QStringLiteral("end"));
    page.ButtonPIDApply->click();
    expected << TPIDList::FormatRow({25, 7, 8, 9, 10, QStringLiteral("end")});
    EXPECT_EQ(page.Lines(), expected);
    EXPECT_EQ(dialogs->messages.size(), 2);

    // Clicks on the title, elasticity and header lines copy nothing.
    ClickLine(1);
    EXPECT_EQ(page.RtDoubleEdit2->Value(), 2.5);
    EXPECT_EQ(page.EditPIDNotes->text(), "end");
}

// The list box is a view of the experiment's list: it shows each change, whoever makes it; an edit
// keeps the operator's selection, a loaded list leaves nothing selected.
TEST_F(PIDTuningPageTest, TheListBoxShowsTheExperimentsList) {
    const auto shown = [&] {
        QStringList lines;
        for (int i = 0; i < page.ListBox1->count(); ++i)
            lines << page.ListBox1->item(i)->text();
        return lines;
    };
    EXPECT_EQ(shown(), TPIDList::StartingList());
    page.ListBox1->setCurrentRow(5);
    page.ButtonPIDDeleteLastClick();
    EXPECT_EQ(shown(), TPIDList::StartingList().mid(0, 16));
    EXPECT_EQ(page.SelectedIndex(), 5);
    model.SetPIDList(TPIDListContent::FromLines(Flat(7, 8, 9, 10)));
    EXPECT_EQ(shown(), Flat(7, 8, 9, 10));
    ASSERT_TRUE(page.LoadList(WriteFile(QStringLiteral("Loaded.txt"), CrLf(Flat(1, 2, 3, 4)))));
    EXPECT_EQ(shown(), Flat(1, 2, 3, 4));
    EXPECT_EQ(model.PIDList().Lines(), Flat(1, 2, 3, 4));
    EXPECT_EQ(page.SelectedIndex(), -1);
}

TEST_F(PIDTuningPageTest, DeleteLastStopsAtNineLines) {
    Load(WriteFile(QStringLiteral("Ten.txt"),
                   CrLf(Flat(1, 2, 3, 4) << TPIDList::FormatRow({25, 1, 2, 3, 4, {}}))));
    ASSERT_EQ(page.Lines().size(), 10);
    page.ButtonPIDDeleteLast->click();
    EXPECT_EQ(page.Lines(), Flat(1, 2, 3, 4));
    page.Memo2->clear();
    page.ButtonPIDDeleteLast->click();
    EXPECT_EQ(page.Lines(), Flat(1, 2, 3, 4));
    EXPECT_TRUE(page.Memo2->toPlainText().isEmpty()) << "no build";
    EXPECT_TRUE(dialogs->messages.isEmpty());
}

TEST_F(PIDTuningPageTest, NoteOfTwentyCharactersSurvivesApplySaveLoadAndClick) {
    const QString note = QStringLiteral("µ-limit 20 chars ok!");
    ASSERT_EQ(note.size(), 20);
    page.RtDoubleEdit2->SetValue(42.5);
    SetRow(25, 11, 22, 33, 44, QStringLiteral("  ") + note + QStringLiteral(" and more"));
    page.ButtonPIDApply->click();
    ASSERT_TRUE(dialogs->messages.isEmpty()) << dialogs->messages.join(u'\n').toStdString();
    EXPECT_TRUE(page.Lines().last().endsWith(QStringLiteral("44        ") + note));

    // "Save as" proposes the title in the PID folder; the chosen name gets ".txt" and becomes line 1.
    dialogs->fileNames.push_back(folder.file(QStringLiteral("PID/Notes")));
    page.ButtonPIDSaveAs->click();
    EXPECT_EQ(dialogs->folders.last(),
              QDir(folder.file(QStringLiteral("PID")))
                  .filePath(QStringLiteral("Example - not applied until modified.txt")));
    const QString saved = folder.file(QStringLiteral("PID/Notes.txt"));
    QStringList lines = page.Lines();
    EXPECT_EQ(lines[0], "Notes.txt");
    EXPECT_EQ(lines[1], "Elasticity 42.5");
    EXPECT_EQ(ReadFile(saved), CrLf(lines).replace("\xC2\xB5", "\xB5")) << "cp1252, CR LF";

    page.ButtonPIDDeleteLast->click();
    page.RtDoubleEdit2->SetValue(1);
    Load(saved);
    EXPECT_EQ(dialogs->folders.last(), folder.file(QStringLiteral("PID")));
    EXPECT_EQ(page.Lines(), lines);

    ClickLine(lines.size() - 1);
    EXPECT_EQ(page.EditPIDNotes->text(), note);
    EXPECT_EQ(page.RtDoubleEdit2->Value(), 42.5);
    EXPECT_EQ(page.RtIntegerEditPIDPO2->Value(), 25);
    EXPECT_EQ(page.RtIntegerEditPIDP->Value(), 11);
    EXPECT_EQ(page.RtIntegerEditPIDI->Value(), 22);
    EXPECT_EQ(page.RtIntegerEditPIDD->Value(), 33);
    EXPECT_EQ(page.RtIntegerEditPIDA->Value(), 44);
}

TEST_F(PIDTuningPageTest, FilesFromOtherMachinesLoadAndSaveBackTheirWay) {
    QStringList lines = Flat(200, 150, 30, 900, QStringLiteral("µA ºC"));
    lines[1] = QStringLiteral("Elasticity 50,0"); // written where a comma is the decimal separator
    QString text;
    for (const QString& l : lines)
        text += l + QStringLiteral("\r\n");
    QByteArray utf16;
    for (QChar c : text)
        utf16.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    struct TCase {
        const char* name;
        QByteArray bytes;
    };
    const TCase cases[] = {
        {"Windows code page", text.toLatin1()},
        {"UTF-8 with a byte-order mark", QByteArray("\xEF\xBB\xBF") + text.toUtf8()},
        {"UTF-16 with a byte-order mark", QByteArray("\xFF\xFE") + utf16},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        Load(WriteFile(QStringLiteral("Flat.txt"), c.bytes));
        EXPECT_EQ(page.Lines(), lines);
        EXPECT_TRUE(dialogs->messages.isEmpty());
        EXPECT_TRUE(pid.Calibration.Valid);
        ClickLine(4);
        EXPECT_EQ(page.RtDoubleEdit2->Value(), 50.0);
        EXPECT_EQ(page.EditPIDNotes->text(), "µA ºC");

        dialogs->fileNames.push_back(folder.file(QStringLiteral("PID/Flat.txt")));
        page.ButtonPIDSaveAs->click();
        EXPECT_EQ(ReadFile(folder.file(QStringLiteral("PID/Flat.txt"))), c.bytes);
    }
}

TEST_F(PIDTuningPageTest, TestBoxFollowsTheTypedValue) {
    Load(WriteFile(QStringLiteral("Flat.txt"), CrLf(Flat(200, 150, 30, 5200))));
    run.ProgramState = TProgramState::Paused;
    page.RtDoubleEdit1->selectAll();
    QTest::keyClicks(page.RtDoubleEdit1, QStringLiteral("7"));
    EXPECT_EQ(Memo2(), (QStringList{"     log(pO2): -7.0", "            P: 200.0", "            I: 150.0",
                                    "            D: 30.0", "       max µA: 5200.0", "Hard limit µA: 5000.0",
                                    " Final max µA: 5000.0"}));
    QTest::keyClicks(page.RtDoubleEdit1, QStringLiteral("0")); // 70
    EXPECT_EQ(Memo2(), QStringList{"log(pO2) must be between 0 and -25"});
    page.RtDoubleEdit1->SetValue(30);
    page.Test();
    EXPECT_EQ(Memo2(), QStringList{"log(pO2) must be between 0 and -25"});
    EXPECT_TRUE(dialogs->messages.isEmpty());
}

TEST_F(PIDTuningPageTest, FailedBuildsKeepThePreviousTable) {
    struct TCase {
        const char* name;
        QStringList lines;
        const char* message;
    };
    QStringList fiveDistinct = Flat(1, 2, 3, 4).mid(0, 8);
    fiveDistinct << TPIDList::FormatRow({20, 9, 9, 9, 9, {}}); // 0, 5, 10, 15, 20, 20
    QStringList badRow = Flat(1, 2, 3, 4);
    badRow[5] = QStringLiteral("5         1         2         3,5       4");
    const TCase cases[] = {
        {"fewer than six distinct -log(pO2)", fiveDistinct, "Not enough data points to calculate function"},
        {"a field that is no integer", badRow, "'3,5' is not a valid integer value"},
        {"no data rows", Flat(1, 2, 3, 4).mid(0, 3), "Not enough data points to calculate function"},
    };

    // Before any table: a failed build leaves the PID modes disabled.
    Load(WriteFile(QStringLiteral("Bad.txt"), CrLf(fiveDistinct)));
    EXPECT_EQ(dialogs->messages, QStringList{"Not enough data points to calculate function"});
    EXPECT_FALSE(pid.Calibration.Valid);
    EXPECT_FALSE(pidSet.isEnabled());

    Load(WriteFile(QStringLiteral("Good.txt"), CrLf(Flat(100, 200, 300, 400))));
    ASSERT_TRUE(pid.Calibration.Valid);
    const std::vector<TPIDCalibData> table = pid.Calibration.Data;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs->messages.clear();
        Load(WriteFile(QStringLiteral("Bad.txt"), CrLf(c.lines)));
        EXPECT_EQ(page.Lines(), c.lines);
        EXPECT_EQ(dialogs->messages, QStringList{QString::fromLatin1(c.message)});
        EXPECT_TRUE(pid.Calibration.Valid);
        EXPECT_EQ(pid.Calibration.Size, 10000);
        ASSERT_EQ(pid.Calibration.Data.size(), table.size());
        for (int k : {0, 4321, 9999})
            EXPECT_EQ(pid.Calibration.Data[k].A, table[k].A);
        EXPECT_TRUE(pidSet.isEnabled());
    }

    // A file that cannot be read leaves the list as it was.
    dialogs->messages.clear();
    Load(folder.file(QStringLiteral("PID/missing.txt")));
    ASSERT_EQ(dialogs->messages.size(), 1);
    EXPECT_TRUE(dialogs->messages[0].startsWith(QStringLiteral("Cannot open file")));
    EXPECT_EQ(page.Lines(), cases[2].lines);
}

TEST_F(PIDTuningPageTest, CancelledOrPointlessFileActionsChangeNothing) {
    page.ButtonPIDLoad->click(); // cancelled
    page.ButtonPIDSaveAs->click();
    EXPECT_EQ(page.Lines(), TPIDList::StartingList());
    EXPECT_EQ(dialogs->folders.size(), 2);
    EXPECT_TRUE(QDir(folder.file(QStringLiteral("PID"))).isEmpty());

    // A list of three lines is not saved at all.
    Load(WriteFile(QStringLiteral("Empty.txt"), CrLf(Flat(1, 2, 3, 4).mid(0, 3))));
    page.ButtonPIDSaveAs->click();
    EXPECT_EQ(dialogs->folders.size(), 3);
}

TEST_F(PIDTuningPageTest, PIDToDebugLogListsEveryFiftiethRow) {
    page.ButtonTabPID->click();
    EXPECT_EQ(debugMemo.toPlainText(), "log(pO2) P  I  D  A");
    page.BuildTable();
    page.ButtonTabPID->click();
    const QStringList lines = debugMemo.toPlainText().split(u'\n');
    ASSERT_EQ(lines.size(), 201);
    EXPECT_EQ(lines[1], "0.0 1000.0 1000.0 1000.0 " + QString::number(pid.Calibration.Data[0].A, 'f', 1));
}

TEST_F(PIDTuningPageTest, StartUpLoadsTheDefaultFileWithoutABuild) {
    const QString file = WriteFile(QStringLiteral("Default.txt"), CrLf(Flat(1, 2, 3, 4)));
    ASSERT_TRUE(page.LoadList(file));
    EXPECT_EQ(page.Lines(), Flat(1, 2, 3, 4));
    EXPECT_FALSE(pid.Calibration.Valid);
    EXPECT_FALSE(pidSet.isEnabled());
    EXPECT_TRUE(page.Memo2->toPlainText().isEmpty());
}

// The PID file shipped with the program, built as the program builds it at start (elasticity box
// 1.0), drives the simulated cell through a short step program: voltage source at the controller's
// output (the SourceMeter holds it to +-1.1 V) with the looked-up current limit, one controller
// step per second of cell time.
TEST_F(PIDTuningPageTest, ShippedTableHoldsAndWalksTheSimulatedCell) {
    const QString shipped =
        QFileInfo(QStringLiteral(__FILE__)).dir().filePath(QStringLiteral("../../data/PID/Default.txt"));
    ASSERT_TRUE(page.LoadList(shipped)) << dialogs->messages.join(u'\n').toStdString();
    ASSERT_TRUE(page.BuildTable()) << dialogs->messages.join(u'\n').toStdString();
    EXPECT_EQ(page.Lines()[0], "Default.txt");

    TSimCellParams params;
    params.noise = false;
    params.initialpO2Atm = 1e-4;
    TSimCell cell(params);
    struct TStep {
        double setpoint, seconds, tolerance; // tolerance in decades at the end of the step
    };
    // Steps down settle within a few minutes; steps up overshoot while the oxygen flows back in.
    const TStep program[] = {{-7, 1200, 0.01}, {-8, 600, 0.02},  {-10, 600, 0.02}, {-15, 900, 0.02},
                             {-20, 900, 0.02}, {-18, 900, 0.05}, {-15, 900, 0.05}, {-12, 900, 0.05},
                             {-9, 900, 0.05},  {-6, 900, 0.05},  {-4, 900, 0.05},  {-3, 1800, 0.05}};
    for (const TStep& step : program) {
        pid.SetSetpoint(step.setpoint);
        for (int s = 0; s < step.seconds; ++s) {
            TPumpDrive drive;
            drive.kind = TPumpDrive::Voltage;
            drive.level = std::clamp(pid.FeedBack() / 1000.0, -1.1, 1.1);
            drive.compliance = pid.A() / 1e6;
            cell.SetPumpDrive(drive);
            cell.Advance(1.0);
            pid.CurrentApplied = cell.Pump().currentA;
            pid.SetProcessVariable(std::log10(cell.pO2Atm()));
        }
        EXPECT_NEAR(std::log10(cell.pO2Atm()), step.setpoint, step.tolerance) << "setpoint " << step.setpoint;
    }
}

} // namespace
