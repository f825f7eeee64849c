#include "app/TfrmOndrix.h"

#include "app/ConfigurationPage.h"
#include "app/InstrumentSettings.h"
#include "app/SharedState.h"
#include "common/Dialogs.h"
#include "common/ProgramFolder.h"
#include "common/Synchronize.h"
#include "diagnostics/LogChannel.h"
#include "diagnostics/LogFileDestination.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QSerialPortInfo>
#include <QTabWidget>
#include <QTimer>

namespace {
std::optional<QStringList> SystemPorts() {
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        names << info.portName();
    return names;
}

QWidget* Page(const QString& name, QWidget* parent) {
    auto* w = new QWidget(parent);
    w->setObjectName(name);
    return w;
}
} // namespace

TfrmOndrix::TfrmOndrix(TPortLister portLister, QWidget* parent)
    : QMainWindow(parent), fPortLister(portLister ? std::move(portLister) : TPortLister(SystemPorts)) {
    setObjectName(QStringLiteral("frmOndrix"));
    setWindowTitle(Caption());
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(8);
    setFont(font);
    resize(1055, 920);

    PageControlMain = new QTabWidget(this);
    PageControlMain->setObjectName(QStringLiteral("PageControlMain"));
    PageControlMain->setDocumentMode(true);
    ConfigurationPage = new TConfigurationPage(PageControlMain);
    TabSheetInstruments = ConfigurationPage;
    TabSheetExperimentSetup = Page(QStringLiteral("TabSheetExperimentSetup"), PageControlMain);
    TabSheetPID = Page(QStringLiteral("TabSheetPID"), PageControlMain);
    TabSheetExperimentControl = Page(QStringLiteral("TabSheetExperimentControl"), PageControlMain);
    TabSheetData = Page(QStringLiteral("TabSheetData"), PageControlMain);
    TabSheetDebug = Page(QStringLiteral("TabSheetDebug"), PageControlMain);
    PageControlMain->addTab(TabSheetInstruments, QStringLiteral("Configuration"));
    PageControlMain->addTab(TabSheetExperimentSetup, QStringLiteral("Experiment data"));
    PageControlMain->addTab(TabSheetPID, QStringLiteral("PID tuning"));
    PageControlMain->addTab(TabSheetExperimentControl, QStringLiteral("Experiment Control"));
    PageControlMain->addTab(TabSheetData, QStringLiteral("Raw data"));
    PageControlMain->addTab(TabSheetDebug, QStringLiteral("Debug"));
    setCentralWidget(PageControlMain);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(250);
    connect(Timer1, &QTimer::timeout, this, &TfrmOndrix::Timer1Timer);

    frmOndrix = this;
    FormCreate();
    Timer1->start();
}

TfrmOndrix::~TfrmOndrix() {
    FormDestroy();
    if (frmOndrix == this)
        frmOndrix = nullptr;
}

void TfrmOndrix::FormCreate() {
    LoadInstrumentSettings();

    // The program works in its own folder: data, logs, PID tables, cell and sample files.
    QDir::setCurrent(ProgramFolder());
    const QDir root(ProgramFolder());
    for (const QString folder : {QStringLiteral("Userdata"), QStringLiteral("Logs"), QStringLiteral("PID"),
                                 QStringLiteral("Cell"), QStringLiteral("Sample")}) {
        if (!QFileInfo(root.filePath(folder)).isDir() && !root.mkdir(folder))
            Dialogs().Message(QStringLiteral("Could not create '%1' folder").arg(folder));
    }

    fLogFile = std::make_shared<LogFileDestination>(root.filePath(QStringLiteral("Logs")),
                                                    QStringLiteral("Log.csl"), 1024, 20);
    LogFileDestination::Install(fLogFile);

    PageControlMain->setCurrentIndex(0);
    GetAvailableComPorts();
    SaveFileNumber = 1;
}

void TfrmOndrix::LoadInstrumentSettings() {
    const TInstrumentPorts ports = TInstrumentSettings(TInstrumentSettings::DefaultPath()).Read();
    ConfigurationPage->EditSMUCOMPort->setText(ports.SMU);
    ConfigurationPage->Edit2000COMPort->setText(ports.DMM);
    LogForm.Send(QStringLiteral("Ini file loaded"));
}

void TfrmOndrix::SaveInstrumentSettings() {
    std::optional<QString> smu, dmm;
    if (ConfigurationPage->CheckBoxSMUValidated->isChecked())
        smu = SMUComPort;
    if (ConfigurationPage->CheckBox2000Validated->isChecked())
        dmm = ConfigurationPage->Edit2000COMPort->text();
    TInstrumentSettings(TInstrumentSettings::DefaultPath()).Write(smu, dmm, LogForm.Enabled());
    LogForm.Send(QStringLiteral("Ini file saved"));
}

void TfrmOndrix::GetAvailableComPorts() {
    ConfigurationPage->AppendLog(QString());
    const std::optional<QStringList> ports = fPortLister();
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
    if (ProgramState == TProgramState::Uninitialized)
        return;
    if (ProgramState == TProgramState::ToExit)
        return; // no worker threads exist yet to stop
}

bool TfrmOndrix::FormCloseQuery() {
    return Dialogs().Confirm(QStringLiteral("Close the form? All unsaved data will be lost."));
}

void TfrmOndrix::FormClose() {
    ProgramState = TProgramState::ToExit;
    setWindowTitle(QStringLiteral("Waiting for communication threads to close"));
    // The tick keeps running while we wait: in ToExit it stops both workers and frees them.
    while (Thread2000 || Thread2401)
        SleepProcessingEvents(150);
}

void TfrmOndrix::FormDestroy() {
    if (fDestroyed)
        return;
    fDestroyed = true;
    Timer1->stop();
    LogFileDestination::Install(nullptr);
    fLogFile.reset();
}

void TfrmOndrix::closeEvent(QCloseEvent* event) {
    if (fClosing) {
        event->ignore(); // already waiting for the workers
        return;
    }
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    fClosing = true;
    FormClose();
    event->accept();
}
