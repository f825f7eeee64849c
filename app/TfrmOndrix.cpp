#include "app/TfrmOndrix.h"

#include "acquisition/TThread2000.h"
#include "app/CloseWatchdog.h"
#include "app/ConfigurationPage.h"
#include "app/DataPlot.h"
#include "app/DebugPage.h"
#include "app/ExperimentControlPage.h"
#include "app/ExperimentDataPage.h"
#include "app/ExperimentSave.h"
#include "app/InstrumentValidator.h"
#include "app/MonitorControl.h"
#include "app/PIDTuningPage.h"
#include "app/QtDialogs.h"
#include "app/RawDataPage.h"
#include "app/RunStatus.h"
#include "app/StatusHints.h"
#include "app/StatusPane.h"
#include "app/StepProgramEditor.h"
#include "app/StepProgramView.h"
#include "app/SupervisoryTick.h"
#include "app/TRtDoubleEdit.h"
#include "app/TitrationPage.h"
#include "common/Clock.h"
#include "common/Dialogs.h"
#include "common/DialogsWithoutBoxes.h"
#include "common/NumberFormat.h"
#include "common/ProgramFolder.h"
#include "common/Synchronize.h"
#include "control/TThread2401.h"
#include "diagnostics/EventLog.h"
#include "diagnostics/LogChannel.h"
#include "diagnostics/LogFileDestination.h"
#include "experiment/InstrumentSettings.h"
#include "experiment/RowBuilder.h"
#include "experiment/StepProgram.h"
#include "experiment/StepStatus.h"
#include "experiment/TExperimentModel.h"
#include "instruments/TLinkMonitor.h"
#include "monitor/MonitorConfig.h"
#include "monitor/MonitorFeed.h"
#include "monitor/MonitorServer.h"
#include "recording/ColumnTable.h"
#include "recording/ExperimentJournal.h"
#include "recording/JournalRecovery.h"
#include "recording/TDataGridModel.h"
#include "recording/TDataSynchronizer.h"
#include "titration/IsothermFile.h"
#include "titration/TitrationFile.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSerialPortInfo>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
std::optional<QStringList> SystemPorts() {
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        names << info.portName();
    return names;
}

} // namespace

TfrmOndrix::TfrmOndrix(TPortLister portLister, TSimulatedPorts simulated, QWidget* parent)
    : QMainWindow(parent), fPortLister(portLister ? std::move(portLister) : TPortLister(SystemPorts)),
      fSimulated(std::move(simulated)), fMonitorFeed(std::make_unique<TMonitorFeed>()),
      fMonitor(std::make_unique<TMonitorServer>(*fMonitorFeed)) {
    setObjectName(QStringLiteral("frmOndrix"));
    setWindowTitle(Caption());
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(8);
    setFont(font);
    resize(1055, 920);

    fModel = new TExperimentModel(fRun, this);
    DataGrid = &fModel->Rows();
    // A monitor turned on during a run serves the rows so far at once.
    fMonitor->SetStartedListener([this] {
        FeedMonitor();
        fMonitorFeed->SetStatus(Status());
    });
    PageControlMain = new QTabWidget(this);
    PageControlMain->setObjectName(QStringLiteral("PageControlMain"));
    PageControlMain->setDocumentMode(true);
    ConfigurationPage = new TConfigurationPage(PageControlMain);
    ExperimentData = new TExperimentDataPage(PageControlMain);
    TabSheetPID = new TPIDTuningPage(PageControlMain);
    ExperimentControl = new TExperimentControlPage(PageControlMain);
    RawData = new TRawDataPage(DataGrid, PageControlMain);
    RtGraph2D1 = new TDataPlot(ExperimentControl);
    ExperimentControl->SetPlot(RtGraph2D1);
    connect(ExperimentControl->CheckBoxShowTemperature, &QCheckBox::clicked, this,
            [this](bool on) { RtGraph2D1->SetTemperatureVisible(on); });
    Debug = new TDebugPage(PageControlMain);
    Titration = new TTitrationPage(PageControlMain);
    connect(Titration, &TTitrationPage::IsothermWriteError, this,
            [this](const QString& e) { ShowNotice(TNotice::Isotherm, e); });
    PageControlMain->addTab(ConfigurationPage, QStringLiteral("Configuration"));
    PageControlMain->addTab(ExperimentData, QStringLiteral("Experiment data"));
    PageControlMain->addTab(TabSheetPID, QStringLiteral("PID tuning"));
    PageControlMain->addTab(ExperimentControl, QStringLiteral("Experiment Control"));
    PageControlMain->addTab(RawData, QStringLiteral("Raw data"));
    PageControlMain->addTab(Titration, QStringLiteral("Titration"));
    PageControlMain->addTab(Debug, QStringLiteral("Debug"));
    setCentralWidget(PageControlMain);
    BuildStatusBar();

    WireModel();
    TabSheetPID->SetModeButtons(ExperimentControl->RadioButtonPIDSet, ExperimentControl->RadioButtonPIDStep);
    TabSheetPID->SetDebugMemo(Debug->Memo1);
    TabSheetPID->SetModel(fModel);
    connect(PageControlMain, &QTabWidget::currentChanged, this, &TfrmOndrix::PageControlMainChange);
    WireDataAndStepButtons();
    Tick = new TSupervisoryTick(*this);
    Validator = new TInstrumentValidator(*this);
    connect(ConfigurationPage->ButtonSMUTest, &QPushButton::clicked, this, &TfrmOndrix::ButtonSMUTestClick);
    connect(ConfigurationPage->Button2000Test, &QPushButton::clicked, this, &TfrmOndrix::Button2000TestClick);
    fMonitorControl = new TMonitorControl(*ConfigurationPage, *fMonitor, this);
    WireModeButtons();
    // The log switch of the SourceMeter thread, on the Debug page.
    Debug->CheckBoxLogSMUThread->setChecked(LogThread2401.Enabled());
    connect(Debug->CheckBoxLogSMUThread, &QCheckBox::toggled, this,
            [](bool on) { LogThread2401.SetEnabled(on); });

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(250);
    connect(Timer1, &QTimer::timeout, this, &TfrmOndrix::Timer1Timer);

    FormCreate();
    Timer1->start();
}

TfrmOndrix::~TfrmOndrix() {
    FormDestroy();
}

void TfrmOndrix::BuildStatusBar() {
    auto* bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("RzStatusBar1"));
    bar->setSizeGripEnabled(false);
    bar->setFixedHeight(22);
    RzGlyphStatus1 = new TStatusPane(QStringLiteral("RzGlyphStatus1"), 148, true, bar);
    RzGlyphStatus2 = new TStatusPane(QStringLiteral("RzGlyphStatus2"), 183, true, bar);
    RzStatusPaneFlushpO2 = new TStatusPane(QStringLiteral("RzStatusPaneFlushpO2"), 182, false, bar);
    RzStatusPaneRC = new TStatusPane(QStringLiteral("RzStatusPaneRC"), 250, false, bar);
    RzStatusPaneStep = new TStatusPane(QStringLiteral("RzStatusPaneStep"), 0, false, bar);
    RzStatusPaneStepStatus = new TStatusPane(QStringLiteral("RzStatusPaneStepStatus"), 0, false, bar);
    RzStatusPaneStepStatus->hide();
    RzStatusPaneNotice = new TStatusPane(QStringLiteral("RzStatusPaneNotice"), 0, false, bar);
    RzStatusPaneNotice->setStyleSheet(QStringLiteral("color: #c00000;"));
    RzStatusPaneNotice->hide();
    for (TStatusPane* p : {RzGlyphStatus1, RzGlyphStatus2, RzStatusPaneFlushpO2, RzStatusPaneRC})
        bar->addWidget(p);
    bar->addWidget(RzStatusPaneStep, 1);
    bar->addWidget(RzStatusPaneStepStatus, 1);
    bar->addWidget(RzStatusPaneNotice, 1);
    setStatusBar(bar);
}

void TfrmOndrix::WireModel() {
    connect(fModel, &TExperimentModel::RowCompleted, this, &TfrmOndrix::RowEntered);
    // The plot's setpoint lines and step and mode marks come from the rows as they enter.
    connect(fModel, &TExperimentModel::RowCompleted, RtGraph2D1, [this](int row) {
        RtGraph2D1->NoteRow(DataGrid->Row(row), ExperimentControl->RtDoubleEditPISSP->Value());
    });
    connect(fModel, &TExperimentModel::PIDListing, this,
            [this](const QStringList& lines) { Debug->Memo1->setPlainText(lines.join(u'\n')); });
    ExperimentData->Attach(*fModel);
    TRtIntegerEdit* setVoltage = ExperimentControl->RtIntegerEditSetVoltage;
    connect(setVoltage, &TRtDoubleEdit::valueChanged, fModel,
            [this, setVoltage] { fModel->SetSetVoltagemV(setVoltage->IntValue()); });
    fModel->SetSetVoltagemV(setVoltage->IntValue());
}

void TfrmOndrix::WireDataAndStepButtons() {
    TRowBuilderLinks l;
    l.Plot = RtGraph2D1;
    l.FlushGaspO2 = [this] { return fModel->Cell().FGpO2; };
    l.RCAppliesToCurrent = [this] { return fModel->Cell().RCAppliesToCurrent; };
    l.CurrentFloorMicroA = [this] { return fModel->Cell().CurrentFloorMicroA; };
    fStepStatus = std::make_unique<TStepStatus>();
    l.StepStatus = fStepStatus.get();
    l.AutoScroll = [this] { return RawData->CheckBoxScroll->isChecked(); };
    l.ScrollToLastRow = [this] { RawData->ScrollToLastRow(); };
    l.SetFlushStatus = [this](const QString& text) { fFlushText = text; };
    l.Save = [this] { SaveUnattended(); };
    l.RowCompleted = [this](int row) { fModel->CompleteRow(row); };
    l.AdvanceStep = [this] { fModel->AdvanceStep(); };
    fRowBuilder = std::make_unique<TRowBuilder>(fModel->Run(), *DataGrid, l);
    TExperimentControlPage* c = ExperimentControl;
    // The step list shows the experiment's program; the editor changes the program.
    fModel->SetStepProgram(StepProgram::DefaultSteps());
    fStepEditor = std::make_unique<TStepProgramEditor>(*fModel, *c->ListBoxStepProgram,
                                                       *c->RtDoubleEditEditpO2, *c->RtDoubleEditPPSmV);
    fStepView = std::make_unique<TStepProgramView>(*c->ListBoxStepProgram);
    fStepView->Follow(*fModel);

    connect(Debug->ButtonSaveTest, &QPushButton::clicked, this, [this] { Save(); });
    // The Debug page's buttons act at once on a click, so those that throw away data or the step
    // program ask first.
    const auto askFirst = [this](QPushButton* button, const QString& question, std::function<void()> act) {
        connect(button, &QPushButton::clicked, this, [question, act] {
            if (Dialogs().Confirm(question))
                act();
        });
    };
    askFirst(Debug->ButtonDeleteData,
             QStringLiteral("Delete the first 100 points of every plot? The table keeps its rows."),
             [this] { fRowBuilder->DeleteFirstPoints(); });
    askFirst(Debug->ButtonDeleteAllData,
             QStringLiteral("Clear all data from the plots and the table? Rows not saved in a data file are "
                            "then only in the run's journal."),
             [this] { fRowBuilder->ClearAllData(); });
    askFirst(Debug->ButtonPPSUp,
             QStringLiteral("Replace the step program with 21 PPS steps from 0 to 1000 mV?"),
             [this] { fStepEditor->ButtonPPSUpClick(); });
    askFirst(Debug->ButtonPPSDown,
             QStringLiteral("Replace the step program with 21 PPS steps from 1000 to 0 mV?"),
             [this] { fStepEditor->ButtonPPSDownClick(); });
    connect(c->ButtonProgramPumpVoltage, &QPushButton::clicked, this,
            [this] { fStepEditor->ButtonProgramPumpVoltageClick(); });
    connect(c->ButtonProgramDeleteStep, &QPushButton::clicked, this,
            [this] { fStepEditor->ButtonProgramDeleteStepClick(); });
    connect(c->ListBoxStepProgram, &QListWidget::itemClicked, this,
            [this] { fStepEditor->ListBoxStepProgramClick(); });
    connect(c->ButtonProgramSave, &QPushButton::clicked, this,
            [this] { fStepEditor->ButtonProgramSaveClick(); });
    connect(c->ButtonProgramLoad, &QPushButton::clicked, this,
            [this] { fStepEditor->ButtonProgramLoadClick(); });
}

void TfrmOndrix::WireModeButtons() {
    TExperimentControlPage* c = ExperimentControl;
    for (QRadioButton* b : {c->RadioButtonModeOff, c->RadioButtonModePassive, c->RadioButtonSetVoltage,
                            c->RadioButtonPIDSet, c->RadioButtonPIDStep, c->RadioButtonPPS}) {
        connect(b, &QRadioButton::clicked, this, [this, b] { Tick->ChangeModeConfirm(b); });
        b->installEventFilter(this); // key release on a mode button confirms too
    }
}

bool TfrmOndrix::eventFilter(QObject* watched, QEvent* event) {
    // A key released on a mode button confirms, but only a key that was pressed on that button: the
    // release of the key that answered the mode question (Enter, Esc, N) reaches the button after
    // the box has closed and is no operator action on it.
    if (event->type() == QEvent::KeyPress && !static_cast<QKeyEvent*>(event)->isAutoRepeat())
        fModeKeyPressedOn = watched;
    if (event->type() == QEvent::KeyRelease && !static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
        const bool pressedHere = fModeKeyPressedOn == watched;
        fModeKeyPressedOn = nullptr;
        if (pressedHere)
            Tick->ChangeModeConfirm(watched);
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmOndrix::FormCreate() {
    FormatGrid();
    LoadInstrumentSettings();
    if (!fSimulated.SMU.isEmpty())
        ConfigurationPage->EditSMUCOMPort->setText(fSimulated.SMU);
    if (!fSimulated.DMM.isEmpty())
        ConfigurationPage->Edit2000COMPort->setText(fSimulated.DMM);
    // Data, logs, PID tables, cell, sample and program files live in the program's folder; every
    // path is built from it, whatever the current folder of the process is.
    const QDir root(ProgramFolder());
    for (const QString folder :
         {QStringLiteral("Userdata"), QStringLiteral("Logs"), QStringLiteral("PID"), QStringLiteral("Cell"),
          QStringLiteral("Sample"), QStringLiteral("Programs")}) {
        if (!QFileInfo(root.filePath(folder)).isDir() && !root.mkdir(folder))
            Dialogs().Message(QStringLiteral("Could not create '%1' folder").arg(folder));
    }

    fLogFile = std::make_shared<LogFileDestination>(root.filePath(QStringLiteral("Logs")),
                                                    QStringLiteral("Log.csl"), 1024, 20);
    LogFileDestination::Install(fLogFile);
    InstallEventLog(std::make_shared<TEventLog>(root.filePath(QStringLiteral("Logs"))));
    LogEvent(QStringLiteral("Program"),
             QStringLiteral("started in ") + QDir::toNativeSeparators(ProgramFolder()));

    // A run that ended without closing left its journal: its rows become a data file now, before
    // this run can write anything.
    const TJournalRecovery recovery = RecoverJournal(root.filePath(QStringLiteral("Userdata")));
    if (recovery.Found)
        LogEvent(QStringLiteral("Journal"), recovery.Message());
    QString isothermError;
    if (recovery.Recovered &&
        !TTitrationFile::RecomputeIsotherm(recovery.DataFilePath,
                                           TIsothermFile::PathFor(recovery.JournalPath), &isothermError))
        LogEvent(QStringLiteral("Journal"), isothermError);
    // Faults and recoveries of the instrument links go to the event log whatever the diagnostic
    // channels' switches say.
    for (TLinkMonitor* link : {&fRun.LinkSMU, &fRun.LinkDMM})
        link->SetListener([](const QString& name, const QString& text) { LogEvent(name, text); });

    Statusbar();
    PageControlMain->setCurrentIndex(0);
    GetAvailableComPorts();
    fRun.SaveFileNumber = 1;

    // The cell and sample files loaded or saved last come back (the calibration, the name and the
    // sample of the run before a restart); without one, or when it has gone, the Default.ini.
    const TInstrumentSettings settings(TInstrumentSettings::DefaultPath());
    const auto startFile = [&](const QString& remembered, const char* fallback) {
        return !remembered.isEmpty() && QFileInfo(remembered).isFile()
                   ? remembered
                   : root.filePath(QString::fromLatin1(fallback));
    };
    const QString cell = startFile(settings.LastCellFile(), "Cell/Default.ini");
    if (QFileInfo::exists(cell))
        ExperimentData->LoadCellDetails(cell);
    const QString pidFile = root.filePath(QStringLiteral("PID/Default.txt"));
    if (QFileInfo::exists(pidFile))
        TabSheetPID->LoadList(pidFile); // the table is built when the page is first shown
    const QString sample = startFile(settings.LastSampleFile(), "Sample/Default.ini");
    if (QFileInfo::exists(sample)) {
        ExperimentData->LoadSampleDetails(sample);
        ExperimentData->SampleCalculations();
    }
    fStepEditor->LoadRememberedProgram();

    ButtonSMUTestClick();
    Button2000TestClick();

    // The web monitor, when the settings file has it on.
    fMonitorControl->Load();

    if (recovery.Found) {
        ConfigurationPage->AppendLog(QString());
        ConfigurationPage->AppendLog(recovery.Message());
        // Told once the window is up, so the operator sees it over the program it is about.
        QTimer::singleShot(0, this, [text = recovery.Message()] { Dialogs().Message(text); });
    }
}

void TfrmOndrix::FormatGrid() {
    DataGrid->FormatGrid();
    RawData->ApplyColumnWidths();
}

void TfrmOndrix::LoadInstrumentSettings() {
    const TInstrumentPorts ports = TInstrumentSettings(TInstrumentSettings::DefaultPath()).Read();
    ConfigurationPage->EditSMUCOMPort->setText(ports.SMU);
    ConfigurationPage->Edit2000COMPort->setText(ports.DMM);
    LogForm.Send(QStringLiteral("Ini file loaded"));
}

void TfrmOndrix::SaveInstrumentSettings() {
    // A simulated port is a pseudo-terminal that will be gone (or somebody else's) next time.
    std::optional<QString> smu, dmm;
    if (ConfigurationPage->CheckBoxSMUValidated->isChecked() && SMUComPort != fSimulated.SMU)
        smu = SMUComPort;
    if (ConfigurationPage->CheckBox2000Validated->isChecked() &&
        ConfigurationPage->Edit2000COMPort->text() != fSimulated.DMM)
        dmm = ConfigurationPage->Edit2000COMPort->text();
    TInstrumentSettings(TInstrumentSettings::DefaultPath()).Write(smu, dmm, LogForm.Enabled());
    LogForm.Send(QStringLiteral("Ini file saved"));
}

void TfrmOndrix::GetAvailableComPorts() {
    ConfigurationPage->AppendLog(QString());
    std::optional<QStringList> ports = fPortLister();
    for (const QString& sim : {fSimulated.SMU, fSimulated.DMM})
        if (!sim.isEmpty()) {
            if (!ports)
                ports = QStringList();
            ports->append(sim);
        }
    if (ports) {
        ConfigurationPage->AppendLog(QStringLiteral("Available COM ports:"));
        for (const QString& p : *ports)
            ConfigurationPage->AppendLog(p);
    } else {
        ConfigurationPage->AppendLog(QStringLiteral("No available COM ports!"));
    }
    ConfigurationPage->AppendLog(QString());
    ConfigurationPage->AppendLog(QStringLiteral("Type in ports to boxes on the left and click validate to "
                                                "verify the instrument can be communicated with."));
}

void TfrmOndrix::Timer1Timer() {
    Tick->Timer1Timer();
}
void TfrmOndrix::PageControlMainChange() {
    if (PageControlMain->currentWidget() == TabSheetPID)
        TabSheetPID->BuildTable();
}

void TfrmOndrix::ButtonSMUTestClick() {
    Validator->ButtonSMUTestClick();
}
void TfrmOndrix::Button2000TestClick() {
    Validator->Button2000TestClick();
}

void TfrmOndrix::Statusbar() {
    fStepView->Refresh(fRun.ProgramState, fRun.CurrentStep); // marks the running row of the list
    fStepStatus->Follow(fRun.ProgramState, fRun.CurrentStep, fModel->StepCount());
    const TMonitorStatus status = Status();
    const TStatusBarTexts t = TRunStatus::StatusBar(status);

    // A link fault is shown in red. Restyled only when a fault begins or ends: a style sheet set
    // four times a second re-polishes the pane every tick.
    RzGlyphStatus1->SetCaption(t.Links);
    RzGlyphStatus1->SetImageIndex(t.LinksImage);
    const QString style = t.LinkFault ? QStringLiteral("color: #c00000;") : QString();
    if (RzGlyphStatus1->styleSheet() != style)
        RzGlyphStatus1->setStyleSheet(style);
    RzGlyphStatus1->setFixedWidth(
        std::max(148, t.LinkFault ? RzGlyphStatus1->fontMetrics().horizontalAdvance(t.Links) + 40 : 0));
    RzGlyphStatus2->SetCaption(t.Temperature);
    RzGlyphStatus2->SetImageIndex(t.TemperatureImage);
    RzStatusPaneFlushpO2->SetCaption(t.Flush);
    RzStatusPaneRC->SetCaption(t.RC);
    RzStatusPaneStep->SetCaption(t.Mode);
    RzStatusPaneStepStatus->SetCaption(t.Step);
    RzStatusPaneStepStatus->setToolTip(t.Step);
    RzStatusPaneStepStatus->setVisible(!t.Step.isEmpty());
    fStepView->SetStatusText(t.Step);
    ShowNoticePane(t.Notice);
    TStatusHints::Apply(*this);
    if (fMonitor->IsRunning())
        fMonitorFeed->SetStatus(status);
}

TMonitorStatus TfrmOndrix::Status() const {
    return TRunStatus::Make({fRun, *fModel, *fStepStatus, fRun.LinkSMU, fRun.LinkDMM,
                             ExperimentControl->RtDoubleEditPISSP->Value(), NoticeText(), JournalPath(),
                             fFlushText, Titration->Run.Delta()});
}

void TfrmOndrix::FeedMonitor() {
    // The monitor keeps its own copy of the rows only while it serves: the first time it finds it
    // running it takes every row the grid holds, then each new one as it enters.
    if (!fMonitor->IsRunning())
        return;
    const int last = DataGrid->RowCount() - 1;
    if (fMonitorFedRow > last)
        fMonitorFedRow = 0; // the grid was cleared: its new rows follow the old ones
    if (last == fMonitorFedRow + 1) {
        fMonitorFeed->AddRow(DataGrid->Row(++fMonitorFedRow));
        return;
    }
    std::vector<TDataRow> rows;
    rows.reserve(std::size_t(std::max(0, last - fMonitorFedRow)));
    while (fMonitorFedRow < last)
        rows.push_back(DataGrid->Row(++fMonitorFedRow));
    fMonitorFeed->AddRows(rows);
}

bool TfrmOndrix::StartMonitor(const TMonitorConfig& config, QString* error) {
    return fMonitorControl->StartForThisRun(config, error);
}

void TfrmOndrix::AddDataUpdates() {
    fRowBuilder->AddDataUpdates();
}

TSaveResult TfrmOndrix::Save(TSaveNotice notice) {
    const int rows = fRowsSinceSave;
    TExperimentFileRecord record = fModel->FileRecord();
    // The journal already holds every row as the file does: the save copies those lines.
    if (fJournal)
        record.RowLines = fJournal->LinesOfRows(DataGrid->RowCount() - 1);
    const TSaveResult result = SaveExperiment(
        fRun, record, [this](const QString& caption) { setWindowTitle(caption); }, notice);
    fLastSaveFailed = !result.Ok();
    if (result.Ok()) {
        fRowsSinceSave -= rows; // rows built during the save's message box are not in this file
        fRun.LastSavedFile = result.FilePath;
        ShowNotice(TNotice::Save, QString()); // a failed save before is made good
        fRun.LastSavedTime = Now();
    }
    if (fJournal && fJournal->IsOpen())
        fJournal->Sync();
    return result;
}

TSaveResult TfrmOndrix::SaveUnattended() {
    // Autosaves and the saves at step advances run while nobody may be at the window: a failure
    // is shown in the notice pane and the event log (the save writes it there), never in a box
    // that would hold the tick until somebody closes it. The journal keeps every row meanwhile.
    const TSaveResult result = Save(TSaveNotice::None);
    if (!result.Ok())
        ShowNotice(TNotice::Save,
                   QStringLiteral("Save failed, the journal keeps the rows: ") + result.Message);
    return result;
}

void TfrmOndrix::ShowNotice(TNotice kind, const QString& text) {
    // Each kind of fault keeps its own line, so a failed save does not hide a journal that is
    // behind, nor the other way round. The pane shows it at once, not at the next refresh.
    fNotices[std::size_t(kind)] = text;
    ShowNoticePane(NoticeText());
}

QString TfrmOndrix::NoticeText() const {
    QStringList shown;
    for (const QString& n : fNotices)
        if (!n.isEmpty())
            shown << n;
    return shown.join(QStringLiteral("  |  "));
}

void TfrmOndrix::ShowNoticePane(const QString& text) {
    if (RzStatusPaneNotice->Caption() == text)
        return;
    RzStatusPaneNotice->SetCaption(text);
    RzStatusPaneNotice->setToolTip(text);
    RzStatusPaneNotice->setVisible(!text.isEmpty());
}

void TfrmOndrix::RowEntered(int row) {
    ++fRowsSinceSave;
    FeedMonitor();
    if (!fJournal) {
        // The journal starts with the run's first row, the head as the page holds it now.
        fJournal = std::make_unique<TExperimentJournal>();
        const TDateTime now = Now();
        TExperimentFileRecord record = fModel->FileRecord();
        record.Grid = nullptr;
        const QString userdata = ProgramPath(QStringLiteral("Userdata"));
        const QString path = QDir(QDir(userdata).filePath(TExperimentFile::DayFolderName(now)))
                                 .filePath(TExperimentJournal::FileName(record.Sample.Name, now));
        if (fJournal->Start(userdata, path, record.Sample.Name, TExperimentFile::Head(record, now),
                            DataGrid->Grid()))
            LogEvent(QStringLiteral("Journal"), QStringLiteral("started ") + QDir::toNativeSeparators(path));
        Titration->StartRun(TTitrationSetup::From(record.Sample, record.Cell), TIsothermFile::PathFor(path));
    }
    Titration->AddRow(DataGrid->Grid().Row(row));
    fJournal->Append(DataGrid->Grid(), row);
    ReportJournal();
}

void TfrmOndrix::SyncJournal() {
    if (!fJournal)
        return;
    fJournal->SyncIfDue();
    ReportJournal();
}

void TfrmOndrix::ReportJournal() {
    // A journal that falls behind is told once; it keeps the rows and writes them when it can.
    const bool behind = fJournal->Behind();
    if (behind && !fJournalFailed) {
        fJournalFailed = true;
        const QString text = QStringLiteral("Journal failed, rows are kept and written to it when it can be "
                                            "written again: ") +
                             fJournal->LastError();
        ShowNotice(TNotice::Journal, text);
        LogEvent(QStringLiteral("Journal"), text);
        qWarning("%s", qPrintable(text));
    } else if (!behind && fJournalFailed) {
        fJournalFailed = false;
        ShowNotice(TNotice::Journal, QString());
        LogEvent(QStringLiteral("Journal"),
                 QStringLiteral("written again, every row in it (%1 rows)").arg(fJournal->Rows()));
    }
}

QString TfrmOndrix::JournalPath() const {
    return fJournal ? fJournal->Path() : QString();
}

void TfrmOndrix::CloseWithoutQuestion() {
    fAskOnClose = false;
    BeginClose();
    CloseOnceBoxesAreGone();
}

void TfrmOndrix::CloseOnceBoxesAreGone() {
    if (fClosing)
        return;
    if (TQtDialogs::OpenBoxes() > 0) {
        // A signal can come while a box's exec() runs (this may be called from inside it): the box
        // is rejected, and the close waits until its loop has unwound.
        TQtDialogs::RejectOpenBoxes();
        QTimer::singleShot(20, this, &TfrmOndrix::CloseOnceBoxesAreGone);
        return;
    }
    close();
}

void TfrmOndrix::BeginClose() {
    if (fCloseBegun)
        return;
    fCloseBegun = true;
    // The pump first: whatever the save below does, the SourceMeter's worker sends 0 A as it
    // leaves its loop, and the tick in ToExit stops and frees both workers.
    fModel->ChangeMode(TProgramState::ToExit, TModeChangeReason::Close);
    if (Thread2401) {
        Thread2401->SetModeEx(TMode::SetCurrent);
        fModel->SetGSCurrent(0);
        Thread2401->RequestStop();
    }
    if (Thread2000)
        Thread2000->RequestStop();
    // Nobody may be there to answer a box: the close must not wait for one.
    TQtDialogs::RefuseBoxes(true);
    fDialogsBeforeClose = SetDialogs(
        std::make_shared<TDialogsWithoutBoxes>([this](const QString& text) { ReportAtClose(text); }));
    if (fCloseLimit.count() > 0) {
        auto pumpAtZero = std::make_shared<std::atomic<bool>>(true);
        QString port;
        if (Thread2401) {
            pumpAtZero->store(false);
            // Runs on the worker's thread as its body returns, after its last command (0 A).
            connect(
                Thread2401, &QThread::finished, Thread2401, [pumpAtZero] { pumpAtZero->store(true); },
                Qt::DirectConnection);
            if (Thread2401->isFinished())
                pumpAtZero->store(true);
            port = Thread2401->Port;
        }
        fWatchdog =
            std::make_unique<TCloseWatchdog>(fCloseLimit, TCloseWatchdog::ProgramActions(pumpAtZero, port));
    }
}

void TfrmOndrix::ReportAtClose(const QString& text) {
    ShowNotice(TNotice::Close, text);
    LogEvent(QStringLiteral("Close"), text);
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::fflush(stderr);
}

bool TfrmOndrix::SaveAtClose() {
    // The save's own message box stays shut (it would hold the close): its result is reported here.
    std::shared_ptr<TDialogs> held = SetDialogs(std::make_shared<TDialogsWithoutBoxes>());
    const TSaveResult result = Save(TSaveNotice::None);
    SetDialogs(std::move(held));
    if (result.Ok())
        return true;
    QString text = QStringLiteral("Rows not saved at close: ") + result.Message;
    const QString path = QDir::toNativeSeparators(result.FilePath);
    if (!path.isEmpty() && !text.contains(path))
        text += QStringLiteral(" (") + path + u')';
    ReportAtClose(text);
    return false;
}

QCheckBox* TfrmOndrix::CheckBoxSMUValidated() const {
    return ConfigurationPage->CheckBoxSMUValidated;
}
QCheckBox* TfrmOndrix::CheckBox2000Validated() const {
    return ConfigurationPage->CheckBox2000Validated;
}

bool TfrmOndrix::FormCloseQuery() {
    return Dialogs().Confirm(QStringLiteral("Close the form? All unsaved data will be lost."));
}

void TfrmOndrix::FormClose() {
    BeginClose();
    fModel->ChangeMode(TProgramState::ToExit, TModeChangeReason::Close);
    setWindowTitle(QStringLiteral("Waiting for communication threads to close"));
    // The tick keeps running while we wait: in ToExit it stops both workers and frees them. A
    // worker stops within a cycle even when its instrument is silent; one that does not is left to
    // the destruction, so the save below still comes.
    const QDeadlineTimer deadline(5000);
    while ((Thread2000 || Thread2401) && !deadline.hasExpired())
        SleepProcessingEvents(150);
    // Every point completed before the workers stopped becomes a row; the rows not in a data file
    // yet are saved.
    AddDataUpdates();
    const bool saved = fRowsSinceSave <= 0 || SaveAtClose();
    Titration->FinishRun();
    if (fJournal) {
        // The journal's writer gets a bounded wait: a disk that does not answer does not hold the
        // close, and what the journal could not write is told where nobody has to click. Without
        // the rows saved its marker stays, so the next start recovers the rows the save could not
        // write.
        if (!fJournal->Finish(saved))
            ReportAtClose(QStringLiteral("The journal was not closed in order: ") + fJournal->LastError());
        if (saved)
            LogEvent(QStringLiteral("Journal"), QStringLiteral("ended with %1 rows").arg(fJournal->Rows()));
        else
            LogEvent(QStringLiteral("Journal"), QStringLiteral("kept for the next start with %1 rows: %2")
                                                    .arg(fJournal->Rows())
                                                    .arg(QDir::toNativeSeparators(fJournal->Path())));
    }
    emit Closed(saved);
}

void TfrmOndrix::FormDestroy() {
    if (fDestroyed)
        return;
    fDestroyed = true;
    Timer1->stop();
    fMonitor->Stop();
    // Both are asked at once, so their stops overlap.
    if (Thread2401)
        Thread2401->RequestStop();
    if (Thread2000)
        Thread2000->RequestStop();
    StopAndFree(Thread2401);
    StopAndFree(Thread2000);
    if (fJournal)
        fJournal->Close(); // without an orderly close the next start recovers it
    LogFileDestination::Install(nullptr);
    fLogFile.reset();
    LogEvent(QStringLiteral("Program"), QStringLiteral("closed"));
    InstallEventLog(nullptr);
    if (fCloseBegun) {
        SetDialogs(std::move(fDialogsBeforeClose));
        TQtDialogs::RefuseBoxes(false);
    }
    fWatchdog.reset(); // the close has ended in time
}

void TfrmOndrix::closeEvent(QCloseEvent* event) {
    if (fClosing) {
        event->ignore(); // already waiting for the workers
        return;
    }
    if (TQtDialogs::OpenBoxes() > 0) {
        // Called from inside a box's exec(): the window must not go before that has returned.
        event->ignore();
        if (fCloseBegun)
            CloseOnceBoxesAreGone();
        return;
    }
    if (fAskOnClose && !fCloseBegun && !FormCloseQuery()) {
        event->ignore();
        return;
    }
    fClosing = true;
    FormClose();
    event->accept();
}
