#pragma once
// The state of one instrument link as its worker sees it, for the window and the event log:
//   OK          readings come back;
//   Failing     a run of failed or malformed exchanges since a time, with the latest reason;
//   Recovering  the worker is sending the instrument's set-up sequence again.
// The worker reports every cycle (Success / Failure); after a few seconds of failures it re-runs
// the set-up sequence, with a pause that grows from 1 s to 30 s between tries, until readings come
// back. Read from any thread; written by the worker.
#include "common/DateTime.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

enum class TLinkState : std::uint8_t { OK, Failing, Recovering };

class TLinkMonitor {
public:
    // `name` is the instrument's short name in texts ("SMU", "DMM").
    explicit TLinkMonitor(QString name) : fName(std::move(name)) {}

    // Called with every change of state, on the worker's thread: the event log hears of faults
    // and recoveries here (the text is one line: "no reply since 14:02:11", "readings back after
    // 12.3 s", "re-initialising, try 2").
    void SetListener(std::function<void(const QString& name, const QString& text)> listener);

    // Back to OK, as when a worker starts.
    void Reset();
    // A good exchange this cycle. True when it ended a fault.
    bool Success(TDateTime now);
    // A failed or malformed exchange this cycle. True when it started a fault (the first failure
    // counts as a glitch; the second in a row, or a failure a second after the first, is a fault).
    // `answered`: the instrument replied, but not as set up. After silence that is what an
    // instrument back from a power cut does, so the set-up goes out at once instead of after the
    // rest of a long pause.
    bool Failure(TDateTime now, const QString& reason, bool answered = false);
    // Whether the worker should send the set-up sequence now: the fault has lasted kReinitAfterS
    // and the pause since the last try has passed. Marks the link Recovering and lengthens the
    // pause (1, 2, 4 ... 30 s).
    bool ReinitDue(TDateTime now);

    TLinkState State() const { return fState.load(); }
    bool IsOK() const { return fState.load() == TLinkState::OK; }
    // The status bar's text while a fault lasts ("SMU: no reply since 14:02:11", "DMM:
    // re-initialising"), empty while OK.
    QString StatusText() const;
    int Reinits() const { return fReinits.load(); }

    static constexpr double kReinitAfterS = 3.0;
    static constexpr double kFirstPauseS = 1.0;
    static constexpr double kLongestPauseS = 30.0;

private:
    void Tell(const QString& text);

    const QString fName;
    std::function<void(const QString&, const QString&)> fListener;
    std::atomic<TLinkState> fState{TLinkState::OK};
    std::atomic<int> fReinits{0};
    mutable std::mutex fLock;
    QString fReason;
    TDateTime fFirstFailure = 0; // of the current run of failures
    int fFailures = 0;           // in a row
    bool fAnswered = true;       // the last failure was a reply (not silence)
    TDateTime fSince = 0;        // the fault's start
    TDateTime fNextTry = 0;
    double fPauseS = kFirstPauseS;
};

// The links of the two instruments, one each for the process.
TLinkMonitor& LinkSMU();
TLinkMonitor& LinkDMM();
// Whether both links deliver: a data point is only built from readings taken while they do.
bool LinksOK();
