#pragma once
// The "Experiment data" page: the sample and cell descriptions that travel with every experiment,
// the values derived from the sample, the operator's notes and the buttons that load and save the
// cell and sample files. Its boxes are the one place the rest of the program reads these values
// from; the page keeps the derived sample values up to date whenever an input changes.
#include "experiment/CellDetailsFile.h"
#include "recording/SampleDetails.h"

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TRtDoubleEdit;
class TRtIntegerEdit;
class TExperimentModel;
struct TRunState;

class TExperimentDataPage : public QWidget {
    Q_OBJECT
public:
    explicit TExperimentDataPage(QWidget* parent = nullptr);

    // Cell and sample files, by full path. A missing cell file changes nothing; a missing sample
    // file gives empty texts and zeros. A file that is not a cell or sample file (not text, or
    // without a key of their sections) changes nothing and is reported: in the event log at once,
    // and in a message once the event loop runs (at start-up, once the window is up). A value outside its
    // box's limits loads as the nearest limit, and the operator is told which keys were corrected. A save
    // that fails is reported. Each says whether the file was read or written. What the operator
    // loads or saves through the page's buttons is remembered and loaded again at the next start.
    bool LoadCellDetails(const QString& aFile);
    bool SaveCellDetails(const QString& aFile);
    bool LoadSampleDetails(const QString& aFile);
    bool SaveSampleDetails(const QString& aFile);

    // Recomputes the derived sample values and the hot-part gas volume Vhp.
    void SampleCalculations();
    // The value-changed handler of the sample and cell input boxes.
    void RtDoubleEditbsValueChanged();
    // Copy the sensor calibration into the shared state as the operator types.
    void RtDoubleEditSensorAxKeyUp();
    void RtDoubleEditSensorBxKeyUp();

    void ButtonLoadCellClick();
    void ButtonSaveCellAsClick();
    void ButtonLoadSampleClick();
    void ButtonSaveSampleClick();

    // Hands the page's details to the experiment now and after every edit.
    void Attach(TExperimentModel& model);

    // The boxes as records, for the files and the data file header.
    TCellDetails CellDetails() const;
    TSampleDetails SampleDetails() const;

    // Sample inputs
    QLineEdit* EditSampleName;
    QLineEdit* EditSampleFormula;
    TRtDoubleEdit* RtDoubleEditbs;
    TRtDoubleEdit* RtDoubleEditM;
    TRtDoubleEdit* RtDoubleEditb0;
    TRtDoubleEdit* RtDoubleEditM0;
    TRtDoubleEdit* RtDoubleEditd;
    TRtDoubleEdit* RtDoubleEditmass0;
    // Derived sample values (read-only)
    TRtDoubleEdit* RtDoubleEditVs;
    TRtDoubleEdit* RtDoubleEditn0;
    TRtDoubleEdit* RtDoubleEditnO0;
    TRtDoubleEdit* RtDoubleEditmO0;
    TRtDoubleEdit* RtDoubleEditmM;
    // Cell inputs
    QLineEdit* EditSensorID;
    TRtDoubleEdit* RtDoubleEditSensorAx;
    TRtDoubleEdit* RtDoubleEditSensorBx;
    TRtDoubleEdit* RtDoubleEditVHPS;
    TRtDoubleEdit* RtDoubleEditVhp; // read-only, derived
    TRtDoubleEdit* RtDoubleEditVgp;
    TRtDoubleEdit* RtDoubleEditTl;
    TRtDoubleEdit* RtDoubleEditPsO2;
    TRtDoubleEdit* RtDoubleEditFGpO2;
    TRtDoubleEdit* RtDoubleEditCTO;
    TRtDoubleEdit* RtDoubleEditFGfl;
    TRtDoubleEdit* RtDoubleEditRCDuration;
    TRtDoubleEdit* RtDoubleEditRCThreshold;
    // "Current floor, µA": a step program takes a current whose fitted change over the duration
    // stays below it as stable.
    TRtDoubleEdit* RtDoubleEditRCCurrentFloor;
    QCheckBox* CheckBoxRCI;
    TRtDoubleEdit* RtDoubleEditDataPointLength;
    QCheckBox* CheckBoxFastMode;
    TRtIntegerEdit* RtIntegerEditFastModeCount;
    // Notes and buttons
    QPlainTextEdit* MemoNotes;
    QPushButton* ButtonLoadCell;
    QPushButton* ButtonSaveCellAs;
    QPushButton* ButtonLoadSample;
    QPushButton* ButtonSaveSample;

signals:
    // An input or the notes changed (by the operator, a file or the program): the experiment
    // takes the page's details from here.
    void detailsEdited();

private:
    // Keeps the cell (or sample) file for the next start in the settings file.
    void RememberFile(const QString& file, bool sample);
    QGroupBox* BuildSampleGroup();
    QGroupBox* BuildCalculatedGroup();
    QGroupBox* BuildCellGroup();
    QGroupBox* BuildNotesGroup();
    TRtDoubleEdit* NewBox(const char* name, double value);
    void SetPhysicalLimits();

    TRunState* fRun = nullptr; // the attached experiment's run, which a calibration key goes to at once
};
