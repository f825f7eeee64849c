// Cost of one serial exchange against the simulated SourceMeter 2401, with the SourceMeter
// thread's settings (57 600 baud, 10 ms poll pause, 500 ms reply time-out).
//
// ReadRoundTrip/paced: ":READ?" and its reply, the simulator holding each byte for its time on the
// wire (10 bits a byte). Its floor is that wire time (command + reply) plus the waits the exchange
// must make: one poll pause after the reply was seen and the 20 ms of silence that end the reply.
// The instrument's own reading time (NPLC MIN) is shown beside it, and how long after the write
// the reply's first byte is really there (reply_latency_ms); sleeps_ms is what the exchange's
// polling then has to sleep (a look every poll pause, a pause after the look that saw the reply,
// 20 ms of silence), and beyond_sleeps_ms what the exchange costs on top of that.
//
// ReadRoundTrip/unpaced and CommandWithoutReply: the same without wire time, and a command that
// waits for no reply; what they cost beyond their sleeps is opening, configuring and closing the
// port for every exchange.
#include "bench/BenchMain.h"
#include "control/TThread2401.h"
#include "diagnostics/LogChannel.h"
#include "instruments/TSerialPort.h"
#include "simulator/CellSimulator.h"
#include "simulator/Smu2401.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPort>
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <string>

namespace {

constexpr double kBaud = 57600;

double WireMs(size_t bytes) {
    return double(bytes) * 10.0 / kBaud * 1000.0;
}

// The simulated instrument's busy time for ":READ?" after the set-up sequence, from the
// simulator's own latency model.
double ReadBusyMs() {
    TSimCellParams params;
    params.noise = false;
    TSimCell cell(params);
    TSmu2401 smu(cell);
    for (const QString& c : SetUpSequence2401())
        smu.Execute(c.toStdString());
    return smu.Execute(":READ?").busyS * 1000.0;
}

// How long after the write of ":READ?" the first byte of the reply is there, measured without the
// exchange's polling: the port is watched continuously. Average of `count` exchanges.
double MeasuredReplyLatencyMs(const QString& port, int count) {
    double total = 0;
    for (int i = 0; i < count; ++i) {
        QSerialPort p(port);
        if (!p.open(QIODevice::ReadWrite))
            return NAN;
        p.setBaudRate(57600);
        QElapsedTimer clock;
        clock.start();
        p.write(":READ?\r");
        p.waitForBytesWritten(1000);
        while (p.bytesAvailable() == 0 && clock.elapsed() < 1000)
            p.waitForReadyRead(1);
        total += double(clock.nsecsElapsed()) / 1e6;
        // Let the whole reply arrive before the port is closed, as the exchange does.
        while (p.waitForReadyRead(TSerialPort::ReplyEndGapMS)) {
        }
        p.readAll();
    }
    return total / count;
}

struct TSetUp {
    std::unique_ptr<TCellSimulator> sim;
    TSerialPort com;
    bool ok = false;

    explicit TSetUp(bool wireTime) {
        TSimOptions o;
        o.controlFifo = false;
        o.wireTime = wireTime;
        o.cell.noise = false;
        sim = std::make_unique<TCellSimulator>(o);
        std::string error;
        ok = sim->Start(error);
        const QString port = QString::fromStdString(sim->PortPath(TInstrumentId::Smu));
        Initialize2401(port);
        com.SetPort(port); // defaults: 57600 baud, 10 ms poll pause, 500 ms time-out
    }
};

void ReadRoundTrip(benchmark::State& state, bool wireTime) {
    TSetUp s(wireTime);
    if (!s.ok) {
        state.SkipWithError("the simulator did not start");
        return;
    }
    const QByteArray command(":READ?\r");
    size_t replyBytes = 0;
    double totalMs = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        const TSerialResponse r = s.com.Send2(command, true);
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        state.SetIterationTime(ms / 1000.0);
        totalMs += ms;
        if (!r.Status.isEmpty() || r.Response.isEmpty()) {
            state.SkipWithError("no reading");
            return;
        }
        replyBytes = size_t(r.Response.size()) + 1; // the terminator was trimmed off
    }
    const double measured = totalMs / double(state.iterations());
    const double seen = MeasuredReplyLatencyMs(s.com.Port(), 20);
    const double wire = wireTime ? WireMs(size_t(command.size()) + replyBytes) : 0.0;
    const double busy = ReadBusyMs();
    const double pause = s.com.EffectivePollPauseMS();
    const double floor = wire + s.com.ReplyOverheadFloorMS();
    // The exchange looks at the input queue and then sleeps a whole pause: a reply whose first
    // byte is there `seen` ms after the write is noticed at the first look after that, and read
    // one pause later.
    const double sleeps = (std::max(1.0, std::ceil(seen / pause)) + 1) * pause + TSerialPort::ReplyEndGapMS;
    state.counters["ms"] = measured;
    state.counters["floor_ms"] = floor;
    state.counters["ratio"] = measured / floor;
    state.counters["wire_ms"] = wire;
    state.counters["busy_ms"] = busy;
    state.counters["reply_latency_ms"] = seen;
    state.counters["sleeps_ms"] = sleeps;
    state.counters["beyond_sleeps_ms"] = measured - sleeps;
}

void BM_ReadRoundTripPaced(benchmark::State& state) {
    ReadRoundTrip(state, true);
}
BENCHMARK(BM_ReadRoundTripPaced)
    ->Name("ReadRoundTrip/paced")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(5);

void BM_ReadRoundTripUnpaced(benchmark::State& state) {
    ReadRoundTrip(state, false);
}
BENCHMARK(BM_ReadRoundTripUnpaced)
    ->Name("ReadRoundTrip/unpaced")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(5);

// A command that waits for no reply costs only the open, the configuration, the write and the close.
void BM_CommandWithoutReply(benchmark::State& state) {
    TSetUp s(false);
    if (!s.ok) {
        state.SkipWithError("the simulator did not start");
        return;
    }
    const QByteArray command(":OUTPUT:STATE 1\r");
    for (auto _ : state) {
        const TSerialResponse r = s.com.Send2(command, false);
        if (!r.Status.isEmpty()) {
            state.SkipWithError("the write failed");
            return;
        }
    }
}
BENCHMARK(BM_CommandWithoutReply)
    ->Name("CommandWithoutReply/unpaced")
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    InitializeLogChannels();
    return RunBenchmarks(argc, argv);
}
