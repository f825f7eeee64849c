#include "app/ExperimentSave.h"

#include "app/ExperimentDataPage.h"
#include "app/TRtDoubleEdit.h"
#include "common/Clock.h"
#include "common/Locale.h"
#include "diagnostics/EventLog.h"
#include "experiment/TExperimentModel.h"
#include "recording/TDataGridModel.h"
#include "tests/support/QtPrint.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <gtest/gtest.h>
#include <memory>

namespace {

class ExperimentSaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetRegionalLocale(QLocale::c());
        QDir(folder.path()).mkdir(QStringLiteral("Userdata"));
        dialogs = std::make_shared<TScriptedDialogs>();
        SetDialogs(dialogs);
        grid.FormatGrid();
        InstallEventLog(std::make_shared<TEventLog>(folder.file(QStringLiteral("Logs"))));
    }
    void TearDown() override {
        InstallEventLog(nullptr);
        SetDialogs(nullptr);
        Clock::Release();
    }
    TSaveResult SaveAt(TDateTime t, const QString& name = QStringLiteral("Exp")) {
        Clock::Fix(t);
        TExperimentFileRecord record;
        record.Sample.Name = name;
        record.Grid = &grid.Grid();
        return SaveExperiment(run, record, [this](const QString& c) { captions << c; });
    }
    QString Userdata(const QString& rel) const { return folder.file(QStringLiteral("Userdata/") + rel); }

    TTempProgramFolder folder;
    std::shared_ptr<TScriptedDialogs> dialogs;
    TRunState run;
    TDataGridModel grid;
    QStringList captions;
};

TEST_F(ExperimentSaveTest, NumberingAcrossDaysAndNames) {
    const TDateTime late = EncodeDateTime(2024, 3, 15, 23, 59);
    ASSERT_TRUE(SaveAt(late).Ok());
    EXPECT_EQ(run.LastSaveTime, late);
    ASSERT_TRUE(SaveAt(EncodeDateTime(2024, 3, 16, 0, 1)).Ok());
    ASSERT_TRUE(SaveAt(EncodeDateTime(2024, 3, 16, 0, 2), QString()).Ok());
    EXPECT_TRUE(QFile::exists(Userdata("2024-03-15/Exp_0001.csv")));
    EXPECT_TRUE(QFile::exists(Userdata("2024-03-16/Exp_0002.csv")));
    EXPECT_TRUE(QFile::exists(Userdata("2024-03-16/_0003.csv")));
    EXPECT_EQ(run.SaveFileNumber, 4);
    EXPECT_TRUE(captions.isEmpty());
    EXPECT_TRUE(dialogs->messages.isEmpty());
    const QStringList events = EventLogLinesOfThisRun();
    ASSERT_EQ(events.size(), 3);
    EXPECT_TRUE(events[0].startsWith(QStringLiteral("2024-03-15 23:59:00.000\tSave\twrote ")));
    EXPECT_TRUE(events[0].endsWith(QDir::toNativeSeparators(QStringLiteral("2024-03-15/Exp_0001.csv"))));
}

// A restart numbers from 0001 again; the files an earlier run wrote that day stay as they were.
TEST_F(ExperimentSaveTest, ARestartNeverReplacesAnEarlierRunsFile) {
    ASSERT_TRUE(QDir().mkpath(Userdata("2024-03-15")));
    for (const char* name : {"2024-03-15/Exp_0001.csv", "2024-03-15/Exp_0002.csv"}) {
        QFile earlier(Userdata(name));
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier run");
    }
    const TSaveResult r = SaveAt(EncodeDateTime(2024, 3, 15, 10, 0));
    ASSERT_TRUE(r.Ok());
    EXPECT_EQ(QFileInfo(r.FilePath).fileName(), QStringLiteral("Exp_0003.csv"));
    EXPECT_EQ(run.SaveFileNumber, 4);
    QFile earlier(Userdata("2024-03-15/Exp_0001.csv"));
    ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
    EXPECT_EQ(earlier.readAll(), QByteArray("earlier run"));
}

TEST_F(ExperimentSaveTest, FailuresLeaveTheNumberAndTellTheOperator) {
    const TDateTime t = EncodeDateTime(2024, 3, 15, 10, 0);
    const QString notice = QStringLiteral(
        "Autosave has failed, Check available space etc. and save data manually before closing the program");

    // The day folder can't be made: a file has its name.
    {
        QFile blocker(Userdata("2024-03-15"));
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(SaveAt(t).Status, TSaveStatus::DayFolderFailed);
    EXPECT_EQ(captions, QStringList{notice});
    EXPECT_TRUE(dialogs->messages.isEmpty());
    EXPECT_EQ(run.LastSaveTime, t); // set before the failure: retried after another 30 minutes
    EXPECT_EQ(run.SaveFileNumber, 1);

    // The file can't be written: a folder has its name.
    QFile::remove(Userdata("2024-03-15"));
    ASSERT_TRUE(QDir().mkpath(Userdata("2024-03-15/Exp_0001.csv")));
    EXPECT_EQ(SaveAt(t).Status, TSaveStatus::WriteFailed);
    ASSERT_EQ(dialogs->messages.size(), 1);
    EXPECT_TRUE(dialogs->messages[0].contains(QStringLiteral("Exp_0001.csv")));
    EXPECT_EQ(run.SaveFileNumber, 1);

    // A name that would leave the day folder.
    EXPECT_EQ(SaveAt(t, QStringLiteral("../../Exp")).Status, TSaveStatus::NameRefused);
    EXPECT_EQ(dialogs->messages.size(), 2);
    EXPECT_EQ(run.SaveFileNumber, 1);
    EXPECT_EQ(captions.size(), 1);
    EXPECT_FALSE(QFile::exists(folder.file(QStringLiteral("Exp_0001.csv"))));
    // Each failure is in the event log with its reason.
    const QStringList events = EventLogLinesOfThisRun();
    ASSERT_EQ(events.size(), 3);
    EXPECT_TRUE(events[0].contains(QStringLiteral("\tSave\tfailed: ") + notice));
    EXPECT_TRUE(events[1].contains(QStringLiteral("\tSave\tfailed: ") + dialogs->messages[0]));
    EXPECT_TRUE(events[2].contains(QStringLiteral("\tSave\tfailed: ") + dialogs->messages[1]));
}

TEST_F(ExperimentSaveTest, RecordTakesEachBoxOfThePage) {
    TExperimentDataPage page;
    TExperimentModel model(run);
    page.Attach(model);
    using TField = double (*)(const TExperimentFileRecord&);
    const struct {
        TRtDoubleEdit* box;
        TField field;
    } inputs[] = {
        {page.RtDoubleEditbs, [](const TExperimentFileRecord& r) { return r.Sample.bs; }},
        {page.RtDoubleEditM, [](const TExperimentFileRecord& r) { return r.Sample.M; }},
        {page.RtDoubleEditb0, [](const TExperimentFileRecord& r) { return r.Sample.b0; }},
        {page.RtDoubleEditM0, [](const TExperimentFileRecord& r) { return r.Sample.M0; }},
        {page.RtDoubleEditd, [](const TExperimentFileRecord& r) { return r.Sample.d; }},
        {page.RtDoubleEditmass0, [](const TExperimentFileRecord& r) { return r.Sample.m0; }},
        {page.RtDoubleEditVHPS, [](const TExperimentFileRecord& r) { return r.Cell.Vhpws; }},
        {page.RtDoubleEditVgp, [](const TExperimentFileRecord& r) { return r.Cell.Vgp; }},
        {page.RtDoubleEditTl, [](const TExperimentFileRecord& r) { return r.Cell.Tl; }},
        {page.RtDoubleEditPsO2, [](const TExperimentFileRecord& r) { return r.Cell.PsO2; }},
        {page.RtDoubleEditFGpO2, [](const TExperimentFileRecord& r) { return r.Cell.FGpO2; }},
        {page.RtDoubleEditCTO, [](const TExperimentFileRecord& r) { return r.Cell.CTO; }},
        {page.RtDoubleEditFGfl, [](const TExperimentFileRecord& r) { return r.Cell.FGfl; }},
        {page.RtDoubleEditSensorAx, [](const TExperimentFileRecord& r) { return r.Cell.SensorAx; }},
        {page.RtDoubleEditSensorBx, [](const TExperimentFileRecord& r) { return r.Cell.SensorBx; }},
        {page.RtDoubleEditRCDuration, [](const TExperimentFileRecord& r) { return r.Cell.RCDuration; }},
        {page.RtDoubleEditRCThreshold, [](const TExperimentFileRecord& r) { return r.Cell.RCThreshold; }},
        {page.RtDoubleEditDataPointLength,
         [](const TExperimentFileRecord& r) { return r.Cell.DataPointLength; }},
    };
    // Derived from the inputs: the page shows what the record holds.
    const struct {
        TRtDoubleEdit* box;
        TField field;
    } derived[] = {
        {page.RtDoubleEditVs, [](const TExperimentFileRecord& r) { return r.Values.Vs; }},
        {page.RtDoubleEditn0, [](const TExperimentFileRecord& r) { return r.Values.n0; }},
        {page.RtDoubleEditnO0, [](const TExperimentFileRecord& r) { return r.Values.nO0; }},
        {page.RtDoubleEditmO0, [](const TExperimentFileRecord& r) { return r.Values.mO0; }},
        {page.RtDoubleEditmM, [](const TExperimentFileRecord& r) { return r.Values.mM; }},
        {page.RtDoubleEditVhp, [](const TExperimentFileRecord& r) { return r.Cell.Vhp; }},
    };
    // Values the boxes' ranges allow, each different from the others.
    double v = 0.5;
    for (const auto& b : inputs) {
        b.box->SetValue(b.box->LowerLimit() < b.box->UpperLimit() ? b.box->LowerLimit() + v / 100 : 100 + v);
        v += 1;
    }
    page.EditSampleName->setText(QStringLiteral("Name"));
    page.EditSampleFormula->setText(QStringLiteral("Formula"));
    page.EditSensorID->setText(QStringLiteral("Sensor"));
    page.MemoNotes->setPlainText(QStringLiteral("a\nb"));

    const TExperimentFileRecord r = model.FileRecord();
    QList<double> seen;
    for (const auto& b : inputs) {
        SCOPED_TRACE(b.box->objectName().toStdString());
        EXPECT_EQ(b.field(r), b.box->Value());
        EXPECT_FALSE(seen.contains(b.box->Value())); // so a swapped pair would show
        seen << b.box->Value();
    }
    for (const auto& b : derived) {
        SCOPED_TRACE(b.box->objectName().toStdString());
        EXPECT_DOUBLE_EQ(b.field(r), b.box->Value());
        EXPECT_NE(b.field(r), 0);
    }
    EXPECT_EQ(r.Sample.Name, QStringLiteral("Name"));
    EXPECT_EQ(r.Sample.Formula, QStringLiteral("Formula"));
    EXPECT_EQ(r.Cell.SensorID, QStringLiteral("Sensor"));
    EXPECT_EQ(r.Notes, QStringLiteral("a\nb"));
    EXPECT_EQ(r.Grid, &model.Rows().Grid());
    // What the workers and the row builder read follows the page too.
    EXPECT_EQ(run.RCDuration, page.RtDoubleEditRCDuration->Value());
    EXPECT_EQ(run.SensorBx, page.RtDoubleEditSensorBx->Value());
    EXPECT_EQ(model.DataPointLength(), page.RtDoubleEditDataPointLength->Value());
}

} // namespace
