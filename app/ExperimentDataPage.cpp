#include "app/ExperimentDataPage.h"

#include "experiment/InstrumentSettings.h"
#include "experiment/TExperimentModel.h"

#include "app/ExperimentNameValidator.h"
#include "app/TRtDoubleEdit.h"
#include "common/Dialogs.h"
#include "common/NumberFormat.h"
#include "common/ProgramFolder.h"
#include "diagnostics/EventLog.h"
#include "experiment/SampleDetailsFile.h"

#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {
const int kBoxWidth = 90;
const QString kIniFilter = QStringLiteral("Ini file (*.ini)");

// One row of a value table: label, symbol, box and unit; empty texts leave their cell empty.
void AddRow(QGridLayout* grid, const QString& label, const QString& symbol, QWidget* box,
            const QString& unit = QString()) {
    const int row = grid->rowCount();
    auto* caption = new QLabel(label);
    caption->setBuddy(box);
    grid->addWidget(caption, row, 0);
    if (!symbol.isEmpty())
        grid->addWidget(new QLabel(symbol), row, 1);
    grid->addWidget(box, row, 2);
    if (!unit.isEmpty())
        grid->addWidget(new QLabel(unit), row, 3);
}

QGridLayout* ValueGrid(QGroupBox* group) {
    auto* grid = new QGridLayout(group);
    grid->setColumnStretch(0, 1);
    grid->setColumnMinimumWidth(3, 40);
    grid->setVerticalSpacing(4);
    return grid;
}

QPushButton* NewButton(const char* name, const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

// A name the operator typed, made fit to be proposed as a file name inside its folder: characters
// that would lead into another folder or that file systems refuse become underscores.
QString FileNamePart(const QString& text) {
    QString out = text;
    for (QChar& c : out)
        if (c.unicode() < 0x20 || QStringLiteral("\\/:*?\"<>|").contains(c))
            c = u'_';
    return out;
}

void ReportFailedSave(const QString& file, const QString& reason) {
    Dialogs().Message(QStringLiteral("Could not save '%1': %2").arg(QDir::toNativeSeparators(file), reason));
}

// Sets a box to a value read from a file. A value outside the box's limits becomes the nearest
// limit, and "<key> (<read> -> <loaded>)" is added to `corrected`.
void SetFromFile(TRtDoubleEdit* box, double value, const char* key, QStringList& corrected) {
    double loaded = value;
    if (box->LowerLimit() < box->UpperLimit() && !std::isnan(value))
        loaded = std::clamp(value, box->LowerLimit(), box->UpperLimit());
    box->SetValue(loaded);
    if (loaded != value)
        corrected << QStringLiteral("%1 (%2 -> %3)")
                         .arg(QLatin1String(key), FormatGeneral(value), FormatGeneral(loaded));
}

// A file that was not loaded: the event log keeps it at once, and the operator is told as soon as
// the window's event loop runs. At start-up the default files load before the window is up: a box
// shown there would hold the start, and with it the instruments' validation and the set-up that
// puts the pump to 0 A, until somebody came to close it.
void ReportRefusal(QObject* context, const QString& source, const QString& refusal) {
    if (refusal.isEmpty())
        return;
    LogEvent(source, refusal);
    QTimer::singleShot(0, context, [refusal] { Dialogs().Message(refusal); });
}

void ReportCorrections(const QString& file, const QStringList& corrected) {
    if (!corrected.isEmpty())
        Dialogs().Message(QStringLiteral("Corrected out-of-range values in '%1': %2")
                              .arg(QDir::toNativeSeparators(file), corrected.join(QStringLiteral(", "))));
}
} // namespace

TExperimentDataPage::TExperimentDataPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("TabSheetExperimentSetup"));

    // Sample on the left, cell on the right, the notes across the page below both.
    auto* left = new QVBoxLayout;
    left->addWidget(BuildSampleGroup());
    left->addWidget(BuildCalculatedGroup());
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(BuildCellGroup());
    right->addStretch(1);
    auto* page = new QGridLayout(this);
    page->addLayout(left, 0, 0);
    page->addLayout(right, 0, 1);
    page->addWidget(BuildNotesGroup(), 1, 0, 1, 2);
    page->setRowStretch(1, 1);
    page->setColumnStretch(0, 1);
    page->setColumnStretch(1, 1);

    SetPhysicalLimits();
    for (TRtDoubleEdit* box :
         {RtDoubleEditb0, RtDoubleEditM0, RtDoubleEditd, RtDoubleEditM, RtDoubleEditbs, RtDoubleEditmass0,
          RtDoubleEditSensorBx, RtDoubleEditSensorAx, RtDoubleEditVHPS, RtDoubleEditVgp, RtDoubleEditTl,
          RtDoubleEditPsO2, RtDoubleEditFGpO2, RtDoubleEditCTO, RtDoubleEditFGfl})
        connect(box, &TRtDoubleEdit::valueChanged, this, &TExperimentDataPage::RtDoubleEditbsValueChanged);
    connect(RtDoubleEditSensorAx, &TRtDoubleEdit::keyReleased, this,
            &TExperimentDataPage::RtDoubleEditSensorAxKeyUp);
    connect(RtDoubleEditSensorBx, &TRtDoubleEdit::keyReleased, this,
            &TExperimentDataPage::RtDoubleEditSensorBxKeyUp);
    connect(ButtonLoadCell, &QPushButton::clicked, this, &TExperimentDataPage::ButtonLoadCellClick);
    connect(ButtonSaveCellAs, &QPushButton::clicked, this, &TExperimentDataPage::ButtonSaveCellAsClick);
    connect(ButtonLoadSample, &QPushButton::clicked, this, &TExperimentDataPage::ButtonLoadSampleClick);
    connect(ButtonSaveSample, &QPushButton::clicked, this, &TExperimentDataPage::ButtonSaveSampleClick);

    // Every input, derived boxes included, tells the experiment its details changed.
    for (TRtDoubleEdit* box : findChildren<TRtDoubleEdit*>())
        connect(box, &TRtDoubleEdit::valueChanged, this, &TExperimentDataPage::detailsEdited);
    for (QLineEdit* box : {EditSampleName, EditSampleFormula, EditSensorID})
        connect(box, &QLineEdit::textChanged, this, &TExperimentDataPage::detailsEdited);
    for (QCheckBox* box : {CheckBoxRCI, CheckBoxFastMode})
        connect(box, &QCheckBox::toggled, this, &TExperimentDataPage::detailsEdited);
    connect(MemoNotes, &QPlainTextEdit::textChanged, this, &TExperimentDataPage::detailsEdited);

    // The derived boxes show the values that belong to the fresh inputs.
    SampleCalculations();
}

void TExperimentDataPage::SetPhysicalLimits() {
    // Every input holds a value that makes physical sense, so neither a typing slip nor a file
    // from elsewhere can stall the measurement (a data point that never completes, a relative
    // change over no time) or divide by zero. Zero stays allowed where it means "not given".
    const double kAbsoluteZeroC = -273.15;
    const struct {
        TRtDoubleEdit* box;
        double lower, upper;
    } limits[] = {
        {RtDoubleEditbs, 0, 1000},                 // mol O per mol of compound
        {RtDoubleEditM, 0, 1e6},                   // g/mol
        {RtDoubleEditb0, 0, 1000},                 // mol/mol
        {RtDoubleEditM0, 0, 1e6},                  // g/mol
        {RtDoubleEditd, 0, 100},                   // g/cm^3; the densest element is 22.6
        {RtDoubleEditmass0, 0, 1000},              // g
        {RtDoubleEditSensorAx, -1e5, 1e5},         // K
        {RtDoubleEditSensorBx, -100, 100},         // exp(-Bx) stays a finite number
        {RtDoubleEditVHPS, 0, 10},                 // L
        {RtDoubleEditVgp, 0, 10},                  // L
        {RtDoubleEditTl, kAbsoluteZeroC, 1800},    // degC
        {RtDoubleEditPsO2, 0, 100},                // bar
        {RtDoubleEditFGpO2, 1e-30, 100},           // the cell-side pO2 is a multiple of it
        {RtDoubleEditCTO, kAbsoluteZeroC, 1800},   // degC; 0 (no override) stays possible
        {RtDoubleEditFGfl, 0, 1e5},                // mln/min
        {RtDoubleEditRCDuration, 1, 86400},        // s: at least a second, at most a day
        {RtDoubleEditRCThreshold, 1e-6, 1000},     // %: a criterion of zero is never met
        {RtDoubleEditRCCurrentFloor, 0, 5000},     // µA: 0 leaves the relative change alone
        {RtDoubleEditDataPointLength, 0.1, 86400}, // s: 0.1 s to a day
        {RtIntegerEditFastModeCount, 2, 10000},    // cycles: the box has always started at 2
    };
    for (const auto& l : limits)
        l.box->SetLimits(l.lower, l.upper);
}

TRtDoubleEdit* TExperimentDataPage::NewBox(const char* name, double value) {
    auto* box = new TRtDoubleEdit(this, value);
    box->setObjectName(QLatin1String(name));
    box->setFixedWidth(kBoxWidth);
    return box;
}

QGroupBox* TExperimentDataPage::BuildSampleGroup() {
    auto* group = new QGroupBox(QStringLiteral("Initial sample details, saved with experiment data"), this);
    group->setObjectName(QStringLiteral("GroupBoxSample"));
    auto* column = new QVBoxLayout(group);

    auto* names = new QGridLayout;
    EditSampleName = new QLineEdit(group);
    EditSampleName->setObjectName(QStringLiteral("EditSampleName"));
    TExperimentNameValidator::Install(EditSampleName);
    EditSampleFormula = new QLineEdit(group);
    EditSampleFormula->setObjectName(QStringLiteral("EditSampleFormula"));
    names->addWidget(new QLabel(QStringLiteral("Experiment name")), 0, 0);
    names->addWidget(EditSampleName, 0, 1);
    names->addWidget(new QLabel(QStringLiteral("Nominal formula")), 1, 0);
    names->addWidget(EditSampleFormula, 1, 1);
    column->addLayout(names);

    auto* compound = new QGroupBox(QStringLiteral("Compound"), group);
    compound->setObjectName(QStringLiteral("GroupBoxCompound"));
    auto* grid = ValueGrid(compound);
    RtDoubleEditbs = NewBox("RtDoubleEditbs", 0);
    RtDoubleEditM = NewBox("RtDoubleEditM", 0);
    RtDoubleEditb0 = NewBox("RtDoubleEditb0", 0);
    RtDoubleEditM0 = NewBox("RtDoubleEditM0", 0);
    RtDoubleEditd = NewBox("RtDoubleEditd", 0);
    RtDoubleEditmass0 = NewBox("RtDoubleEditmass0", 1.0);
    AddRow(grid, QStringLiteral("Nominal stoichiometric molar content of oxygen"), QStringLiteral("bs"),
           RtDoubleEditbs, QStringLiteral("g/mol"));
    AddRow(grid, QStringLiteral("Nominal molar mass"), QStringLiteral("M"), RtDoubleEditM,
           QStringLiteral("g/mol"));
    AddRow(grid, QStringLiteral("Initial molar content of oxygen"), QStringLiteral("b0"), RtDoubleEditb0,
           QStringLiteral("mol/mol"));
    AddRow(grid, QStringLiteral("Initial molar mass"), QStringLiteral("M0"), RtDoubleEditM0,
           QStringLiteral("g/mol"));
    AddRow(grid, QStringLiteral("Initial density"), QStringLiteral("d"), RtDoubleEditd,
           QStringLiteral("g/cm^3"));
    AddRow(grid, QStringLiteral("Mass"), QStringLiteral("m0"), RtDoubleEditmass0, QStringLiteral("g"));
    column->addWidget(compound);

    auto* buttons = new QHBoxLayout;
    ButtonLoadSample = NewButton("ButtonLoadSample", QStringLiteral("Load Sample"), group);
    ButtonSaveSample = NewButton("ButtonSaveSample", QStringLiteral("Save Sample"), group);
    buttons->addWidget(ButtonLoadSample);
    buttons->addWidget(ButtonSaveSample);
    buttons->addStretch(1);
    column->addLayout(buttons);
    return group;
}

QGroupBox* TExperimentDataPage::BuildCalculatedGroup() {
    auto* group = new QGroupBox(QStringLiteral("Sample, initial values, calculated"), this);
    group->setObjectName(QStringLiteral("GroupBoxCalculated"));
    auto* grid = ValueGrid(group);
    const auto derived = [this](const char* name) {
        TRtDoubleEdit* box = NewBox(name, 0);
        box->setReadOnly(true);
        box->setFocusPolicy(Qt::ClickFocus); // can be selected and copied, not tabbed into
        return box;
    };
    RtDoubleEditVs = derived("RtDoubleEditVs");
    RtDoubleEditn0 = derived("RtDoubleEditn0");
    RtDoubleEditnO0 = derived("RtDoubleEditnO0");
    RtDoubleEditmO0 = derived("RtDoubleEditmO0");
    RtDoubleEditmM = derived("RtDoubleEditmM");
    AddRow(grid, QStringLiteral("Volume"), QStringLiteral("Vs"), RtDoubleEditVs, QStringLiteral("L"));
    AddRow(grid, QStringLiteral("Moles of compound"), QStringLiteral("n0"), RtDoubleEditn0,
           QStringLiteral("mol"));
    AddRow(grid, QStringLiteral("Moles of oxygen"), QStringLiteral("nO0"), RtDoubleEditnO0,
           QStringLiteral("mol"));
    AddRow(grid, QStringLiteral("Mass of oxygen"), QStringLiteral("mO0"), RtDoubleEditmO0,
           QStringLiteral("g"));
    AddRow(grid, QStringLiteral("Mass of non-oxygen"), QStringLiteral("mM"), RtDoubleEditmM,
           QStringLiteral("g"));
    return group;
}

QGroupBox* TExperimentDataPage::BuildCellGroup() {
    auto* group = new QGroupBox(QStringLiteral("Cell details, saved with experiment data"), this);
    group->setObjectName(QStringLiteral("GroupBoxCell"));
    auto* column = new QVBoxLayout(group);
    auto* grid = new QGridLayout;
    grid->setColumnStretch(0, 1);
    grid->setVerticalSpacing(4);
    column->addLayout(grid);

    EditSensorID = new QLineEdit(group);
    EditSensorID->setObjectName(QStringLiteral("EditSensorID"));
    EditSensorID->setFixedWidth(kBoxWidth);
    RtDoubleEditSensorAx = NewBox("RtDoubleEditSensorAx", 0);
    RtDoubleEditSensorBx = NewBox("RtDoubleEditSensorBx", 0);
    RtDoubleEditVHPS = NewBox("RtDoubleEditVHPS", 0.012);
    RtDoubleEditVhp = NewBox("RtDoubleEditVhp", 0.012);
    RtDoubleEditVhp->setReadOnly(true);
    RtDoubleEditVhp->setFocusPolicy(Qt::ClickFocus);
    RtDoubleEditVgp = NewBox("RtDoubleEditVgp", 0.012);
    RtDoubleEditTl = NewBox("RtDoubleEditTl", 30.0);
    RtDoubleEditPsO2 = NewBox("RtDoubleEditPsO2", 0.21);
    RtDoubleEditFGpO2 = NewBox("RtDoubleEditFGpO2", 0.21);
    RtDoubleEditCTO = NewBox("RtDoubleEditCTO", 0);
    RtDoubleEditFGfl = NewBox("RtDoubleEditFGfl", 0);
    AddRow(grid, QStringLiteral("Sensor ID"), QString(), EditSensorID);
    AddRow(grid, QStringLiteral("Sensor calibration Ax"), QString(), RtDoubleEditSensorAx);
    AddRow(grid, QStringLiteral("Sensor calibration Bx"), QString(), RtDoubleEditSensorBx);
    AddRow(grid, QStringLiteral("Gas volume hot part without sample, Vhpws, L"), QString(), RtDoubleEditVHPS);
    AddRow(grid, QStringLiteral("Gas volume hot part, Vhp, L"), QString(), RtDoubleEditVhp);
    AddRow(grid, QStringLiteral("Gas volume of gradient part, Vgp, L"), QString(), RtDoubleEditVgp);
    AddRow(grid, QStringLiteral("Cold end temperature, Tl, Cº"), QString(), RtDoubleEditTl);
    AddRow(grid, QStringLiteral("Initial partial pressure of oxygen, PsO2, bar"), QString(),
           RtDoubleEditPsO2);
    AddRow(grid, QStringLiteral("Flush gas partial pressure of oxygen, FGpO2"), QString(), RtDoubleEditFGpO2);
    AddRow(grid, QStringLiteral("Cell temperature override, ºC"), QString(), RtDoubleEditCTO);
    AddRow(grid, QStringLiteral("Flush gas flow, FGfl, mln/min"), QString(), RtDoubleEditFGfl);

    auto* rc = new QGroupBox(QStringLiteral("Relative change"), group);
    rc->setObjectName(QStringLiteral("GroupBoxRelativeChange"));
    auto* rcGrid = new QGridLayout(rc);
    rcGrid->setColumnStretch(0, 1);
    RtDoubleEditRCDuration = NewBox("RtDoubleEditRCDuration", 300.0);
    RtDoubleEditRCThreshold = NewBox("RtDoubleEditRCThreshold", 0.05);
    RtDoubleEditRCCurrentFloor = NewBox("RtDoubleEditRCCurrentFloor", TCellDetails().CurrentFloorMicroA);
    CheckBoxRCI = new QCheckBox(QStringLiteral("Applies also to current"), rc);
    CheckBoxRCI->setObjectName(QStringLiteral("CheckBoxRCI"));
    AddRow(rcGrid, QStringLiteral("Duration, s"), QString(), RtDoubleEditRCDuration);
    AddRow(rcGrid, QStringLiteral("Threshold, %"), QString(), RtDoubleEditRCThreshold);
    AddRow(rcGrid, QStringLiteral("Current floor, µA"), QString(), RtDoubleEditRCCurrentFloor);
    RtDoubleEditRCCurrentFloor->setToolTip(
        QStringLiteral("A step program takes the current as stable when its fitted change over the "
                       "duration stays below this, however large its relative change near zero. "
                       "0: the relative change alone decides."));
    rcGrid->addWidget(CheckBoxRCI, rcGrid->rowCount(), 0, 1, 3);
    column->addWidget(rc);

    auto* dp = new QGroupBox(QStringLiteral("Datapoint integration time, s"), group);
    dp->setObjectName(QStringLiteral("GroupBoxDataPointLength"));
    auto* dpRow = new QHBoxLayout(dp);
    RtDoubleEditDataPointLength = NewBox("RtDoubleEditDataPointLength", 10.0);
    dpRow->addStretch(1);
    dpRow->addWidget(RtDoubleEditDataPointLength);
    column->addWidget(dp);

    auto* fast = new QHBoxLayout;
    CheckBoxFastMode = new QCheckBox(QStringLiteral("FastMode:"), group);
    CheckBoxFastMode->setObjectName(QStringLiteral("CheckBoxFastMode"));
    CheckBoxFastMode->setChecked(true);
    RtIntegerEditFastModeCount = new TRtIntegerEdit(group, 20);
    RtIntegerEditFastModeCount->setObjectName(QStringLiteral("RtIntegerEditFastModeCount"));
    RtIntegerEditFastModeCount->setFixedWidth(kBoxWidth);
    fast->setContentsMargins(9, 0, 9, 0);
    fast->addWidget(CheckBoxFastMode);
    fast->addStretch(1);
    fast->addWidget(RtIntegerEditFastModeCount);
    column->addLayout(fast);

    auto* buttons = new QHBoxLayout;
    ButtonLoadCell = NewButton("ButtonLoadCell", QStringLiteral("Load cell details"), group);
    ButtonSaveCellAs = NewButton("ButtonSaveCellAs", QStringLiteral("Save cell as"), group);
    buttons->addWidget(ButtonLoadCell);
    buttons->addWidget(ButtonSaveCellAs);
    buttons->addStretch(1);
    column->addSpacing(6);
    column->addLayout(buttons);
    return group;
}

QGroupBox* TExperimentDataPage::BuildNotesGroup() {
    auto* group =
        new QGroupBox(QStringLiteral("Experiment and sample notes, saved with experiment data"), this);
    group->setObjectName(QStringLiteral("GroupBoxNotes"));
    auto* column = new QVBoxLayout(group);
    MemoNotes = new QPlainTextEdit(group);
    MemoNotes->setObjectName(QStringLiteral("MemoNotes"));
    MemoNotes->setPlainText(QStringLiteral("Example values\nExample notes"));
    column->addWidget(MemoNotes);
    return group;
}

void TExperimentDataPage::Attach(TExperimentModel& model) {
    fRun = &model.Run();
    const auto hand = [this, &model] {
        model.SetDetails(SampleDetails(), CellDetails(), MemoNotes->toPlainText());
    };
    connect(this, &TExperimentDataPage::detailsEdited, &model, hand);
    hand();
}

TCellDetails TExperimentDataPage::CellDetails() const {
    TCellDetails c;
    c.SensorID = EditSensorID->text();
    c.SensorAx = RtDoubleEditSensorAx->Value();
    c.SensorBx = RtDoubleEditSensorBx->Value();
    c.Vhpws = RtDoubleEditVHPS->Value();
    c.Vhp = RtDoubleEditVhp->Value();
    c.Vgp = RtDoubleEditVgp->Value();
    c.Tl = RtDoubleEditTl->Value();
    c.PsO2 = RtDoubleEditPsO2->Value();
    c.FGpO2 = RtDoubleEditFGpO2->Value();
    c.FGfl = RtDoubleEditFGfl->Value();
    c.CTO = RtDoubleEditCTO->Value();
    c.RCDuration = RtDoubleEditRCDuration->Value();
    c.RCThreshold = RtDoubleEditRCThreshold->Value();
    c.RCAppliesToCurrent = CheckBoxRCI->isChecked();
    c.CurrentFloorMicroA = RtDoubleEditRCCurrentFloor->Value();
    c.DataPointLength = RtDoubleEditDataPointLength->Value();
    c.FastMode = CheckBoxFastMode->isChecked();
    c.FastModeCount = RtIntegerEditFastModeCount->IntValue();
    return c;
}

TSampleDetails TExperimentDataPage::SampleDetails() const {
    TSampleDetails s;
    s.Name = EditSampleName->text();
    s.Formula = EditSampleFormula->text();
    s.bs = RtDoubleEditbs->Value();
    s.M = RtDoubleEditM->Value();
    s.b0 = RtDoubleEditb0->Value();
    s.M0 = RtDoubleEditM0->Value();
    s.d = RtDoubleEditd->Value();
    s.m0 = RtDoubleEditmass0->Value();
    return s;
}

bool TExperimentDataPage::LoadCellDetails(const QString& aFile) {
    QString refusal;
    const std::optional<TCellDetails> read = TCellDetailsFile::Read(aFile, refusal);
    if (!read) {
        ReportRefusal(this, QStringLiteral("Cell"), refusal);
        return false;
    }
    const TCellDetails& c = *read;
    // In the order of the file; each box runs its value-changed handler as an edit would, so the
    // Vhp read here is replaced by the derived value as soon as the next box is set.
    QStringList corrected;
    EditSensorID->setText(c.SensorID);
    SetFromFile(RtDoubleEditSensorAx, c.SensorAx, "[ZEVO] Ax", corrected);
    SetFromFile(RtDoubleEditSensorBx, c.SensorBx, "[ZEVO] Bx", corrected);
    SetFromFile(RtDoubleEditVHPS, c.Vhpws, "[Cell] Vhpws", corrected);
    RtDoubleEditVhp->SetValue(c.Vhp);
    SetFromFile(RtDoubleEditVgp, c.Vgp, "[Cell] Vgp", corrected);
    SetFromFile(RtDoubleEditTl, c.Tl, "[Cell] Tl", corrected);
    SetFromFile(RtDoubleEditPsO2, c.PsO2, "[Cell] PsO2", corrected);
    SetFromFile(RtDoubleEditFGpO2, c.FGpO2, "[Cell] FGpO2", corrected);
    SetFromFile(RtDoubleEditFGfl, c.FGfl, "[Cell] FGfl", corrected);
    SetFromFile(RtDoubleEditCTO, c.CTO, "[Cell] CTO", corrected);
    SetFromFile(RtDoubleEditRCDuration, c.RCDuration, "[RelativeChange] Duration seconds", corrected);
    SetFromFile(RtDoubleEditRCThreshold, c.RCThreshold, "[RelativeChange] Threshold percentage", corrected);
    CheckBoxRCI->setChecked(c.RCAppliesToCurrent);
    SetFromFile(RtDoubleEditRCCurrentFloor, c.CurrentFloorMicroA,
                "[RelativeChange] Current floor microamperes", corrected);
    SetFromFile(RtDoubleEditDataPointLength, c.DataPointLength, "[Datapoint integration] Duration seconds",
                corrected);
    CheckBoxFastMode->setChecked(c.FastMode);
    SetFromFile(RtIntegerEditFastModeCount, c.FastModeCount, "[FastMode] Count", corrected);
    ReportCorrections(aFile, corrected);
    return true;
}

bool TExperimentDataPage::SaveCellDetails(const QString& aFile) {
    QString reason;
    if (TCellDetailsFile::Write(aFile, CellDetails(), &reason))
        return true;
    ReportFailedSave(aFile, reason);
    return false;
}

bool TExperimentDataPage::LoadSampleDetails(const QString& aFile) {
    QString refusal;
    const std::optional<TSampleDetails> read = TSampleDetailsFile::Read(aFile, refusal);
    if (!read) {
        ReportRefusal(this, QStringLiteral("Sample"), refusal);
        return false;
    }
    const TSampleDetails& s = *read;
    EditSampleName->setText(s.Name);
    EditSampleFormula->setText(s.Formula);
    QStringList corrected;
    SetFromFile(RtDoubleEditbs, s.bs, "bs__g_per_mol___", corrected);
    SetFromFile(RtDoubleEditM, s.M, "M___g_per_mol___", corrected);
    SetFromFile(RtDoubleEditb0, s.b0, "b0__mol_per_mol_", corrected);
    SetFromFile(RtDoubleEditM0, s.M0, "M0__g_per_mol___", corrected);
    SetFromFile(RtDoubleEditd, s.d, "d___g_per_cm3___", corrected);
    SetFromFile(RtDoubleEditmass0, s.m0, "m0__g___________", corrected);
    ReportCorrections(aFile, corrected);
    return true;
}

bool TExperimentDataPage::SaveSampleDetails(const QString& aFile) {
    QString reason;
    if (TSampleDetailsFile::Write(aFile, SampleDetails(), &reason))
        return true;
    ReportFailedSave(aFile, reason);
    return false;
}

void TExperimentDataPage::SampleCalculations() {
    const TSampleValues v = CalculateSampleValues(SampleDetails(), RtDoubleEditVHPS->Value());
    RtDoubleEditVs->SetValue(v.Vs);
    RtDoubleEditn0->SetValue(v.n0);
    RtDoubleEditnO0->SetValue(v.nO0);
    RtDoubleEditmO0->SetValue(v.mO0);
    RtDoubleEditmM->SetValue(v.mM);
    RtDoubleEditVhp->SetValue(v.Vhp);
}

void TExperimentDataPage::RtDoubleEditbsValueChanged() {
    SampleCalculations();
}

void TExperimentDataPage::RtDoubleEditSensorAxKeyUp() {
    if (fRun)
        fRun->SensorAx = RtDoubleEditSensorAx->Value();
}

void TExperimentDataPage::RtDoubleEditSensorBxKeyUp() {
    if (fRun)
        fRun->SensorBx = RtDoubleEditSensorBx->Value();
}

void TExperimentDataPage::ButtonLoadCellClick() {
    const QString file = Dialogs().OpenFileName(QStringLiteral("Load cell details"),
                                                ProgramPath(QStringLiteral("Cell")), kIniFilter);
    if (!file.isEmpty() && LoadCellDetails(file))
        RememberFile(file, false);
}

void TExperimentDataPage::ButtonSaveCellAsClick() {
    const QString proposed = QDir(ProgramPath(QStringLiteral("Cell")))
                                 .filePath(QStringLiteral("Cell calibration ") +
                                           FileNamePart(EditSensorID->text()) + QStringLiteral(".ini"));
    const QString file = Dialogs().SaveFileName(QStringLiteral("Save cell as"), proposed, kIniFilter);
    if (!file.isEmpty() && SaveCellDetails(file))
        RememberFile(file, false);
}

void TExperimentDataPage::ButtonLoadSampleClick() {
    const QString file = Dialogs().OpenFileName(QStringLiteral("Load Sample"),
                                                ProgramPath(QStringLiteral("Sample")), kIniFilter);
    if (!file.isEmpty() && LoadSampleDetails(file))
        RememberFile(file, true);
}

void TExperimentDataPage::ButtonSaveSampleClick() {
    const QString proposed = QDir(ProgramPath(QStringLiteral("Sample")))
                                 .filePath(FileNamePart(EditSampleName->text()) + QStringLiteral(".ini"));
    const QString file = Dialogs().SaveFileName(QStringLiteral("Save Sample"), proposed, kIniFilter);
    if (!file.isEmpty() && SaveSampleDetails(file))
        RememberFile(file, true);
}

void TExperimentDataPage::RememberFile(const QString& file, bool sample) {
    const TInstrumentSettings settings(TInstrumentSettings::DefaultPath());
    if (!(sample ? settings.SetLastSampleFile(file) : settings.SetLastCellFile(file)))
        Dialogs().Message(QStringLiteral("The %1 file could not be remembered for the next start: '%2' could "
                                         "not be written.")
                              .arg(sample ? QStringLiteral("sample") : QStringLiteral("cell"),
                                   QDir::toNativeSeparators(settings.Path())));
}
