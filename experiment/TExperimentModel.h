#pragma once
// The experiment as the program runs it, without a window: the rows (numbers, formatted only when
// shown or written), the sample and cell details with the operator's notes, the step program, the
// PID list, the mode changes, and the settings the two workers read. Pages show and edit it; the row builder,
// the tick, the saves and the journal read it, never a widget. It owns the run's PID controller
// (the run points at it).
//
// Setting the cell hands its relative-change criterion and sensor calibration to the run state at
// once, so what a row is judged by is what the operator last entered.
#include "acquisition/IThread2000Host.h"
#include "control/IThread2401Host.h"
#include "control/TPIDListContent.h"
#include "control/TRunState.h"
#include "experiment/StepProgram.h"
#include "recording/ExperimentFile.h"
#include "recording/TDataGridModel.h"

#include <QObject>
#include <QStringList>
#include <memory>

class TPID;

// Why the mode changes, which decides what records it: the operator's confirmed choice writes the
// mode-change row and the event line (and starts a program at its first step); the others write
// no row, so the data file shows only the operator's changes.
enum class TModeChangeReason : std::uint8_t {
    Operator,     // a confirmed mode button
    Validation,   // both instruments validated: the run waits, paused
    ProgramEnded, // a step program ran past its last step: galvanostatic at 0 µA
    Close,        // the window closes: the workers stop
};

class TExperimentModel : public QObject, public IThread2000Host, public IThread2401Host {
    Q_OBJECT
public:
    explicit TExperimentModel(TRunState& run, QObject* parent = nullptr);
    ~TExperimentModel() override;

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

    // The step program; the step list on the "Experiment Control" page shows it.
    const QList<TStep>& StepProgram() const { return fSteps; }
    void SetStepProgram(const QList<TStep>& steps);
    int StepCount() const { return int(fSteps.size()); }
    // The running step lies beyond the program's last row.
    bool StepPastEnd() const;
    // The setpoint the PID follows in the running step: log10 pO2 in PIDStep, volts in PPS; false
    // when the state runs no program or the step is past the end.
    bool StepSetpoint(double& setpoint) const;

    // The operator's PID list, which the PID tuning page shows and edits and builds the
    // controller's table from; it starts as the starting list.
    const TPIDListContent& PIDList() const { return fPIDList; }
    void SetPIDList(const TPIDListContent& list);
    // The run's PID controller.
    TPID& PID() { return *fPID; }

    // The one way the program state changes. For the operator: the state (a program starts at its
    // first step), the PID's integral when it was not regulating, the mode-change row and the event
    // line; for the other reasons the state and, where it tells the operator something, an event.
    void ChangeMode(TProgramState state, TModeChangeReason reason = TModeChangeReason::Operator);
    // The galvanostatic setpoint the SourceMeter worker takes over, µA.
    void SetGSCurrent(double microA);
    // The pump voltage of the "PS set voltage, mV:" mode, read by the SourceMeter thread.
    void SetSetVoltagemV(int mV);
    // The setpoint the PID controller follows (log10 pO2, or V in PPS); nothing without a controller.
    void SetPIDSetpoint(double setpoint);
    // The running step program moves on to its next step.
    void AdvanceStep();
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
    void PIDListChanged();
    void RowCompleted(int row);
    void PIDListing(const QStringList& lines);
    // The run's settings as the intent methods above changed them.
    void ModeChanged(TProgramState state, TModeChangeReason reason);
    void GSCurrentChanged(double microA);
    void SetVoltageChanged(int mV);
    void PIDSetpointChanged(double setpoint);
    void StepAdvanced(int step);

private:
    TRunState& fRun;
    TDataGridModel fRows;
    TSampleDetails fSample;
    TCellDetails fCell;
    QString fNotes;
    QList<TStep> fSteps;
    TPIDListContent fPIDList;
    std::unique_ptr<TPID> fPID;
    int fSetVoltagemV = 0;
};
