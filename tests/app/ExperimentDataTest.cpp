#include "app/ExperimentDataPage.h"
#include "app/TRtDoubleEdit.h"
#include "common/Locale.h"
#include "common/ProgramFolder.h"
#include "diagnostics/EventLog.h"
#include "experiment/CellDetailsFile.h"
#include "experiment/SampleDetailsFile.h"
#include "experiment/TExperimentModel.h"
#include "recording/SampleDetails.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempFolder.h"

#include "tests/support/QtPrint.h"
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <functional>

#include <gtest/gtest.h>
#include <memory>

namespace {

// Scripted answers that also remember where each file dialog opened and what it proposed.
class TRecordingDialogs : public TScriptedDialogs {
public:
    struct TCall {
        QString kind, caption, folder, filter;
    };
    QList<TCall> calls;
    QString OpenFileName(const QString& c, const QString& folder, const QString& filter) override {
        calls.append({QStringLiteral("open"), c, folder, filter});
        return TScriptedDialogs::OpenFileName(c, folder, filter);
    }
    QString SaveFileName(const QString& c, const QString& folder, const QString& filter) override {
        calls.append({QStringLiteral("save"), c, folder, filter});
        return TScriptedDialogs::SaveFileName(c, folder, filter);
    }
};

void ExpectCell(const TCellDetails& actual, const TCellDetails& expected) {
    EXPECT_EQ(actual.SensorID, expected.SensorID);
    EXPECT_DOUBLE_EQ(actual.SensorAx, expected.SensorAx);
    EXPECT_DOUBLE_EQ(actual.SensorBx, expected.SensorBx);
    EXPECT_DOUBLE_EQ(actual.Vhpws, expected.Vhpws);
    EXPECT_DOUBLE_EQ(actual.Vhp, expected.Vhp);
    EXPECT_DOUBLE_EQ(actual.Vgp, expected.Vgp);
    EXPECT_DOUBLE_EQ(actual.Tl, expected.Tl);
    EXPECT_DOUBLE_EQ(actual.PsO2, expected.PsO2);
    EXPECT_DOUBLE_EQ(actual.FGpO2, expected.FGpO2);
    EXPECT_DOUBLE_EQ(actual.FGfl, expected.FGfl);
    EXPECT_DOUBLE_EQ(actual.CTO, expected.CTO);
    EXPECT_DOUBLE_EQ(actual.RCDuration, expected.RCDuration);
    EXPECT_DOUBLE_EQ(actual.RCThreshold, expected.RCThreshold);
    EXPECT_EQ(actual.RCAppliesToCurrent, expected.RCAppliesToCurrent);
    EXPECT_DOUBLE_EQ(actual.CurrentFloorMicroA, expected.CurrentFloorMicroA);
    EXPECT_DOUBLE_EQ(actual.DataPointLength, expected.DataPointLength);
    EXPECT_EQ(actual.FastMode, expected.FastMode);
    EXPECT_EQ(actual.FastModeCount, expected.FastModeCount);
}

void ExpectSample(const TSampleDetails& actual, const TSampleDetails& expected) {
    EXPECT_EQ(actual.Name, expected.Name);
    EXPECT_EQ(actual.Formula, expected.Formula);
    EXPECT_DOUBLE_EQ(actual.bs, expected.bs);
    EXPECT_DOUBLE_EQ(actual.M, expected.M);
    EXPECT_DOUBLE_EQ(actual.b0, expected.b0);
    EXPECT_DOUBLE_EQ(actual.M0, expected.M0);
    EXPECT_DOUBLE_EQ(actual.d, expected.d);
    EXPECT_DOUBLE_EQ(actual.m0, expected.m0);
}

// A cell that differs from both the fresh window and the reading defaults in every value.
TCellDetails SomeCell() {
    TCellDetails c;
    c.SensorID = QStringLiteral("ZrO2 µ-7 º");
    c.SensorAx = -0.0123;
    c.SensorBx = 1.5e-7;
    c.Vhpws = 0.0155;
    c.Vhp = 0.0155; // no sample on the page: Vs = 0
    c.Vgp = 0.004;
    c.Tl = 28.5;
    c.PsO2 = 0.2095;
    c.FGpO2 = 0.01;
    c.FGfl = 12.5;
    c.CTO = 850;
    c.RCDuration = 600;
    c.RCThreshold = 0.025;
    c.RCAppliesToCurrent = true;
    c.CurrentFloorMicroA = 0.2;
    c.DataPointLength = 2.5;
    c.FastMode = true;
    c.FastModeCount = 7;
    return c;
}

TSampleDetails SomeSample();

// SomeCell() next to SomeSample(): the sample takes its volume from the hot part.
TCellDetails SomeCellWithSample() {
    TCellDetails c = SomeCell();
    c.Vhp = CalculateSampleValues(SomeSample(), c.Vhpws).Vhp;
    return c;
}

TSampleDetails SomeSample() {
    TSampleDetails s;
    s.Name = QStringLiteral("LSCF 6428 run 3");
    s.Formula = QStringLiteral("La0.6Sr0.4Co0.2Fe0.8O3-δ");
    s.bs = 3;
    s.M = 226.9;
    s.b0 = 2.95;
    s.M0 = 226.1;
    s.d = 6.3;
    s.m0 = 0.4567;
    return s;
}

class ExperimentData : public ::testing::Test {
protected:
    void SetUp() override {
        SetRegionalLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        dialogs = std::make_shared<TRecordingDialogs>();
        SetDialogs(dialogs);
        QDir(folder.path()).mkpath(QStringLiteral("Cell"));
        QDir(folder.path()).mkpath(QStringLiteral("Sample"));
    }
    void TearDown() override {
        SetDialogs(nullptr);
        SetRegionalLocale(QLocale::system());
    }
    void Put(TExperimentDataPage& page, const TCellDetails& c) {
        page.EditSensorID->setText(c.SensorID);
        page.RtDoubleEditSensorAx->SetValue(c.SensorAx);
        page.RtDoubleEditSensorBx->SetValue(c.SensorBx);
        page.RtDoubleEditVHPS->SetValue(c.Vhpws);
        page.RtDoubleEditVgp->SetValue(c.Vgp);
        page.RtDoubleEditTl->SetValue(c.Tl);
        page.RtDoubleEditPsO2->SetValue(c.PsO2);
        page.RtDoubleEditFGpO2->SetValue(c.FGpO2);
        page.RtDoubleEditFGfl->SetValue(c.FGfl);
        page.RtDoubleEditCTO->SetValue(c.CTO);
        page.RtDoubleEditRCDuration->SetValue(c.RCDuration);
        page.RtDoubleEditRCThreshold->SetValue(c.RCThreshold);
        page.CheckBoxRCI->setChecked(c.RCAppliesToCurrent);
        page.RtDoubleEditRCCurrentFloor->SetValue(c.CurrentFloorMicroA);
        page.RtDoubleEditDataPointLength->SetValue(c.DataPointLength);
        page.CheckBoxFastMode->setChecked(c.FastMode);
        page.RtIntegerEditFastModeCount->SetValue(c.FastModeCount);
    }
    void Put(TExperimentDataPage& page, const TSampleDetails& s) {
        page.EditSampleName->setText(s.Name);
        page.EditSampleFormula->setText(s.Formula);
        page.RtDoubleEditbs->SetValue(s.bs);
        page.RtDoubleEditM->SetValue(s.M);
        page.RtDoubleEditb0->SetValue(s.b0);
        page.RtDoubleEditM0->SetValue(s.M0);
        page.RtDoubleEditd->SetValue(s.d);
        page.RtDoubleEditmass0->SetValue(s.m0);
    }
    QString WriteFile(const QString& rel, const QByteArray& bytes) {
        const QString path = folder.file(rel);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    static QByteArray ReadFile(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    TTempProgramFolder folder;
    std::shared_ptr<TRecordingDialogs> dialogs;
};

// --- Derived sample values -------------------------------------------------------------------

TEST(SampleValues, DerivedValuesGuardAgainstZeroDensityAndMolarMass) {
    struct TCase {
        const char* what;
        double m0, d, M0, b0, vhpws;
        double Vs, n0, nO0, mO0, mM, Vhp;
    };
    const TCase cases[] = {
        {"worked example", 1, 5, 100, 3, 0.012, 0.0002, 0.01, 0.03, 0.479982, 0.520018, 0.0118},
        {"d = 0: no volume, Vhp = Vhpws", 1, 0, 100, 3, 0.012, 0, 0.01, 0.03, 0.479982, 0.520018, 0.012},
        {"negative d counts as none", 1, -5, 100, 3, 0.012, 0, 0.01, 0.03, 0.479982, 0.520018, 0.012},
        {"M0 = 0: no moles, mM = m0", 1, 5, 0, 3, 0.012, 0.0002, 0, 0, 0, 1, 0.0118},
        {"empty sample", 0, 0, 0, 0, 0.012, 0, 0, 0, 0, 0, 0.012},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        TSampleDetails s;
        s.m0 = c.m0;
        s.d = c.d;
        s.M0 = c.M0;
        s.b0 = c.b0;
        s.bs = 99; // stored only, never part of the calculation
        s.M = 99;
        const TSampleValues v = CalculateSampleValues(s, c.vhpws);
        EXPECT_NEAR(v.Vs, c.Vs, 1e-15);
        EXPECT_NEAR(v.n0, c.n0, 1e-15);
        EXPECT_NEAR(v.nO0, c.nO0, 1e-15);
        EXPECT_NEAR(v.mO0, c.mO0, 1e-12);
        EXPECT_NEAR(v.mM, c.mM, 1e-12);
        EXPECT_NEAR(v.Vhp, c.Vhp, 1e-15);
    }
}

TEST_F(ExperimentData, EditingAnInputRecomputesTheDerivedBoxes) {
    TExperimentDataPage page;
    page.RtDoubleEditM0->SetValue(100);
    page.RtDoubleEditb0->SetValue(3);
    page.RtDoubleEditd->SetValue(5);
    EXPECT_DOUBLE_EQ(page.RtDoubleEditVs->Value(), 0.0002);
    EXPECT_DOUBLE_EQ(page.RtDoubleEditn0->Value(), 0.01);
    EXPECT_DOUBLE_EQ(page.RtDoubleEditnO0->Value(), 0.03);
    EXPECT_NEAR(page.RtDoubleEditmO0->Value(), 0.479982, 1e-12);
    EXPECT_NEAR(page.RtDoubleEditmM->Value(), 0.520018, 1e-12);
    EXPECT_NEAR(page.RtDoubleEditVhp->Value(), 0.0118, 1e-15);
    // A cell box carries the same handler: a new Vhpws moves Vhp at once.
    page.RtDoubleEditVHPS->SetValue(0.02);
    EXPECT_NEAR(page.RtDoubleEditVhp->Value(), 0.0198, 1e-15);
    // Typing into a box counts as an edit too, once it is applied with Enter.
    page.RtDoubleEditmass0->clear();
    QTest::keyClicks(page.RtDoubleEditmass0, QStringLiteral("2"));
    EXPECT_DOUBLE_EQ(page.RtDoubleEditVs->Value(), 0.0002) << "not applied while typing";
    QTest::keyClick(page.RtDoubleEditmass0, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(page.RtDoubleEditVs->Value(), 0.0004);
}

TEST_F(ExperimentData, FreshPage) {
    TExperimentDataPage page;
    EXPECT_EQ(page.objectName(), "TabSheetExperimentSetup");
    const std::pair<const char*, double> fresh[] = {
        {"RtDoubleEditbs", 0},
        {"RtDoubleEditM", 0},
        {"RtDoubleEditb0", 0},
        {"RtDoubleEditM0", 0},
        {"RtDoubleEditd", 0},
        {"RtDoubleEditmass0", 1.0},
        {"RtDoubleEditVs", 0},
        {"RtDoubleEditn0", 0},
        {"RtDoubleEditnO0", 0},
        {"RtDoubleEditmO0", 0},
        {"RtDoubleEditmM", 1.0},
        {"RtDoubleEditSensorAx", 0},
        {"RtDoubleEditSensorBx", 0},
        {"RtDoubleEditVHPS", 0.012},
        {"RtDoubleEditVhp", 0.012},
        {"RtDoubleEditVgp", 0.012},
        {"RtDoubleEditTl", 30.0},
        {"RtDoubleEditPsO2", 0.21},
        {"RtDoubleEditFGpO2", 0.21},
        {"RtDoubleEditCTO", 0},
        {"RtDoubleEditFGfl", 0},
        {"RtDoubleEditRCDuration", 300.0},
        {"RtDoubleEditRCThreshold", 0.05},
        {"RtDoubleEditRCCurrentFloor", 0.05},
        {"RtDoubleEditDataPointLength", 10.0},
        {"RtIntegerEditFastModeCount", 20},
    };
    for (const auto& [name, value] : fresh) {
        auto* box = page.findChild<TRtDoubleEdit*>(name);
        ASSERT_NE(box, nullptr) << name;
        EXPECT_DOUBLE_EQ(box->Value(), value) << name;
    }
    for (const char* name : {"RtDoubleEditVs", "RtDoubleEditn0", "RtDoubleEditnO0", "RtDoubleEditmO0",
                             "RtDoubleEditmM", "RtDoubleEditVhp"})
        EXPECT_TRUE(page.findChild<TRtDoubleEdit*>(name)->isReadOnly()) << name;
    for (const char* name : {"EditSampleName", "EditSampleFormula", "EditSensorID"})
        EXPECT_EQ(page.findChild<QLineEdit*>(name)->text(), "") << name;
    EXPECT_FALSE(page.CheckBoxRCI->isChecked());
    EXPECT_TRUE(page.CheckBoxFastMode->isChecked());
    EXPECT_EQ(page.findChild<QPlainTextEdit*>("MemoNotes")->toPlainText(), "Example values\nExample notes");
    for (const char* name : {"ButtonLoadCell", "ButtonSaveCellAs", "ButtonLoadSample", "ButtonSaveSample"})
        EXPECT_NE(page.findChild<QWidget*>(name), nullptr) << name;
}

// The sensor calibration reaches the run when the operator applies it, not key by key: "1e9" on
// its way would otherwise run the cell on Ax = 1, and an entry beyond the box's range is refused.
TEST_F(ExperimentData, TheSensorCalibrationTakesEffectOnEnter) {
    TExperimentDataPage page;
    TRunState run;
    TExperimentModel model(run);
    page.Attach(model);
    page.RtDoubleEditSensorAx->clear();
    QTest::keyClicks(page.RtDoubleEditSensorAx, QStringLiteral("1e4"));
    EXPECT_DOUBLE_EQ(run.SensorAx, 0) << "nothing on the way";
    QTest::keyClick(page.RtDoubleEditSensorAx, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(run.SensorAx, 1e4);
    page.RtDoubleEditSensorAx->selectAll();
    QTest::keyClicks(page.RtDoubleEditSensorAx, QStringLiteral("1e9"));
    QTest::keyClick(page.RtDoubleEditSensorAx, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(run.SensorAx, 1e4) << "out of range: refused";
    EXPECT_TRUE(page.RtDoubleEditSensorAx->Marked());
    EXPECT_DOUBLE_EQ(run.SensorBx, 0) << "only the box typed into is copied";
    page.RtDoubleEditSensorBx->clear();
    QTest::keyClicks(page.RtDoubleEditSensorBx, QStringLiteral("2.25"));
    QTest::keyClick(page.RtDoubleEditSensorBx, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(run.SensorBx, 2.25);
    EXPECT_DOUBLE_EQ(run.SensorAx, 1e4);
}

// --- Cell and sample files --------------------------------------------------------------------

TEST_F(ExperimentData, FilesRoundTripInPointAndCommaLocales) {
    const struct {
        QLocale locale;
        const char* axLine;
    } locales[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), "Ax=-0.0123"},
        {QLocale(QLocale::German, QLocale::Germany), "Ax=-0,0123"},
    };
    for (const auto& l : locales) {
        SCOPED_TRACE(l.locale.name().toStdString());
        SetRegionalLocale(l.locale);
        const QString cellFile = folder.file("Cell/round trip.ini");
        const QString sampleFile = folder.file("Sample/round trip.ini");
        QFile::remove(cellFile);
        QFile::remove(sampleFile);
        {
            TExperimentDataPage page;
            Put(page, SomeCell());
            page.SaveCellDetails(cellFile);
            Put(page, SomeSample());
            page.SaveSampleDetails(sampleFile);
        }
        EXPECT_TRUE(ReadFile(cellFile).contains(l.axLine)) << ReadFile(cellFile).toStdString();
        EXPECT_TRUE(ReadFile(cellFile).contains("\nDuration seconds=600\n"));
        EXPECT_TRUE(ReadFile(cellFile).contains("\nCurrent floor microamperes="));

        TExperimentDataPage page;
        page.LoadCellDetails(cellFile);
        ExpectCell(page.CellDetails(), SomeCell());
        page.LoadSampleDetails(sampleFile);
        ExpectSample(page.SampleDetails(), SomeSample());
        const TSampleValues v = CalculateSampleValues(SomeSample(), SomeCell().Vhpws);
        EXPECT_DOUBLE_EQ(page.RtDoubleEditmM->Value(), v.mM) << "derived values follow the loaded sample";
        EXPECT_DOUBLE_EQ(page.RtDoubleEditVhp->Value(), v.Vhp);
    }
    EXPECT_TRUE(dialogs->messages.isEmpty());
}

TEST_F(ExperimentData, WindowsWrittenFilesLoad) {
    // CR LF, cp1252 text (µ = B5, º = BA, € = 80) and comma decimals, read under a point locale;
    // the sample file went through an editor that added a byte-order mark.
    const QString cellFile =
        WriteFile("Cell/lab.ini", "[ZEVO]\r\nSerial=Z\xB5-12 \xBA \x80\r\nAx=-0,0123\r\n"
                                  "Bx=1,5E-7\r\n\r\n[Cell]\r\nVhpws=0,0155\r\nVhp=0,0155\r\n"
                                  "Vgp=0,004\r\nTl=28,5\r\nPsO2=0,2095\r\nFGpO2=0,01\r\n"
                                  "FGfl=12,5\r\nCTO=850\r\n[RelativeChange]\r\n"
                                  "Duration seconds=600\r\nThreshold percentage=0,025\r\n"
                                  "Applies to Current=1\r\n[Datapoint integration]\r\n"
                                  "Duration seconds=2,5\r\n[FastMode]\r\nEnabled=1\r\n"
                                  "Count=7\r\n");
    const QString sampleFile =
        WriteFile("Sample/lab.ini", "\xEF\xBB\xBF[Sample]\r\nName____________=Run \xBA"
                                    "5\r\nFormula_________=CeO2\r\n"
                                    "bs__g_per_mol___=2\r\nM___g_per_mol___=172,115\r\n"
                                    "b0__mol_per_mol_=1,98\r\nM0__g_per_mol___=171,8\r\n"
                                    "d___g_per_cm3___=7,2\r\nm0__g___________=0,75\r\n");
    TExperimentDataPage page;
    page.LoadCellDetails(cellFile);
    TCellDetails expected = SomeCell();
    expected.SensorID = QStringLiteral("Zµ-12 º €");
    expected.CurrentFloorMicroA = 0.05; // a file from before the current's floor reads its default
    ExpectCell(page.CellDetails(), expected);

    page.LoadSampleDetails(sampleFile);
    TSampleDetails s;
    s.Name = QStringLiteral("Run º5");
    s.Formula = QStringLiteral("CeO2");
    s.bs = 2;
    s.M = 172.115;
    s.b0 = 1.98;
    s.M0 = 171.8;
    s.d = 7.2;
    s.m0 = 0.75;
    ExpectSample(page.SampleDetails(), s);
}

TEST_F(ExperimentData, SavingKeepsWhatElseTheFileHolds) {
    const QString cellFile = WriteFile("Cell/kept.ini", "[Cell]\r\nVhpws=1\r\nNote=calibrated by J\xF6rg\r\n"
                                                        "[Furnace]\r\nModel=HT 1600\r\n");
    TExperimentDataPage page;
    page.SaveCellDetails(cellFile);
    const QByteArray text = ReadFile(cellFile);
    EXPECT_TRUE(text.contains("Note=calibrated by J\xF6rg")) << "kept byte for byte";
    EXPECT_TRUE(text.contains("[Furnace]"));
    EXPECT_TRUE(text.contains("Model=HT 1600"));
    EXPECT_TRUE(text.contains("Vhpws=0.012"));
}

TEST_F(ExperimentData, MissingOrUnreadableKeysGiveTheReadingDefaults) {
    // No "ZEVO" section at all, and values that are empty or not numbers.
    const QString cellFile = WriteFile("Cell/sparse.ini", "[Cell]\nVgp=\nTl=warm\nCTO=12abc\n"
                                                          "[FastMode]\nEnabled=yes\nCount=12.5\n");
    TExperimentDataPage page;
    Put(page, SomeCell());
    page.LoadCellDetails(cellFile);
    // Five of these differ from a fresh page: sensor ID, relative-change duration and threshold,
    // fast mode and its count.
    ExpectCell(page.CellDetails(), TCellDetails());
    EXPECT_EQ(page.EditSensorID->text(), "Undefined");

    // Booleans take any non-zero integer as true.
    page.LoadCellDetails(WriteFile("Cell/bool.ini", "[FastMode]\nEnabled=-1\n[RelativeChange]\n"
                                                    "Applies to Current=2\n"));
    EXPECT_TRUE(page.CheckBoxFastMode->isChecked());
    EXPECT_TRUE(page.CheckBoxRCI->isChecked());
}

TEST_F(ExperimentData, OutOfRangeValuesLoadTheNearestLimitAndAreReported) {
    struct TCase {
        const char* section;
        const char* key;
        const char* text;
        std::function<double(const TExperimentDataPage&)> value;
        double loaded;
        const char* report; // empty: nothing to correct
    };
    const auto dataPoint = [](const TExperimentDataPage& p) {
        return p.RtDoubleEditDataPointLength->Value();
    };
    const auto rcDuration = [](const TExperimentDataPage& p) { return p.RtDoubleEditRCDuration->Value(); };
    const auto fastCount = [](const TExperimentDataPage& p) {
        return double(p.RtIntegerEditFastModeCount->IntValue());
    };
    const TCase cases[] = {
        {"Datapoint integration", "Duration seconds", "0", dataPoint, 0.1,
         "[Datapoint integration] Duration seconds (0 -> 0.1)"},
        {"Datapoint integration", "Duration seconds", "-5", dataPoint, 0.1,
         "[Datapoint integration] Duration seconds (-5 -> 0.1)"},
        {"Datapoint integration", "Duration seconds", "1e300", dataPoint, 86400,
         "[Datapoint integration] Duration seconds (1E300 -> 86400)"},
        {"Datapoint integration", "Duration seconds", "0.1", dataPoint, 0.1, ""},
        {"RelativeChange", "Duration seconds", "-5", rcDuration, 1,
         "[RelativeChange] Duration seconds (-5 -> 1)"},
        {"RelativeChange", "Threshold percentage", "0",
         [](const TExperimentDataPage& p) { return p.RtDoubleEditRCThreshold->Value(); }, 1e-6,
         "[RelativeChange] Threshold percentage (0 -> 1E-6)"},
        {"FastMode", "Count", "-5", fastCount, 2, "[FastMode] Count (-5 -> 2)"},
        {"FastMode", "Count", "0", fastCount, 2, "[FastMode] Count (0 -> 2)"},
        {"FastMode", "Count", "1e300", fastCount, 10, ""}, // not an integer: the reading default
        {"Cell", "Vhpws", "-0.012", [](const TExperimentDataPage& p) { return p.RtDoubleEditVHPS->Value(); },
         0, "[Cell] Vhpws (-0.012 -> 0)"},
        {"Cell", "FGpO2", "0", [](const TExperimentDataPage& p) { return p.RtDoubleEditFGpO2->Value(); },
         1e-30, "[Cell] FGpO2 (0 -> 1E-30)"},
        {"Cell", "Tl", "-500", [](const TExperimentDataPage& p) { return p.RtDoubleEditTl->Value(); },
         -273.15, "[Cell] Tl (-500 -> -273.15)"},
        {"ZEVO", "Bx", "1e300", [](const TExperimentDataPage& p) { return p.RtDoubleEditSensorBx->Value(); },
         100, "[ZEVO] Bx (1E300 -> 100)"},
        {"Cell", "CTO", "700", [](const TExperimentDataPage& p) { return p.RtDoubleEditCTO->Value(); }, 700,
         ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(QStringLiteral("[%1] %2=%3").arg(c.section, c.key, c.text).toStdString());
        const QString file =
            WriteFile(QStringLiteral("Cell/range.ini"),
                      QStringLiteral("[%1]\n%2=%3\n").arg(c.section, c.key, c.text).toUtf8());
        TExperimentDataPage page;
        dialogs->messages.clear();
        page.LoadCellDetails(file);
        EXPECT_DOUBLE_EQ(c.value(page), c.loaded);
        if (*c.report)
            EXPECT_EQ(dialogs->messages,
                      QStringList{QStringLiteral("Corrected out-of-range values in '%1': %2")
                                      .arg(QDir::toNativeSeparators(file), c.report)});
        else
            EXPECT_TRUE(dialogs->messages.isEmpty()) << dialogs->messages.join(u'\n').toStdString();
    }

    // Several keys of a cell file and of a sample file: one message each, naming every key.
    TExperimentDataPage page;
    dialogs->messages.clear();
    page.LoadCellDetails(WriteFile(QStringLiteral("Cell/several.ini"),
                                   "[RelativeChange]\nDuration seconds=0\n[Datapoint integration]\n"
                                   "Duration seconds=-5\n[FastMode]\nCount=-1\n"));
    page.LoadSampleDetails(WriteFile(QStringLiteral("Sample/several.ini"),
                                     "[Sample]\nd___g_per_cm3___=-6.3\nm0__g___________=1e300\n"));
    ASSERT_EQ(dialogs->messages.size(), 2);
    EXPECT_TRUE(dialogs->messages[0].endsWith(
        QStringLiteral("several.ini': [RelativeChange] Duration seconds (0 -> 1), "
                       "[Datapoint integration] Duration seconds (-5 -> 0.1), [FastMode] Count (-1 -> 2)")))
        << dialogs->messages[0].toStdString();
    EXPECT_TRUE(dialogs->messages[1].endsWith(
        QStringLiteral("several.ini': d___g_per_cm3___ (-6.3 -> 0), m0__g___________ (1E300 -> 1000)")))
        << dialogs->messages[1].toStdString();
    EXPECT_DOUBLE_EQ(page.RtDoubleEditmass0->Value(), 1000);
}

TEST_F(ExperimentData, AMissingCellFileChangesNothing) {
    TExperimentDataPage page;
    Put(page, SomeCell());
    page.LoadCellDetails(folder.file("Cell/none.ini"));
    ExpectCell(page.CellDetails(), SomeCell());
}

TEST_F(ExperimentData, AMissingSampleFileGivesEmptyTextsAndZeros) {
    TExperimentDataPage page;
    Put(page, SomeSample());
    page.LoadSampleDetails(folder.file("Sample/none.ini"));
    ExpectSample(page.SampleDetails(), TSampleDetails());
    EXPECT_DOUBLE_EQ(page.RtDoubleEditmass0->Value(), 0) << "unlike the fresh page's 1 g";
    EXPECT_DOUBLE_EQ(page.RtDoubleEditmM->Value(), 0);
    EXPECT_DOUBLE_EQ(page.RtDoubleEditVhp->Value(), page.RtDoubleEditVHPS->Value());
}

TEST_F(ExperimentData, VhpIsRecomputedFromVhpwsAndTheSample) {
    TExperimentDataPage page;
    Put(page, SomeSample());
    page.RtDoubleEditmass0->SetValue(1);
    page.RtDoubleEditd->SetValue(5);
    page.LoadCellDetails(WriteFile("Cell/vhp.ini", "[Cell]\nVhpws=0.02\nVhp=0.5\n"));
    EXPECT_NEAR(page.RtDoubleEditVhp->Value(), 0.0198, 1e-15);
}

TEST_F(ExperimentData, AFailedSaveIsReported) {
    TExperimentDataPage page;
    const QString nowhere = folder.file("No such folder/Default.ini");
    page.SaveCellDetails(nowhere);
    page.SaveSampleDetails(nowhere);
    EXPECT_FALSE(QFile::exists(nowhere));
    const QString text = QStringLiteral("Could not save '%1': No such file or directory")
                             .arg(QDir::toNativeSeparators(nowhere));
    EXPECT_EQ(dialogs->messages, QStringList({text, text}));
}

// --- Buttons and their dialogs ------------------------------------------------------------------

TEST_F(ExperimentData, SaveDialogsProposeANameInTheirFolder) {
    const struct {
        const char* id;
        const char* proposed;
    } cases[] = {
        {"A12", "Cell calibration A12.ini"},
        {"", "Cell calibration .ini"},
        {"../A/12", "Cell calibration .._A_12.ini"}, // stays inside the Cell folder
    };
    TExperimentDataPage page;
    for (const auto& c : cases) {
        dialogs->calls.clear();
        page.EditSensorID->setText(QString::fromUtf8(c.id));
        page.ButtonSaveCellAs->click();
        ASSERT_EQ(dialogs->calls.size(), 1);
        EXPECT_EQ(dialogs->calls[0].kind, "save");
        EXPECT_EQ(dialogs->calls[0].folder,
                  QDir(folder.file("Cell")).filePath(QString::fromUtf8(c.proposed)));
        EXPECT_EQ(dialogs->calls[0].filter, "Ini file (*.ini)");
    }

    dialogs->calls.clear();
    page.EditSampleName->setText(QStringLiteral("LSCF run 3"));
    page.ButtonSaveSample->click();
    ASSERT_EQ(dialogs->calls.size(), 1);
    EXPECT_EQ(dialogs->calls[0].folder, QDir(folder.file("Sample")).filePath("LSCF run 3.ini"));
    EXPECT_TRUE(QDir(folder.file("Cell")).isEmpty() && QDir(folder.file("Sample")).isEmpty())
        << "every dialog was cancelled";
}

TEST_F(ExperimentData, ButtonsLoadAndSaveTheChosenFiles) {
    const QString cellFile = folder.file("Cell/chosen.ini");
    const QString sampleFile = folder.file("Sample/chosen.ini");
    {
        TExperimentDataPage page;
        Put(page, SomeCell());
        Put(page, SomeSample());
        dialogs->fileNames = {cellFile, sampleFile};
        page.ButtonSaveCellAs->click();
        page.ButtonSaveSample->click();
    }
    TExperimentDataPage page;
    dialogs->calls.clear();
    dialogs->fileNames = {cellFile, sampleFile};
    page.ButtonLoadCell->click();
    page.ButtonLoadSample->click();
    ExpectCell(page.CellDetails(), SomeCellWithSample());
    ExpectSample(page.SampleDetails(), SomeSample());
    ASSERT_EQ(dialogs->calls.size(), 2);
    EXPECT_EQ(dialogs->calls[0].kind, "open");
    EXPECT_EQ(dialogs->calls[0].folder, ProgramPath("Cell"));
    EXPECT_EQ(dialogs->calls[1].folder, ProgramPath("Sample"));
    EXPECT_EQ(dialogs->calls[1].filter, "Ini file (*.ini)");
}

TEST_F(ExperimentData, AFileThatIsNotACellOrSampleFileChangesNothingAndIsReported) {
    auto events = std::make_shared<TEventLog>(folder.file(QStringLiteral("Logs")));
    InstallEventLog(events);
    QByteArray noise(2048, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919 + 13) % 251);
    const struct {
        const char* name;
        QByteArray bytes;
    } junk[] = {
        {"random bytes", noise},
        {"an HTML page", "<html><body><h1>Not Found</h1></body></html>\r\n"},
        {"an INI file of other sections", "[Monitor]\r\nEnabled=1\r\nPort=8080\r\n"},
        {"an empty file", QByteArray()},
    };
    TExperimentDataPage page;
    Put(page, SomeCell());
    Put(page, SomeSample());
    TRunState run;
    TExperimentModel model(run);
    page.Attach(model);
    run.SensorAx = 0.5;
    for (const auto& j : junk) {
        SCOPED_TRACE(j.name);
        const QString cellFile = WriteFile("Cell/junk.ini", j.bytes);
        const QString sampleFile = WriteFile("Sample/junk.ini", j.bytes);
        dialogs->messages.clear();
        const qsizetype firstEvent = EventLogLinesOfThisRun().size();
        dialogs->fileNames = {cellFile, sampleFile};
        page.ButtonLoadCell->click();
        page.ButtonLoadSample->click();
        EXPECT_TRUE(dialogs->messages.isEmpty()) << "no box while the handler runs: at start-up it would "
                                                    "hold the start";
        QCoreApplication::processEvents();
        // Not one box moved to a reading default: the relative-change criterion, fast mode and
        // the sensor calibration stay as they were.
        ExpectCell(page.CellDetails(), SomeCellWithSample());
        ExpectSample(page.SampleDetails(), SomeSample());
        EXPECT_DOUBLE_EQ(run.SensorAx, 0.5);
        ASSERT_EQ(dialogs->messages.size(), 2) << dialogs->messages.join(u'\n').toStdString();
        EXPECT_TRUE(dialogs->messages[0].startsWith(
            QStringLiteral("'%1' is not a cell details file: ").arg(QDir::toNativeSeparators(cellFile))))
            << dialogs->messages[0].toStdString();
        EXPECT_TRUE(dialogs->messages[1].startsWith(
            QStringLiteral("'%1' is not a sample details file: ").arg(QDir::toNativeSeparators(sampleFile))))
            << dialogs->messages[1].toStdString();
        // The event log keeps both: at start-up the default files load before anybody looks.
        const QStringList lines = EventLogLinesOfThisRun(firstEvent);
        ASSERT_EQ(lines.size(), 2);
        EXPECT_EQ(lines[0].section(u'\t', 1), "Cell\t" + dialogs->messages[0]);
        EXPECT_EQ(lines[1].section(u'\t', 1), "Sample\t" + dialogs->messages[1]);
    }
    InstallEventLog(nullptr);
}

TEST_F(ExperimentData, CancellingALoadDialogChangesNothing) {
    TExperimentDataPage page;
    Put(page, SomeCell());
    Put(page, SomeSample());
    page.ButtonLoadCell->click();
    page.ButtonLoadSample->click();
    EXPECT_EQ(dialogs->calls.size(), 2);
    ExpectCell(page.CellDetails(), SomeCellWithSample());
    ExpectSample(page.SampleDetails(), SomeSample());
}

} // namespace
