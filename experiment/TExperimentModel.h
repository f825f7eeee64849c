#pragma once
// The experiment as the program runs it, without a window: the rows (numbers, formatted only when
// shown or written), the sample and cell details with the operator's notes, the step program, the
// PID list, the mode changes, and the settings the two workers read. Pages show and edit it; the row builder,
// the tick, the saves and the journal read it, never a widget.
//
// Setting the cell hands its relative-change criterion and sensor calibration to the run state at
// once, so what a row is judged by is what the operator last entered.
#include "acquisition/IThread2000Host.h"
#include "control/IThread2401Host.h"
#include "control/TRunState.h"
#include "recording/ExperimentFile.h"
#include "recording/TDataGridModel.h"

#include <QObject>
#include <QStringList>

class TExperimentModel : public QObject, public IThread2000Host, public IThread2401Host {
    Q_OBJECT
public:
    explicit TExperimentModel(TRunState& run, QObject* parent = nullptr);

    TRunState& Run() { return fRun; }
    TDataGridModel& Rows() { return fRows; }
    const TDataGridModel& Rows() const { return fRows; }

    // Sample, cell and notes.
    const TSampleDetails& Sample() const { return fSample; }
    const TCellDetails& Cell() const { return fCell; }
    const QString& Notes() const { return fNotes; }
    void SetDetails(const TSampleDetails& sample, const TCellDetails& cell, const QString& notes);
    // The values derived from the sample in this cell.
    TSampleValues SampleValues() const;
    // What a save or the journal's head writes: the details, the notes and the rows.
    TExperimentFileRecord FileRecord() const;

    // The step program, one row per step in the list's layout.
    const QStringList& StepProgram() const { return fSteps; }
    void SetStepProgram(const QStringList& rows);
    int StepCount() const { return int(fSteps.size()); }
    // The running step lies beyond the program's last row.
    bool StepPastEnd() const;
    // The setpoint the PID follows in the running step: log10 pO2 in PIDStep, volts in PPS; false
    // when the state runs no program, the step is past the end or its row does not read.
    bool StepSetpoint(double& setpoint) const;

    // The operator's PID list (title, elasticity, header and one line per row), as the PID files
    // keep it.
    const QStringList& PIDRows() const { return fPIDRows; }
    void SetPIDRows(const QStringList& lines) { fPIDRows = lines; }

    // The pump voltage of the "PS set voltage, mV:" mode, read by the SourceMeter thread.
    void SetSetVoltagemV(int mV) { fSetVoltagemV = mV; }

    // A mode change the operator has confirmed: the state (a program starts at its first step),
    // the PID's integral when it was not regulating, the mode-change row and the event line.
    void ChangeMode(TProgramState state);
    // The row that marks a mode change in the grid (and the journal, through RowCompleted).
    int AppendModeChangeRow(TProgramState state);
    // A row has all its cells: the journal and the monitor take it from here.
    void CompleteRow(int row) { emit RowCompleted(row); }

    // IThread2000Host / IThread2401Host
    double CellTemperatureOverride() const override { return fCell.CTO; }
    bool FastMode() const override { return fCell.FastMode; }
    int FastModeCount() const override { return fCell.FastModeCount; }
    double DataPointLength() const override { return fCell.DataPointLength; }
    int SetVoltagemV() const override { return fSetVoltagemV; }
    void ShowPIDListing(const QStringList& lines) override { emit PIDListing(lines); }

signals:
    void DetailsChanged();
    void StepProgramChanged();
    void RowCompleted(int row);
    void PIDListing(const QStringList& lines);

private:
    TRunState& fRun;
    TDataGridModel fRows;
    TSampleDetails fSample;
    TCellDetails fCell;
    QString fNotes;
    QStringList fSteps;
    QStringList fPIDRows;
    int fSetVoltagemV = 0;
};
