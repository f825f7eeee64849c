#pragma once
// The main window: its pages, the supervisory timer, start-up and the close sequence.
#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class QTabWidget;
class QTimer;
class QCloseEvent;
class TConfigurationPage;
class LogFileDestination;

class TfrmOndrix : public QMainWindow {
    Q_OBJECT
public:
    // The system's list of serial port names, or nothing when no list can be had.
    using TPortLister = std::function<std::optional<QStringList>()>;

    // Creates the window and runs FormCreate. portLister replaces the system's port list (tests).
    explicit TfrmOndrix(TPortLister portLister = {}, QWidget* parent = nullptr);
    ~TfrmOndrix() override;

    // Start-up, close question, close and destruction, in the order the program runs them.
    void FormCreate();
    bool FormCloseQuery();
    void FormClose();
    void FormDestroy();

    void LoadInstrumentSettings();
    void SaveInstrumentSettings();
    void GetAvailableComPorts();
    void Timer1Timer();

    QTabWidget* PageControlMain;
    QWidget* TabSheetInstruments;
    QWidget* TabSheetExperimentSetup;
    QWidget* TabSheetPID;
    QWidget* TabSheetExperimentControl;
    QWidget* TabSheetData;
    QWidget* TabSheetDebug;
    TConfigurationPage* ConfigurationPage;
    QTimer* Timer1;

    static QString Caption() { return QStringLiteral("Ondrix 2021-07-09"); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    TPortLister fPortLister;
    std::shared_ptr<LogFileDestination> fLogFile;
    bool fClosing = false;
    bool fDestroyed = false;
};
