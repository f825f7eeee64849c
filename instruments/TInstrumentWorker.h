#pragma once
// What the two instrument workers share: the thread with its port name, the stop request and the
// stopped mark the main thread watches, the pause loop, the wait after a port that cannot be
// opened, the hand-over to the main thread, the instrument's link state and the set-up sequence
// sent again while the link is down. A worker adds only its own cycle; what the main thread does
// with its readings is a results step of its own, which shares only the stop request and the
// worker's named hand-over object with it.
#include "common/HandOver.h"
#include "common/Synchronize.h"
#include "instruments/StopRequest.h"
#include "instruments/TLinkMonitor.h"

#include <QString>
#include <QThread>
#include <atomic>
#include <functional>

class LogChannel;
class TSerialPort;

class TInstrumentWorker : public QThread {
    Q_OBJECT
public:
    ~TInstrumentWorker() override;

    // Main thread's handles. The worker leaves its loop soon after ToStopEx is set and then
    // reports IsStopped; the owner frees it only after that (StopAndFree).
    bool ToStopEx() const { return fStop.Asked.load(); }
    void SetToStopEx(bool v) { fStop.Asked.store(v); }
    bool IsStopped() const { return fIsStopped.load(); }
    // Asks the worker to stop, the way its instrument wants it asked.
    virtual void RequestStop() { SetToStopEx(true); }

    QString Port; // set before the thread is started

protected:
    // `name` names the thread in the log; `log` is the worker's log channel, `link` its
    // instrument's link state.
    TInstrumentWorker(const QString& name, LogChannel& log, TLinkMonitor& link, QObject* parent);

    void run() final;
    // The worker's loop; returns when a stop was requested.
    virtual void Execute() = 0;
    // Sends the instrument's set-up sequence on Port.
    virtual void Initialize() = 0;
    // What the main thread does when a link fault began (the open data point must not span it);
    // made on the worker's thread, run on the main thread.
    virtual std::function<void()> LinkFaultUpdate() = 0;

    // A stop was requested, or taken over by the results step.
    bool StopRequested() const { return fStop.Any(); }
    bool StopTaken() const { return fStop.Taken.load(); }
    // Sleeps about ms milliseconds, less when a stop is requested.
    void SleepUnlessStopping(int ms) const;
    // While the worker is paused: a hand-over of its paused update a second, which may wait for the
    // main thread as long as it likes (nothing is lost while paused). False when a stop request
    // ended the pause.
    bool WaitWhilePaused();
    virtual bool Paused() const = 0;
    // The results step of a paused second, made when the second has passed.
    virtual std::function<void()> PausedUpdate() = 0;
    // Before each paused second (the SourceMeter says so in its log).
    virtual void PausedSecondStarts() {}
    // A port that cannot be opened (unplugged adapter) fails at once. Without a pause the loop
    // would spin, writing its failure lines to the log and handing over to the main thread
    // thousands of times a second; a missing port costs what a silent instrument costs. A stop
    // request ends the pause.
    void PauseAfterUnopenablePort(const TSerialPort& COM) const;
    // An instrument that came back from a power cut has lost its set-up: while the link is down
    // the set-up sequence goes out again, at once and then with a growing pause between tries.
    // True when it went.
    bool ReinitializeIfDue();
    // The outcomes for the link: a cycle whose exchanges all came back as set up; one exchange
    // that came back as set up; one failed exchange, dated by when it began (a time-out is
    // noticed seconds later). A failure that starts a fault drops the open point.
    void LinkSuccess() { fLink.Success(); }
    void LinkReplied() { fLink.Replied(); }
    void LinkFailure(const TLinkInstant& began, const QString& reason, bool answered);
    // Hands fn to the main thread (see THandOver::Post); a stop request ends the wait.
    void HandOver(std::function<void()> fn, int waitMs) {
        fHandOver.Post(std::move(fn), waitMs, &fStop.Asked);
    }
    // The loop starts: not stopped, the link as good until a cycle fails.
    void StartLink();
    // The loop has ended; the owner may free the worker.
    void MarkStopped() { fIsStopped.store(true); }

    // Shared with the results step, which takes the request over.
    TStopRequest fStop;

private:
    const QString fName;
    LogChannel& fLog;
    TLinkMonitor& fLink;
    THandOver fHandOver{this};
    std::atomic<bool> fIsStopped{false};
};

// Stops a worker and frees it, the one way every owner does: the worker's own stop request, then,
// when `wait`, a wait with the main thread's events flowing (the worker's pending hand-overs run
// there) until it has stopped. A stopped worker is freed and `thread` set to null. Without `wait`
// (the supervisory tick while the program closes, once a tick) the worker is freed only once it
// has stopped. True when the worker is gone. Main thread only.
template <class T> bool StopAndFree(T*& thread, bool wait = true) {
    if (!thread)
        return true;
    thread->RequestStop();
    // A nested event loop may free it meanwhile (the tick while the program closes).
    while (wait && thread && !thread->IsStopped())
        SleepProcessingEvents(100);
    if (!thread || !thread->IsStopped())
        return !thread;
    T* stopped = thread;
    thread = nullptr;
    delete stopped; // waits for the thread's body to return
    return true;
}
