#pragma once
// The simulator as a whole: the cell, the two instruments and their pseudo-terminals, served by a
// background thread. The executable ondrix-cellsim wraps it; a test can run it inside its own
// process, open the port paths like any serial port, and switch faults through the methods below.
//
// Each line received on a port is executed at once (so the cell sees a new source setting without
// delay); its reply leaves after the instrument's measuring time, plus the wire time when chosen.
// The faults "silent", "echo", "garbage", "slow" and "vanish" act here, on the transport; the
// others act inside the instruments. A reply held back by the slow fault is discarded when the next
// command arrives before it has gone out ("Query INTERRUPTED", as IEEE 488.2 instruments do), so a
// program that gives up waiting never receives it in its next exchange.
#include "simulator/Dmm2000.h"
#include "simulator/SimCell.h"
#include "simulator/SimOptions.h"
#include "simulator/SimPort.h"
#include "simulator/Smu2401.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>

struct TPortStats {
    uint64_t linesReceived = 0;
    uint64_t linesIgnored = 0; // while silent
    uint64_t repliesSent = 0;
    uint64_t repliesDropped = 0;     // nobody had the port open when the reply was due
    uint64_t repliesInterrupted = 0; // late replies overtaken by the next command
    size_t pendingReplies = 0;
    int openers = 0; // descriptors others hold on the port now (-1: not watched)
};

class TCellSimulator {
public:
    explicit TCellSimulator(TSimOptions options = TSimOptions());
    ~TCellSimulator();
    TCellSimulator(const TCellSimulator&) = delete;
    TCellSimulator& operator=(const TCellSimulator&) = delete;

    // Creates the run folder, the ports and the control FIFO and starts serving.
    bool Start(std::string& error);
    // Stops serving and removes the links, the FIFO and a run folder it created. Idempotent.
    void Stop();
    bool IsRunning() const { return fThread.joinable(); }

    const std::string& RunDir() const { return fRunDir; }
    std::string PortPath(TInstrumentId id) const;
    std::string ControlPath() const;

    // The run-time controls; each takes effect before the call returns.
    void SetFault(TInstrumentId id, TFault fault, bool on);
    // Switches the instrument off and, `offMs` later, on again, as a mains dip does: it drops its
    // output at once, neither executes nor answers anything while off, and comes back with its
    // power-on settings (SourceMeter: front terminals, output off, all five reading elements;
    // MultiMeter: DC volts, no channel closed). With `unplug` its port goes away meanwhile too, as
    // with a re-plugged USB adapter, and comes back behind the same link. The faults stay as set.
    // A cycle started while one is under way starts the off time again.
    void PowerCycle(TInstrumentId id, int offMs = kDefaultPowerOffMs, bool unplug = false);
    // True from PowerCycle until the instrument is on again.
    bool IsPoweredOff(TInstrumentId id);
    static constexpr int kDefaultPowerOffMs = 2000;
    void ClearFaults(TInstrumentId id);
    TInstrumentFaults Faults(TInstrumentId id);
    void SetSlowReplyMs(int ms);
    void SetSpeed(double speed);
    TPortStats Stats(TInstrumentId id);
    // Runs `fn` on the cell between two exchanges (reading or changing it).
    void WithCell(const std::function<void(TSimCell&)>& fn);
    // One line of the control language (as written to the control FIFO); returns the answer.
    std::string Control(const std::string& line);

private:
    using TClock = std::chrono::steady_clock;
    struct TPending {
        TClock::time_point due;
        std::string bytes;
        bool late = false; // held back by the slow fault
        bool last = true;  // the end of a reply (a paced reply comes in two pieces)
    };
    struct TChannel {
        TInstrumentId id;
        TScpiInstrument* instrument = nullptr;
        std::unique_ptr<TSimPort> port;
        int baud = 9600;
        std::string input;
        std::deque<TPending> pending;
        TClock::time_point readyAt{};
        TPortStats stats;
        bool poweredOff = false;
        bool unplugged = false; // the port was closed by the power cycle
        TClock::time_point powerOnAt{};
        std::optional<TClock::time_point> scheduledCycleAt; // --power-cycle
        int cycleOffMs = 0;
        bool cycleUnplug = false;
    };

    TChannel& Channel(TInstrumentId id) { return id == TInstrumentId::Smu ? fSmuChannel : fDmmChannel; }
    void RunInLoop(const std::function<void()>& fn);
    void Loop();
    void RunTasks();
    void AdvancePhysics(TClock::time_point now);
    void Serve(TChannel& ch, TClock::time_point now);
    void ProcessLine(TChannel& ch, const std::string& line, TClock::time_point now);
    void Deliver(TChannel& ch, TClock::time_point now);
    void ReadControlFifo();
    void ApplyVanish(TChannel& ch, bool vanish);
    void SwitchOff(TChannel& ch, TClock::time_point now, int offMs, bool unplug);
    void PowerCycleDue(TChannel& ch, TClock::time_point now);
    std::string Garbage();
    TClock::duration WireTime(const TChannel& ch, size_t bytes) const;
    std::string LinkPathFor(const std::string& name) const;
    void Wake();

    TSimOptions fOptions;
    TSimCell fCell;
    TSmu2401 fSmu;
    TDmm2000 fDmm;
    TChannel fSmuChannel;
    TChannel fDmmChannel;
    std::string fRunDir;
    bool fOwnRunDir = false;
    std::string fControlPath;
    int fControlFd = -1;
    int fControlKeepFd = -1;
    std::string fControlInput;
    int fWakeFd = -1;
    double fSpeed = 1.0;
    int fSlowReplyMs = 3000;
    TClock::time_point fPhysicsTime{};
    std::mt19937 fGarbageRandom{12345};

    std::thread fThread;
    std::atomic<bool> fStopRequested{false};
    std::mutex fTaskMutex;
    std::deque<std::function<void()>> fTasks;
};
