// Ondrix: operator and data-acquisition program of a coulometric titration cell.
//
//   ondrix              the program with the instruments on the ports of its settings file
//   ondrix --simulate   the same with the bundled cell simulator on two pseudo-terminals
#include "app/QtDialogs.h"
#include "app/SignalCloser.h"
#include "app/SimulatedCell.h"
#include "app/TfrmOndrix.h"
#include "diagnostics/LogChannel.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <memory>

int main(int argc, char** argv) {
    // The log channels exist before the window; the log file opens during its creation.
    InitializeLogChannels();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ondrix"));
    auto dialogs = std::make_shared<TQtDialogs>();
    SetDialogs(dialogs);

    TSimulatedCell simulator;
    TfrmOndrix::TSimulatedPorts simulated;
    if (QApplication::arguments().contains(QStringLiteral("--simulate"))) {
        QString error;
        if (simulator.Start(TSimulatedCell::DefaultProgram(), {}, error)) {
            simulated.SMU = simulator.SMUPort();
            simulated.DMM = simulator.DMMPort();
        } else {
            QMessageBox::warning(nullptr, QStringLiteral("Ondrix"), error);
        }
    }

    auto* window = new TfrmOndrix({}, simulated);
    window->setAttribute(Qt::WA_DeleteOnClose);
    dialogs->SetParent(window);
    // A termination signal closes like the close button, without asking: data saved, pump at 0 A.
    QPointer<TfrmOndrix> closing(window);
    TSignalCloser signalCloser([closing] {
        if (closing)
            closing->CloseWithoutQuestion();
    });
    window->showMaximized();
    const int rc = QApplication::exec();
    SetDialogs(nullptr);
    simulator.Stop();
    return rc;
}
