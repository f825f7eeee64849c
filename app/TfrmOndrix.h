#pragma once
// The main window: its six pages and status bar, start-up, the supervisory timer and the close
// sequence. It shows the experiment (TExperimentModel) and hands the operator's edits to it.
#include "app/ExperimentSave.h"
#include "control/TRunState.h"

#include <QMainWindow>
#include <QStringList>
#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QCloseEvent;
class QTabWidget;
class QTimer;
class LogFileDestination;
class TConfigurationPage;
class TCloseWatchdog;
class TDataGridModel;
class TDialogs;
class TDataPlot;
class TDebugPage;
class TTitrationPage;
class TExperimentControlPage;
class TExperimentDataPage;
class TRawDataPage;
class TStatusPane;
class TSupervisoryTick;
class TPIDTuningPage;
class TRowBuilder;
class TStepProgramEditor;
class TStepProgramView;
class TStepStatus;
class TInstrumentValidator;
class TExperimentJournal;
class TExperimentModel;
class TThread2000;
class TThread2401;
class TMonitorConfig;
class TMonitorControl;
class TMonitorFeed;
class TMonitorServer;
struct TMonitorStatus;
struct TSaveResult;

class TfrmOndrix : public QMainWindow {
    Q_OBJECT
public:
    // The system's list of serial port names, or nothing when no list can be had.
    using TPortLister = std::function<std::optional<QStringList>()>;

    // Ports of the simulated instruments (ondrix --simulate): they go into the port boxes before
    // the start-up validations, appear in the port list, and are never saved as settings.
    struct TSimulatedPorts {
        QString SMU, DMM;
    };

    // Creates the window and runs FormCreate. portLister replaces the system's port list (tests).
    explicit TfrmOndrix(TPortLister portLister = {}, TSimulatedPorts simulated = {},
                        QWidget* parent = nullptr);
    ~TfrmOndrix() override;

    // Start-up, close question, close and destruction, in the order the program runs them.
    void FormCreate();
    bool FormCloseQuery();
    void FormClose();
    void FormDestroy();

    void LoadInstrumentSettings();
    void SaveInstrumentSettings();
    void GetAvailableComPorts();
    void ButtonSMUTestClick();
    void Button2000TestClick();
    void FormatGrid();
    void Timer1Timer();
    // Showing the "PID tuning" page builds the PID table from its list.
    void PageControlMainChange();
    void Statusbar();
    // The data-row builder and the data-file save, run by the tick.
    void AddDataUpdates();
    // Saves the rows into the next data file; `notice` says whether a failure shows a message box.
    TSaveResult Save(TSaveNotice notice = TSaveNotice::MessageBox);
    // The save of the autosave and of a step advance: a failure goes to the notice pane, not a box.
    TSaveResult SaveUnattended();
    // A row has entered the data grid with all its cells: it goes to the run's journal.
    void RowEntered(int row);
    // Syncs the journal to the disk when a second has passed (the tick).
    void SyncJournal();
    // Tells the operator when the journal falls behind, and when it has caught up.
    void ReportJournal();
    // The journal of this run, once its first row was written.
    QString JournalPath() const;
    // The web monitor, as `ondrix --monitor` asks for it: listens on `config`'s address and port
    // for this run (the token comes from the settings file, made there when missing), without
    // changing the settings file's switch. False, with the reason in `error`, when it cannot.
    bool StartMonitor(const TMonitorConfig& config, QString* error = nullptr);
    // The web monitor's server (running or not) and the copy of the run it serves.
    TMonitorServer& Monitor() const { return *fMonitor; }
    TMonitorFeed& MonitorFeed() const { return *fMonitorFeed; }
    // Closes as the close button does, without the close question (a termination signal): the
    // pump is told 0 A at once, open boxes are rejected, and the close runs once their exec() have
    // returned.
    void CloseWithoutQuestion();
    // A close that has not ended `limit` after it began ends the process (TCloseWatchdog), as the
    // program asks; without a limit (the default, the window in tests) nothing bounds it.
    void SetCloseTimeLimit(std::chrono::milliseconds limit) { fCloseLimit = limit; }

signals:
    // The close has ended; `saved` is false when rows could not be saved into a data file.
    void Closed(bool saved);

public:
    QCheckBox* CheckBoxSMUValidated() const;
    QCheckBox* CheckBox2000Validated() const;

    // The experiment the window shows and edits; the workers read their settings from it.
    TExperimentModel& Model() { return *fModel; }
    // The run the window drives: its state, its points and its saves.
    TRunState& Run() { return fRun; }

    // The two workers while their instruments are validated (null otherwise), and the port the
    // SourceMeter was last identified on.
    TThread2000* Thread2000 = nullptr;
    TThread2401* Thread2401 = nullptr;
    QString SMUComPort;

    QTabWidget* PageControlMain;
    TConfigurationPage* ConfigurationPage;
    TExperimentDataPage* ExperimentData;
    TPIDTuningPage* TabSheetPID;
    TExperimentControlPage* ExperimentControl;
    TRawDataPage* RawData;
    TDebugPage* Debug;
    TTitrationPage* Titration;
    TDataGridModel* DataGrid;
    TDataPlot* RtGraph2D1;
    QTimer* Timer1;
    TSupervisoryTick* Tick;
    TInstrumentValidator* Validator;

    TStatusPane* RzGlyphStatus1;
    TStatusPane* RzGlyphStatus2;
    TStatusPane* RzStatusPaneFlushpO2;
    TStatusPane* RzStatusPaneRC;
    TStatusPane* RzStatusPaneStep;
    // The running step's time and advance criteria; hidden while no step runs.
    TStatusPane* RzStatusPaneStepStatus;
    TStatusPane* RzStatusPaneNotice; // faults the operator must know of; hidden while empty

    static QString Caption() { return QStringLiteral("Ondrix 2021-07-09"); }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildStatusBar();
    void WireModeButtons();
    QObject* fModeKeyPressedOn = nullptr; // the mode button that saw the last key press

    void WireModel();
    void WireDataAndStepButtons();
    // Hands the grid's rows the monitor has not got yet to its feed, while it serves.
    void FeedMonitor();
    // The notice pane: faults the operator must know of, one line each kind, hidden when none.
    enum class TNotice { Journal, Save, Close, Isotherm, Count };
    void ShowNotice(TNotice kind, const QString& text);
    // The notices as the pane shows them, one line.
    QString NoticeText() const;
    void ShowNoticePane(const QString& text);
    std::array<QString, std::size_t(TNotice::Count)> fNotices;
    QString fFlushText; // the flush gas's pO2 as the row builder last gave it
    // The first step of every close: the pump to 0 A and both workers told to stop, no box from
    // now on (a message goes to the status bar, the event log and standard error), the watchdog.
    void BeginClose();
    void ReportAtClose(const QString& text);
    // The close's save, whose failure is reported without a box; true when the rows are saved.
    bool SaveAtClose();
    // Rejects the open boxes and closes once every box's exec() has returned: the window must
    // never go while a nested event loop of one of its boxes runs.
    void CloseOnceBoxesAreGone();
    // The run's status, as the status bar shows it and the web monitor reports it.
    TMonitorStatus Status() const;

    TRunState fRun;
    TExperimentModel* fModel;
    std::unique_ptr<TRowBuilder> fRowBuilder;
    std::unique_ptr<TStepProgramEditor> fStepEditor;
    std::unique_ptr<TStepProgramView> fStepView;
    std::unique_ptr<TStepStatus> fStepStatus;
    TPortLister fPortLister;
    TSimulatedPorts fSimulated;
    std::shared_ptr<LogFileDestination> fLogFile;
    std::unique_ptr<TExperimentJournal> fJournal;
    std::unique_ptr<TMonitorFeed> fMonitorFeed;
    int fMonitorFedRow = 0; // the last grid row the monitor's feed has
    std::unique_ptr<TMonitorServer> fMonitor;
    TMonitorControl* fMonitorControl = nullptr; // the monitor's part of the "Configuration" page
    bool fJournalFailed = false;                // behind, and told so; recording goes on
    bool fLastSaveFailed = false;
    int fRowsSinceSave = 0; // rows not in a data file yet
    bool fAskOnClose = true;
    bool fCloseBegun = false; // BeginClose has run
    bool fClosing = false;    // FormClose has begun
    std::chrono::milliseconds fCloseLimit{0};
    std::unique_ptr<TCloseWatchdog> fWatchdog;
    std::shared_ptr<TDialogs> fDialogsBeforeClose;
    bool fDestroyed = false;
};
