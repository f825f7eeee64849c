#pragma once
// What the SourceMeter's results step reads from and writes to the window, so the thread
// needs no window.
#include <QStringList>

class IThread2401Host {
public:
    virtual ~IThread2401Host() = default;
    virtual double DataPointLength() const = 0;                // "Datapoint integration time, s"
    virtual int SetVoltagemV() const = 0;                      // the PS set voltage, mV
    virtual void ShowPIDListing(const QStringList& lines) = 0; // the Debug page's memo
};
