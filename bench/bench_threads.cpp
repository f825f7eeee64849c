// Measuring cycles per second of the two worker threads against the simulated instruments with
// wire-time pacing (bytes held for 10 bits each at 57 600 baud for the SourceMeter, 19 200 for the
// multimeter), next to the floor of a cycle:
//
//   floor = per reading: the wire time of the commands before it and of its query (one after the
//           other on the line) and of its reply, the instrument's busy time (command handling, relay
//           and function changes, and the integration time: NPLC x 20 ms per measured function, x1.5
//           (SourceMeter) or x2 (multimeter) with autozero, from the simulator's own latency model),
//           and the waits of the exchange: one poll pause (10 ms SourceMeter, 50 ms multimeter) and
//           the 20 ms of silence that end a reply.
//
// polled_ms is the same cycle with each reply noticed only at the exchange's next look at the input
// queue (it looks, then sleeps a whole poll pause), which is what the serial layer's polling allows.
//
// The main thread runs an event loop, as the program's window does, so the hand-overs of each
// cycle are served at once.
#include "acquisition/TThread2000.h"
#include "bench/BenchMain.h"
#include "bench/BenchWorkers.h"
#include "common/FreeAndNil.h"
#include "control/TPID.h"
#include "control/TRunState.h"
#include "control/TThread2401.h"
#include "diagnostics/LogChannel.h"
#include "instruments/TLinkMonitor.h"
#include "instruments/TSerialPort.h"
#include "recording/TDataSynchronizer.h"
#include "simulator/CellSimulator.h"
#include "simulator/Dmm2000.h"
#include "simulator/Smu2401.h"
#include "tests/support/StdStrings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kWindowMs = 3000; // one measuring window
constexpr double kReplyEndGapMs = TSerialPort::ReplyEndGapMS;

const std::vector<std::string> kSetUp2401 = StdStrings(SetUpSequence2401());

const std::vector<std::string> kSetUp2000 = StdStrings(SetUpSequence2000());

// The floor of a cycle's exchanges on the simulated line. Commands without a reply are written one
// after the other (the thread does not wait for them); each takes its wire time, and the instrument
// handles it once it has arrived and is done with the one before. A reply leaves when its query is
// handled and takes its own wire time back; the exchange then still waits one poll pause and the
// 20 ms of silence that end a reply before the next command can go.
//
// The model instrument is fresh, has had its set-up sequence and one warm-up pass, so relays and
// functions stand as they do in the steady state; its busy times are the simulator's own.
//
// `polled` is what the exchange's polling makes of the same latencies: it looks at the input queue
// and then sleeps a whole pause, so a reply is noticed only at the first look after its arrival.
struct TFloor {
    double ms = 0;
    double polledMs = 0;
};

TFloor Floor(TScpiInstrument& instrument, const std::vector<std::string>& setUp,
             const std::vector<std::string>& warmUp, const std::vector<std::string>& cycle, double baud,
             double pollPauseMs) {
    for (const std::string& c : setUp)
        instrument.Execute(c);
    for (const std::string& c : warmUp)
        instrument.Execute(c);
    const auto wire = [baud](size_t bytes) { return double(bytes) * 10.0 / baud * 1000.0; };
    TFloor total;
    double lineFree = 0; // ms after the start of the current exchange group
    double ready = 0;
    for (const std::string& c : cycle) {
        const TScpiResult r = instrument.Execute(c);
        const double arrival = lineFree + wire(c.size() + 1);
        lineFree = arrival;
        ready = std::max(arrival, ready) + r.busyS * 1000.0;
        if (r.hasReply) {
            const double latency = ready + wire(r.reply.size() + 1);
            total.ms += latency + pollPauseMs + kReplyEndGapMs;
            total.polledMs +=
                (std::max(1.0, std::ceil(latency / pollPauseMs)) + 1) * pollPauseMs + kReplyEndGapMs;
            lineFree = ready = 0;
        }
    }
    return total;
}

// Measures cycles over windows of kWindowMs and reports them next to the floor.
void Measure(benchmark::State& state, const std::function<std::uint64_t()>& cycles, const TFloor& floor) {
    const double floorMs = floor.ms;
    std::uint64_t total = 0;
    double seconds = 0;
    for (auto _ : state) {
        const std::uint64_t before = cycles();
        QElapsedTimer clock;
        clock.start();
        Serve(kWindowMs);
        const double s = double(clock.nsecsElapsed()) / 1e9;
        state.SetIterationTime(s);
        total += cycles() - before;
        seconds += s;
    }
    const double rate = double(total) / seconds;
    state.counters["cycles_per_s"] = rate;
    state.counters["floor_cycles_per_s"] = 1000.0 / floorMs;
    state.counters["cycle_ms"] = 1000.0 / rate;
    state.counters["floor_ms"] = floorMs;
    state.counters["of_floor_rate"] = rate * floorMs / 1000.0;
    state.counters["polled_ms"] = floor.polledMs;
}

// The SourceMeter thread in GS mode at 0 µA: each cycle a source command without reply and
// ":READ?" with its reply, then the results step.
void BM_Thread2401(benchmark::State& state) {
    TCellSimulator sim(Paced());
    std::string error;
    if (!sim.Start(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const QString port = QString::fromStdString(sim.PortPath(TInstrumentId::Smu));
    Initialize2401(port);
    TRunState run;
    run.PID = new TPID();
    THost2401 host;
    TThread2401 thread(&host, run);
    thread.Port = port;
    thread.SetModeEx(TMode::SetCurrent);
    thread.start();
    while (thread.ModeIntegrator() != TMode::SetCurrent)
        Serve(50);
    Serve(500); // settle

    TSimCell cell(Paced().cell);
    TSmu2401 smu(cell);
    const std::string source =
        ":SENS:CURR:PROT:LEV 0.000001;:SOUR:FUNC CURR;:SOUR:CURR:LEV 0.000000;:OUTPUT:STATE 1";
    const TFloor floor = Floor(smu, kSetUp2401, {source}, {source, ":READ?"}, 57600, 10);
    Measure(
        state, [&] { return sim.Stats(TInstrumentId::Smu).repliesSent; }, floor);

    thread.SetModeEx(TMode::SetCurrent);
    thread.SetToStopEx(true);
    while (!thread.IsStopped())
        Serve(20);
    thread.wait();
    FreeAndNil(run.PID);
}
BENCHMARK(BM_Thread2401)
    ->Name("Thread2401/GS")
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

// The multimeter thread on a cell at 700 °C, so every cycle reads the sensor. Fast mode off: each
// cycle routes and reads the thermistor, the thermocouple and the sensor. Fast mode on (the
// window's default, period 20): one cycle in 20 does that, the others read only the sensor.
void BM_Thread2000(benchmark::State& state) {
    const bool fast = state.range(0) != 0;
    TCellSimulator sim(Paced());
    std::string error;
    if (!sim.Start(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const QString port = QString::fromStdString(sim.PortPath(TInstrumentId::Dmm));
    Initialize2000(port);
    TRunState run;
    run.PID = new TPID();
    THost2000 host;
    host.fast = fast;
    TThread2000 thread(&host, run);
    thread.Port = port;
    thread.SetToPauseEx(false);
    thread.start();
    while (thread.TickCount() < 2)
        Serve(50);

    const std::string volt = ":FUNC \"VOLT:DC\";:READ?";
    const std::vector<std::string> fullCycle = {":ROUT:OPEN:ALL", ":ROUT:CLOSE (@3)", ":FUNC \"RES\";:READ?",
                                                ":ROUT:OPEN:ALL", ":ROUT:CLOSE (@1)", volt,
                                                ":ROUT:OPEN:ALL", ":ROUT:CLOSE (@2)", volt};
    TSimCell cellA(Paced().cell);
    TDmm2000 dmmA(cellA);
    const TFloor full = Floor(dmmA, kSetUp2000, fullCycle, fullCycle, 19200, 50);
    TSimCell cellB(Paced().cell);
    TDmm2000 dmmB(cellB);
    const TFloor sensor = Floor(dmmB, kSetUp2000, fullCycle, {volt}, 19200, 50);
    const TFloor floor =
        fast ? TFloor{(full.ms + 19 * sensor.ms) / 20, (full.polledMs + 19 * sensor.polledMs) / 20} : full;
    Measure(
        state, [&] { return thread.TickCount(); }, floor);
    state.counters["full_cycle_floor_ms"] = full.ms;
    state.counters["sensor_cycle_floor_ms"] = sensor.ms;

    thread.SetToPauseEx(false);
    thread.SetToStopEx(true);
    while (!thread.IsStopped())
        Serve(20);
    thread.wait();
    FreeAndNil(run.PID);
}
BENCHMARK(BM_Thread2000)
    ->Name("Thread2000/fast")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

// Both workers while the main thread is held for 5 s (a long save, a slow dialog): their cycles
// must not wait for it. Cycles per second over 5 s with the event loop running, then over 5 s
// with the main thread asleep; the ratio must stay at 0.9 or above.
void BM_MainThreadHeld(benchmark::State& state) {
    TBothWorkers run(Paced());
    if (!run.failed.empty()) {
        state.SkipWithError(run.failed.c_str());
        return;
    }
    const auto smuCycles = [&] { return run.sim.Stats(TInstrumentId::Smu).repliesSent; };
    const auto dmmCycles = [&] { return run.dmm.TickCount(); };
    double smuFree = 0, smuHeld = 0, dmmFree = 0, dmmHeld = 0;
    for (auto _ : state) {
        for (bool held : {false, true}) {
            const std::uint64_t s0 = smuCycles(), d0 = dmmCycles();
            QElapsedTimer clock;
            clock.start();
            if (held)
                QThread::msleep(5000);
            else
                Serve(5000);
            const double seconds = double(clock.nsecsElapsed()) / 1e9;
            (held ? smuHeld : smuFree) += double(smuCycles() - s0) / seconds;
            (held ? dmmHeld : dmmFree) += double(dmmCycles() - d0) / seconds;
        }
        Serve(1000); // the queued hand-overs run
    }
    state.counters["smu_free_per_s"] = smuFree / state.iterations();
    state.counters["smu_held_per_s"] = smuHeld / state.iterations();
    state.counters["smu_ratio"] = smuHeld / smuFree;
    state.counters["dmm_free_per_s"] = dmmFree / state.iterations();
    state.counters["dmm_held_per_s"] = dmmHeld / state.iterations();
    state.counters["dmm_ratio"] = dmmHeld / dmmFree;
}
BENCHMARK(BM_MainThreadHeld)->Name("Threads/MainThreadHeld5s")->Iterations(1)->Unit(benchmark::kSecond);

bool ServeUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        Serve(5);
    }
    return true;
}

// How fast a link heals after the instrument's power cut: each instrument is power-cycled five
// times (off for 6 s, long enough for the set-up sequence to have gone out in vain and the pause
// between tries to have grown) while both workers run, and the time from the moment it answers
// again until its link reads OK is taken. Goal: median under 5 s.
void BM_PowerCycleRecovery(benchmark::State& state) {
    const TInstrumentId id = state.range(0) == 0 ? TInstrumentId::Smu : TInstrumentId::Dmm;
    TSimOptions options = Paced();
    options.wireTime = false;
    TBothWorkers run(options);
    if (!run.failed.empty()) {
        state.SkipWithError(run.failed.c_str());
        return;
    }
    TLinkMonitor& link = id == TInstrumentId::Smu ? run.run.LinkSMU : run.run.LinkDMM;
    std::vector<double> seconds;
    for (auto _ : state) {
        for (int i = 0; i < 5; ++i) {
            ServeUntil([&] { return run.run.LinksDeliver(); }, 60000);
            Serve(1000);
            run.sim.PowerCycle(id, 6000);
            ServeUntil([&] { return !link.IsOK(); }, 20000);
            ServeUntil([&] { return !run.sim.IsPoweredOff(id); }, 20000);
            QElapsedTimer back;
            back.start();
            if (!ServeUntil([&] { return link.IsOK(); }, 60000)) {
                state.SkipWithError("the link did not heal within 60 s");
                break;
            }
            seconds.push_back(double(back.nsecsElapsed()) / 1e9);
        }
        state.SetIterationTime(seconds.empty() ? 0 : seconds.back());
    }
    std::sort(seconds.begin(), seconds.end());
    if (!seconds.empty()) {
        state.counters["median_s"] = seconds[seconds.size() / 2];
        state.counters["max_s"] = seconds.back();
        state.counters["reinits"] = link.Reinits();
    }
}
BENCHMARK(BM_PowerCycleRecovery)
    ->Name("PowerCycle/recovery_after_answering")
    ->Arg(0)
    ->Arg(1)
    ->ArgName("dmm")
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    InitializeLogChannels();
    return RunBenchmarks(argc, argv);
}
