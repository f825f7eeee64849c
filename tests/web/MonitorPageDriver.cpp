// The program's window against the simulated cell with the web monitor on, for the browser test
// of the monitor's page: listens on 127.0.0.1:PORT, starts a run of the experiment "LSCF rig 2" that
// holds pO2 at 1e-3 atm (PID setpoint -3, the shipped PID table) with a data point a second, prints "READY
// <address of the page>" and runs until its standard input closes (or SIGTERM), then closes the window as the
// operator does. Its files go to a temporary program folder that is removed afterwards.
//
//   monitor_page_driver PORT
#include "app/ExperimentControlPage.h"
#include "app/ExperimentDataPage.h"
#include "app/PIDTuningPage.h"
#include "app/TRtDoubleEdit.h"
#include "monitor/MonitorConfig.h"
#include "monitor/MonitorServer.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/SimulatedWindow.h"
#include "tests/support/TempFolder.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QRadioButton>
#include <QSocketNotifier>
#include <QTest>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {
volatile std::sig_atomic_t gStop = 0;
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int port = argc > 1 ? QByteArray(argv[1]).toInt() : 0;
    if (port <= 0 || port > 65535) {
        std::fprintf(stderr, "usage: monitor_page_driver PORT\n");
        return 2;
    }
    std::signal(SIGTERM, [](int) { gStop = 1; });

    TTempProgramFolder folder;
    auto dialogs = std::make_shared<TScriptedDialogs>();
    SetDialogs(dialogs);
    TSimOptions options;
    options.controlFifo = false;
    TCellSimulator sim(options);
    std::string error;
    if (!sim.Start(error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return 1;
    }
    std::unique_ptr<TfrmOndrix> w = OpenSimulatedWindow(sim, 1);
    TMonitorConfig config;
    config.Port = std::uint16_t(port);
    QString why;
    if (!w->StartMonitor(config, &why)) {
        std::fprintf(stderr, "monitor: %s\n", qPrintable(why));
        return 1;
    }
    // The PID needs its table: the one the program ships with.
    QDir().mkpath(folder.file(QStringLiteral("PID")));
    QFile::copy(QStringLiteral(ONDRIX_SOURCE_DIR "/data/PID/Default.txt"),
                folder.file(QStringLiteral("PID/Default.txt")));
    if (!w->TabSheetPID->LoadList(folder.file(QStringLiteral("PID/Default.txt")))) {
        std::fprintf(stderr, "the PID table does not load\n");
        return 1;
    }
    w->PageControlMain->setCurrentWidget(w->TabSheetPID); // showing the page builds the table
    w->ExperimentData->EditSampleName->setText(QStringLiteral("LSCF rig 2"));
    w->ExperimentControl->RtDoubleEditPISSP->SetValue(-3);
    QTest::mouseClick(w->ExperimentControl->RadioButtonPIDSet, Qt::LeftButton);
    std::printf("READY %s\n", qPrintable(w->Monitor().Url()));
    std::fflush(stdout);

    // Until the test lets go of standard input, or a termination signal.
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            gStop = 1;
    });
    while (!gStop)
        SleepProcessingEvents(50);
    CloseWindow(w, *dialogs);
    sim.Stop();
    SetDialogs(nullptr);
    return 0;
}
