#include "app/ExperimentDataPage.h"

#include "app/ExperimentNameValidator.h"
#include "app/SampleDetailsFile.h"
#include "app/SharedState.h"
#include "app/TRtDoubleEdit.h"
#include "common/Dialogs.h"
#include "common/ProgramFolder.h"

#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

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

void ReportFailedSave(const QString& file) {
    Dialogs().Message(QStringLiteral("Could not save '%1'").arg(QDir::toNativeSeparators(file)));
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

    // The derived boxes show the values that belong to the fresh inputs.
    SampleCalculations();
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
    CheckBoxRCI = new QCheckBox(QStringLiteral("Applies also to current"), rc);
    CheckBoxRCI->setObjectName(QStringLiteral("CheckBoxRCI"));
    AddRow(rcGrid, QStringLiteral("Duration, s"), QString(), RtDoubleEditRCDuration);
    AddRow(rcGrid, QStringLiteral("Threshold, %"), QString(), RtDoubleEditRCThreshold);
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

void TExperimentDataPage::LoadCellDetails(const QString& aFile) {
    const std::optional<TCellDetails> read = TCellDetailsFile::Read(aFile);
    if (!read)
        return;
    const TCellDetails& c = *read;
    // In the order of the file; each box runs its value-changed handler as an edit would, so the
    // Vhp read here is replaced by the derived value as soon as the next box is set.
    EditSensorID->setText(c.SensorID);
    RtDoubleEditSensorAx->SetValue(c.SensorAx);
    RtDoubleEditSensorBx->SetValue(c.SensorBx);
    RtDoubleEditVHPS->SetValue(c.Vhpws);
    RtDoubleEditVhp->SetValue(c.Vhp);
    RtDoubleEditVgp->SetValue(c.Vgp);
    RtDoubleEditTl->SetValue(c.Tl);
    RtDoubleEditPsO2->SetValue(c.PsO2);
    RtDoubleEditFGpO2->SetValue(c.FGpO2);
    RtDoubleEditFGfl->SetValue(c.FGfl);
    RtDoubleEditCTO->SetValue(c.CTO);
    RtDoubleEditRCDuration->SetValue(c.RCDuration);
    RtDoubleEditRCThreshold->SetValue(c.RCThreshold);
    CheckBoxRCI->setChecked(c.RCAppliesToCurrent);
    RtDoubleEditDataPointLength->SetValue(c.DataPointLength);
    CheckBoxFastMode->setChecked(c.FastMode);
    RtIntegerEditFastModeCount->SetValue(c.FastModeCount);
}

void TExperimentDataPage::SaveCellDetails(const QString& aFile) {
    if (!TCellDetailsFile::Write(aFile, CellDetails()))
        ReportFailedSave(aFile);
}

void TExperimentDataPage::LoadSampleDetails(const QString& aFile) {
    const TSampleDetails s = TSampleDetailsFile::Read(aFile);
    EditSampleName->setText(s.Name);
    EditSampleFormula->setText(s.Formula);
    RtDoubleEditbs->SetValue(s.bs);
    RtDoubleEditM->SetValue(s.M);
    RtDoubleEditb0->SetValue(s.b0);
    RtDoubleEditM0->SetValue(s.M0);
    RtDoubleEditd->SetValue(s.d);
    RtDoubleEditmass0->SetValue(s.m0);
}

void TExperimentDataPage::SaveSampleDetails(const QString& aFile) {
    if (!TSampleDetailsFile::Write(aFile, SampleDetails()))
        ReportFailedSave(aFile);
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
    SensorAx = RtDoubleEditSensorAx->Value();
}

void TExperimentDataPage::RtDoubleEditSensorBxKeyUp() {
    SensorBx = RtDoubleEditSensorBx->Value();
}

void TExperimentDataPage::ButtonLoadCellClick() {
    const QString file = Dialogs().OpenFileName(QStringLiteral("Load cell details"),
                                                ProgramPath(QStringLiteral("Cell")), kIniFilter);
    if (!file.isEmpty())
        LoadCellDetails(file);
}

void TExperimentDataPage::ButtonSaveCellAsClick() {
    const QString proposed = QDir(ProgramPath(QStringLiteral("Cell")))
                                 .filePath(QStringLiteral("Cell calibration ") +
                                           FileNamePart(EditSensorID->text()) + QStringLiteral(".ini"));
    const QString file = Dialogs().SaveFileName(QStringLiteral("Save cell as"), proposed, kIniFilter);
    if (!file.isEmpty())
        SaveCellDetails(file);
}

void TExperimentDataPage::ButtonLoadSampleClick() {
    const QString file = Dialogs().OpenFileName(QStringLiteral("Load Sample"),
                                                ProgramPath(QStringLiteral("Sample")), kIniFilter);
    if (!file.isEmpty())
        LoadSampleDetails(file);
}

void TExperimentDataPage::ButtonSaveSampleClick() {
    const QString proposed = QDir(ProgramPath(QStringLiteral("Sample")))
                                 .filePath(FileNamePart(EditSampleName->text()) + QStringLiteral(".ini"));
    const QString file = Dialogs().SaveFileName(QStringLiteral("Save Sample"), proposed, kIniFilter);
    if (!file.isEmpty())
        SaveSampleDetails(file);
}
