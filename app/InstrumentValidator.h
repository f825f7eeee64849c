#pragma once
// Validation of both instruments from the "Configuration" page: identify the instrument on its
// port, send its set-up sequence, mark it validated, replace its worker thread and save the port.
// Everything it reports goes to the configuration memo.
#include <QObject>

class TfrmOndrix;
class TSerialPort;
struct TSerialResponse;

class TInstrumentValidator : public QObject {
    Q_OBJECT
public:
    explicit TInstrumentValidator(TfrmOndrix& form);

    void ButtonSMUTestClick();
    void Button2000TestClick();

    // Takes the pump to no current, then stops the SourceMeter worker and frees it.
    void StopAndFreeThread2401();

private:
    void Log(const QString& line);
    // Logs the search, asks the instrument on `port` who it is and logs what it said.
    TSerialResponse Identify(TSerialPort& com, const QString& port, int baud, int pollMs);
    TfrmOndrix& fForm;
};
