#pragma once
// Bounds the close. Whatever holds the main thread while the program closes (a disk that does not
// answer, a nested wait that never ends), the process is gone a fixed time after the close began:
// a service manager that sends SIGKILL a few seconds after SIGTERM must never find the pump driven
// or the journal's marker gone.
//
// When the time is up, the watchdog makes sure the pump was told 0 A: the SourceMeter's worker,
// asked to stop when the close began, sends 0 A as it leaves its loop; if it has not left it, 0 A
// goes out on the SourceMeter's port from here. Then the process ends at once with
// kTimedOutExitCode, leaving the instruments' threads behind, and the journal with its marker for
// the next start to recover.
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class TCloseWatchdog {
public:
    // What the watchdog does when the time is up; each runs on the watchdog's own thread.
    struct TActions {
        // Whether the SourceMeter has been sent 0 A (its worker has left its loop, or there is none).
        std::function<bool()> PumpAtZero;
        // Sends 0 A to the SourceMeter, for a worker that has not left its loop. May hang: the
        // watchdog waits for it at most kSendZeroWait.
        std::function<void()> SendZero;
        // Says why the process ends.
        std::function<void(const QString&)> Report;
        // Ends the process with the given code, at once.
        std::function<void(int)> Exit;
    };

    static constexpr int kTimedOutExitCode = 3;
    // The program's limit: the watchdog ends the process well within the 10 s a service manager
    // commonly grants between SIGTERM and SIGKILL.
    static constexpr std::chrono::milliseconds kProgramLimit{8000};
    static constexpr std::chrono::milliseconds kSendZeroWait{1000};

    // Starts watching: `limit` from now, unless destroyed first.
    TCloseWatchdog(std::chrono::milliseconds limit, TActions actions);
    // The close ended in time: nothing happens.
    ~TCloseWatchdog();
    TCloseWatchdog(const TCloseWatchdog&) = delete;
    TCloseWatchdog& operator=(const TCloseWatchdog&) = delete;

    // The program's actions: `pumpAtZero` is set once the SourceMeter's worker has left its loop
    // (true from the start when there is none), `smuPort` is its port; the report goes to standard
    // error and the event log, and the exit is immediate (no destructors, no atexit handlers).
    static TActions ProgramActions(std::shared_ptr<std::atomic<bool>> pumpAtZero, QString smuPort);

private:
    void Watch(std::chrono::milliseconds limit);

    TActions fActions;
    std::mutex fMutex;
    std::condition_variable fWake;
    bool fDisarmed = false;
    std::thread fThread;
};
