#pragma once
// The bundled cell simulator as a child process, for `ondrix --simulate`: a simulated SourceMeter
// and MultiMeter on two pseudo-terminals next to a simulated cell, so a machine without the
// instruments shows a working program.
#include <QProcess>
#include <QString>

class TSimulatedCell {
public:
    TSimulatedCell() = default;
    ~TSimulatedCell();
    TSimulatedCell(const TSimulatedCell&) = delete;
    TSimulatedCell& operator=(const TSimulatedCell&) = delete;

    // Starts `program` (with extra arguments) and waits for its two port lines; on failure returns
    // false with a message in `error`.
    bool Start(const QString& program, const QStringList& extraArgs, QString& error);
    void Stop();
    QString SMUPort() const { return fSMU; }
    QString DMMPort() const { return fDMM; }
    // The simulator next to this executable.
    static QString DefaultProgram();

private:
    QProcess fProcess;
    QString fSMU, fDMM;
};
