#include "app/SimulatedCell.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>

TSimulatedCell::~TSimulatedCell() {
    Stop();
}

QString TSimulatedCell::DefaultProgram() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("ondrix-cellsim"));
}

bool TSimulatedCell::Start(const QString& program, const QStringList& extraArgs, QString& error) {
    fProcess.setProgram(program);
    fProcess.setArguments(QStringList{QStringLiteral("--exit-with-parent")} + extraArgs);
    // Its standard error (the values to type into the program, a refused option) shows on ours.
    fProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    fProcess.setReadChannel(QProcess::StandardOutput);
    fProcess.start();
    if (!fProcess.waitForStarted(10000)) {
        error =
            QStringLiteral("Could not start the cell simulator %1: %2").arg(program, fProcess.errorString());
        return false;
    }
    // It prints "SMU <path>" and "DMM <path>", then serves until it is stopped.
    QDeadlineTimer deadline(15000);
    while ((fSMU.isEmpty() || fDMM.isEmpty()) && !deadline.hasExpired()) {
        if (!fProcess.canReadLine() && !fProcess.waitForReadyRead(int(deadline.remainingTime())))
            break;
        while (fProcess.canReadLine()) {
            const QString line = QString::fromLocal8Bit(fProcess.readLine()).trimmed();
            if (line.startsWith(QLatin1String("SMU ")))
                fSMU = line.mid(4);
            else if (line.startsWith(QLatin1String("DMM ")))
                fDMM = line.mid(4);
        }
    }
    if (fSMU.isEmpty() || fDMM.isEmpty()) {
        error =
            fProcess.state() == QProcess::NotRunning
                ? QStringLiteral("The cell simulator stopped (exit code %1) before it reported its ports; "
                                 "its standard error says why")
                      .arg(fProcess.exitCode())
                : QStringLiteral("The cell simulator did not report its ports");
        Stop();
        return false;
    }
    return true;
}

void TSimulatedCell::Stop() {
    if (fProcess.state() == QProcess::NotRunning)
        return;
    fProcess.terminate(); // the simulator removes its port links on SIGTERM
    if (!fProcess.waitForFinished(5000)) {
        fProcess.kill();
        fProcess.waitForFinished(2000);
    }
}
