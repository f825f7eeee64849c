#pragma once
// A named diagnostic message stream with an on/off switch. Every operation does nothing while the
// switch is off; otherwise the entry goes to the log file (LogFileDestination), if one exists.
// Safe to call from any thread; each thread's entries keep their order.
#include <QString>
#include <atomic>

class LogChannel {
public:
    explicit LogChannel(const QString& category, bool enabled = false);
    LogChannel(const LogChannel&) = delete;
    LogChannel& operator=(const LogChannel&) = delete;

    QString Category; // set by the creator only
    bool Enabled() const { return fEnabled.load(std::memory_order_relaxed); }
    void SetEnabled(bool on) { fEnabled.store(on, std::memory_order_relaxed); }

    void Send(const QString& text);
    void EnterMethod(const QString& name);
    void ExitMethod(const QString& name);
    void Clear();

private:
    enum class Kind { Message, Enter, Exit, Clear };
    void Deliver(Kind kind, const QString& text);
    std::atomic<bool> fEnabled;
};

// The eight channels of the program, one per unit, in creation order.
extern LogChannel LogSerialPort;    // "Serial port": serial transactions
extern LogChannel LogThermocouples; // "Thermocouples unit": sensor pO2 calculation
extern LogChannel LogSynchronizer;  // "Synchronizer": readings added to an average
extern LogChannel LogPID;           // "PID"
extern LogChannel LogK2000;         // "K2000": multimeter thread
extern LogChannel LogLLS;           // "LLS": least-squares fits
extern LogChannel LogForm;          // "Form": main window, settings file, relative change, saves
extern LogChannel LogThread2401;    // "Thread 2401": SourceMeter thread (off at start)

// Sets every channel to its start switch and runs its start-up actions, in creation order.
void InitializeLogChannels();

// Names the calling thread in its log entries ("K2000", "2401"); the main thread is "Main".
void SetLogThreadName(const QString& name);
