#pragma once
// The state of one instrument link as its worker sees it, for the window and the event log:
//   OK          readings come back;
//   Failing     failed or malformed exchanges since a time, with the latest reason;
//   Recovering  the worker has sent the instrument's set-up sequence again and waits for readings.
// Every failed exchange is a fault at once (the open data point must not span even a short
// dropout), dated by the start of the first failed exchange, not by when its failure was noticed
// (a reply time-out ends seconds after the instrument fell silent). The worker reports each
// failed exchange and each good cycle; while a fault lasts it sends the set-up sequence again,
// at once and then with a pause that grows from 1 s to 30 s, and a fault ends only with a good
// cycle after a set-up that reached a listening instrument: after silence, or after an answer
// that is not as set up, the instrument may be back at its power-on settings.
// Durations and pauses run on the monotonic clock; the texts show the wall-clock time of day.
// Read from any thread; written by the worker.
#include "common/DateTime.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

enum class TLinkState : std::uint8_t { OK, Failing, Recovering };

// A moment on both clocks: the monotonic one for durations and pauses, the wall clock for the time
// of day a person reads.
struct TLinkInstant {
    double Monotonic = 0; // s, MonotonicSeconds()
    TDateTime Wall = 0;   // days, Now()
    static TLinkInstant Take();
};

class TLinkMonitor {
public:
    // `name` is the instrument's short name in texts ("SMU", "DMM").
    explicit TLinkMonitor(QString name) : fName(std::move(name)) {}

    // Called with every change of state, on the worker's thread: the event log hears of faults
    // and recoveries here (the text is one line: "no reply since 14:02:11", "readings back after
    // 12.3 s (no reply)", "re-initialising (2)").
    void SetListener(std::function<void(const QString& name, const QString& text)> listener);

    // Back to OK, as when a worker starts.
    void Reset();
    // A cycle whose exchanges all came back as set up. True when it ended a fault.
    bool Success();
    // One exchange came back as set up, in a cycle that may still fail: the instrument listens.
    void Replied();
    // A failed or malformed exchange that began at `began`. True when it started a fault.
    // `answered`: the instrument replied, but not as set up; false for silence (no reply, a port
    // that cannot be opened). An answer after silence is what an instrument back from a power cut
    // gives, so the set-up goes out at once instead of after the rest of a long pause.
    bool Failure(const TLinkInstant& began, const QString& reason, bool answered = false);
    // Whether the worker should send the set-up sequence now: a fault lasts and the pause since
    // the last try has passed. Marks the link Recovering and lengthens the pause (1, 2, 4 ... 30 s).
    bool ReinitDue();

    TLinkState State() const { return fState.load(); }
    bool IsOK() const { return fState.load() == TLinkState::OK; }
    // The status bar's text while a fault lasts ("SMU: no reply since 14:02:11", "DMM:
    // re-initialising (no reply since 14:02:11)"), empty while OK.
    QString StatusText() const;
    int Reinits() const { return fReinits.load(); }

    static constexpr double kFirstPauseS = 1.0;
    static constexpr double kLongestPauseS = 30.0;

private:
    void Tell(const QString& text);
    // The next set-up goes out at the next cycle, and the pause starts again from its shortest.
    void TryAtOnce(double now);

    const QString fName;
    std::function<void(const QString&, const QString&)> fListener;
    std::atomic<TLinkState> fState{TLinkState::OK};
    std::atomic<int> fReinits{0};
    mutable std::mutex fLock;
    QString fReason;
    bool fAnswered = true;   // the last exchange got a reply of some kind (not silence)
    bool fSetUpOwed = false; // the instrument may have lost its set-up since one last reached it
    TLinkInstant fSince;     // the fault's start: the first failed exchange
    double fNextTry = 0;     // monotonic s
    double fPauseS = kFirstPauseS;
};
