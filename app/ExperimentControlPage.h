#pragma once
// The "Experiment Control" page: the program mode, the step program and the data plot.
#include <QWidget>

class QCheckBox;
class QGroupBox;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSplitter;
class TRtDoubleEdit;
class TRtIntegerEdit;

class TExperimentControlPage : public QWidget {
    Q_OBJECT
public:
    explicit TExperimentControlPage(QWidget* parent = nullptr);

    // Puts the data plot to the right of the control panel.
    void SetPlot(QWidget* plot);

    QCheckBox* CheckBoxShowTemperature;
    QGroupBox* GroupBox2;
    QRadioButton* RadioButtonModeOff;
    QRadioButton* RadioButtonModePassive;
    QRadioButton* RadioButtonSetVoltage;
    QRadioButton* RadioButtonPIDSet;
    QRadioButton* RadioButtonPIDStep;
    QRadioButton* RadioButtonPPS;
    TRtIntegerEdit* RtIntegerEditCurrentmA;
    TRtIntegerEdit* RtIntegerEditSetVoltage;
    TRtDoubleEdit* RtDoubleEditPISSP;

    QGroupBox* GroupBox12;
    QListWidget* ListBoxStepProgram;
    TRtDoubleEdit* RtDoubleEditEditpO2;
    TRtDoubleEdit* RtDoubleEditPPSmV;
    QPushButton* ButtonProgramPumpVoltage;
    QPushButton* ButtonProgramDeleteStep;
    QPushButton* ButtonProgramLoad;
    QPushButton* ButtonProgramSave;

    QSplitter* Splitter;
    QWidget* LeftPanel;
};
