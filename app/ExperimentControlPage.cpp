#include "app/ExperimentControlPage.h"

#include "app/TRtDoubleEdit.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QVBoxLayout>

namespace {
template <class T> T* Named(T* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}
} // namespace

TExperimentControlPage::TExperimentControlPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("TabSheetExperimentControl"));
    Splitter = new QSplitter(Qt::Horizontal, this);
    LeftPanel = new QWidget(Splitter);
    LeftPanel->setObjectName(QStringLiteral("PanelLeft"));
    // 265 pixels to begin with; the splitter moves it (see SetPlot).
    LeftPanel->resize(265, LeftPanel->height());

    CheckBoxShowTemperature =
        Named(new QCheckBox(QStringLiteral("Show Temperature"), LeftPanel), "CheckBoxShowTemperature");
    CheckBoxShowTemperature->setChecked(true);

    // Program mode: six radio buttons, three of them with their value.
    GroupBox2 = Named(new QGroupBox(QStringLiteral("Program mode"), LeftPanel), "GroupBox2");
    auto* modes = new QGridLayout(GroupBox2);
    RadioButtonModeOff = Named(new QRadioButton(QStringLiteral("Paused"), GroupBox2), "RadioButtonModeOff");
    RadioButtonModePassive =
        Named(new QRadioButton(QStringLiteral("GS set current, µA:"), GroupBox2), "RadioButtonModePassive");
    RadioButtonSetVoltage =
        Named(new QRadioButton(QStringLiteral("PS set voltage, mV:"), GroupBox2), "RadioButtonSetVoltage");
    RadioButtonPIDSet =
        Named(new QRadioButton(QStringLiteral("PID, setpoint log(pO2):"), GroupBox2), "RadioButtonPIDSet");
    RadioButtonPIDStep = Named(new QRadioButton(QStringLiteral("PPID, step program, log(pO2)"), GroupBox2),
                               "RadioButtonPIDStep");
    RadioButtonPPS =
        Named(new QRadioButton(QStringLiteral("PPS, step program, mV"), GroupBox2), "RadioButtonPPS");
    auto* group = new QButtonGroup(GroupBox2);
    for (QRadioButton* b : {RadioButtonModeOff, RadioButtonModePassive, RadioButtonSetVoltage,
                            RadioButtonPIDSet, RadioButtonPIDStep, RadioButtonPPS})
        group->addButton(b);
    RadioButtonModeOff->setChecked(true);
    RadioButtonPIDSet->setEnabled(false); // until the PID table has been computed
    RadioButtonPIDStep->setEnabled(false);

    RtIntegerEditCurrentmA = Named(new TRtIntegerEdit(GroupBox2, 0), "RtIntegerEditCurrentmA");
    RtIntegerEditCurrentmA->SetLimits(-5, 5);
    RtIntegerEditSetVoltage = Named(new TRtIntegerEdit(GroupBox2, 1100), "RtIntegerEditSetVoltage");
    RtIntegerEditSetVoltage->SetLimits(-1100, 1100);
    RtDoubleEditPISSP = Named(new TRtDoubleEdit(GroupBox2, -0.678), "RtDoubleEditPISSP");
    RtDoubleEditPISSP->SetLimits(-16, -0.678);
    for (QWidget* e :
         {static_cast<QWidget*>(RtIntegerEditCurrentmA), static_cast<QWidget*>(RtIntegerEditSetVoltage),
          static_cast<QWidget*>(RtDoubleEditPISSP)})
        e->setFixedWidth(60);
    modes->addWidget(RadioButtonModeOff, 0, 0, 1, 2);
    modes->addWidget(RadioButtonModePassive, 1, 0);
    modes->addWidget(RtIntegerEditCurrentmA, 1, 1);
    modes->addWidget(RadioButtonSetVoltage, 2, 0);
    modes->addWidget(RtIntegerEditSetVoltage, 2, 1);
    modes->addWidget(RadioButtonPIDSet, 3, 0);
    modes->addWidget(RtDoubleEditPISSP, 3, 1);
    modes->addWidget(RadioButtonPIDStep, 4, 0, 1, 2);
    modes->addWidget(RadioButtonPPS, 5, 0, 1, 2);

    // Step program: the list in a fixed-pitch font, its headings and the row editor.
    GroupBox12 = Named(new QGroupBox(QStringLiteral("Step program"), LeftPanel), "GroupBox12");
    auto* steps = new QGridLayout(GroupBox12);
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::Monospace);
    fixed.setPointSize(9);
    const auto heading = [&](const QString& text, int row, int col) {
        auto* l = new QLabel(text, GroupBox12);
        l->setFont(fixed);
        steps->addWidget(l, row, col);
    };
    heading(QStringLiteral("Step"), 0, 0);
    heading(QStringLiteral("PPID"), 0, 1);
    heading(QStringLiteral("or"), 0, 2);
    heading(QStringLiteral("PPS"), 0, 3);
    heading(QString(), 1, 0);
    heading(QStringLiteral("log(pO2)"), 1, 1);
    heading(QStringLiteral("mV"), 1, 3);
    ListBoxStepProgram = Named(new QListWidget(GroupBox12), "ListBoxStepProgram");
    ListBoxStepProgram->setFont(fixed);
    ListBoxStepProgram->setMinimumHeight(160);
    steps->addWidget(ListBoxStepProgram, 2, 0, 1, 4);

    auto* spLabel1 = new QLabel(QStringLiteral("Setpoint"), GroupBox12);
    RtDoubleEditEditpO2 = Named(new TRtDoubleEdit(GroupBox12, 0.678), "RtDoubleEditEditpO2");
    RtDoubleEditEditpO2->SetLimits(0.678, 16);
    auto* unit1 = new QLabel(QStringLiteral("-log(pO2)"), GroupBox12);
    auto* spLabel2 = new QLabel(QStringLiteral("Setpoint"), GroupBox12);
    RtDoubleEditPPSmV = Named(new TRtDoubleEdit(GroupBox12, 20), "RtDoubleEditPPSmV");
    RtDoubleEditPPSmV->SetLimits(-1100, 1100);
    auto* unit2 = new QLabel(QStringLiteral("mV"), GroupBox12);
    steps->addWidget(spLabel1, 3, 0);
    steps->addWidget(RtDoubleEditEditpO2, 3, 1, 1, 2);
    steps->addWidget(unit1, 3, 3);
    steps->addWidget(spLabel2, 4, 0);
    steps->addWidget(RtDoubleEditPPSmV, 4, 1, 1, 2);
    steps->addWidget(unit2, 4, 3);
    ButtonProgramPumpVoltage = Named(new QPushButton(QStringLiteral("Apply to step program"), GroupBox12),
                                     "ButtonProgramPumpVoltage");
    ButtonProgramDeleteStep =
        Named(new QPushButton(QStringLiteral("Delete last step"), GroupBox12), "ButtonProgramDeleteStep");
    steps->addWidget(ButtonProgramPumpVoltage, 5, 0, 1, 4);
    steps->addWidget(ButtonProgramDeleteStep, 6, 0, 1, 4);
    // Program files: the list kept on disk and brought back.
    ButtonProgramLoad =
        Named(new QPushButton(QStringLiteral("Load program…"), GroupBox12), "ButtonProgramLoad");
    ButtonProgramSave =
        Named(new QPushButton(QStringLiteral("Save program…"), GroupBox12), "ButtonProgramSave");
    steps->addWidget(ButtonProgramLoad, 7, 0, 1, 2);
    steps->addWidget(ButtonProgramSave, 7, 2, 1, 2);

    auto* left = new QVBoxLayout(LeftPanel);
    left->addWidget(CheckBoxShowTemperature);
    left->addWidget(GroupBox2);
    left->addWidget(GroupBox12);
    left->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Splitter);
}

void TExperimentControlPage::SetPlot(QWidget* plot) {
    Splitter->addWidget(plot);
    Splitter->setStretchFactor(0, 0);
    Splitter->setStretchFactor(1, 1);
    Splitter->setCollapsible(0, false);
    Splitter->setCollapsible(1, false);
    Splitter->setSizes({265, 100000}); // the panel at its usual width, the plot takes the rest
}
